#!/usr/bin/env python3
"""The real program with one playlist file on a slow disk: every open, stat and access on its
name waits (the LD_PRELOAD shim slow_path.c, built here with cc). Run on a session bus of its
own under Xvfb, from the repository:
    dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" python3 bench/slow_disk.py build/velloran
The slow entry is reached by Next (playerctl, as a media key would) while the first file plays.
Prints the longest time the window's thread left an MPRIS call unanswered from then on, when
the slow entry's start ended and when the entry after it started (read from the caption's share
of played entries), how long a close asked 1 s after the Next takes, and when the window
appears if the resumed file is the slow one."""
import os
import subprocess
import sys
import tempfile
import threading
import time

import dbus

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from run_program import close_like_a_window_manager, find_window, media, name_of, start, write_session  # noqa: E402
from Xlib import display  # noqa: E402

TITLE = "Μπραστομέρ"


class Prober(threading.Thread):
    """Asks for the play position over MPRIS (served on the window's thread), one call after
    another; the slowest answer is the longest time that thread did not answer."""

    def __init__(self):
        super().__init__(daemon=True)
        obj = dbus.SessionBus().get_object("org.mpris.MediaPlayer2.velloran", "/org/mpris/MediaPlayer2")
        self.props = dbus.Interface(obj, "org.freedesktop.DBus.Properties")
        self.worst, self.asked, self.running = 0.0, None, True
        self.start()

    def run(self):
        while self.running:
            self.asked = time.monotonic()
            try:
                self.props.Get("org.mpris.MediaPlayer2.Player", "Position", timeout=120)
            except dbus.DBusException:
                return  # the program ended
            self.worst = max(self.worst, time.monotonic() - self.asked)
            self.asked = None
            time.sleep(0.05)

    def longest(self):
        self.running = False
        pending = self.asked
        return max(self.worst, time.monotonic() - pending if pending else 0)


def program(cwd, entries, ms):
    shim = os.path.join(cwd, "slow_path.so")
    subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", shim, os.path.join(HERE, "slow_path.c"), "-ldl"],
                   check=True)
    write_session(cwd, entries)
    return start(BINARY, cwd, LD_PRELOAD=shim, SLOW_NAME="/slow.mp3", SLOW_MS=str(ms),
                 SLOW_LOG=os.path.join(cwd, "calls.log"))


def reached(ms, close_after=None):
    """(longest freeze, seconds until the slow entry and the one after it play) or, with
    close_after, the close's seconds."""
    with tempfile.TemporaryDirectory() as cwd:
        entries = [media(os.path.join(cwd, "first.mp3"), 60)] + [
            media(os.path.join(cwd, n + ".mp3"), 3) for n in ("slow", "after")]
        p = program(cwd, entries, ms)
        d = display.Display()
        w = find_window(d, lambda n: n.startswith(TITLE))
        time.sleep(6)  # the first file plays; the lengths of the others are read meanwhile
        prober = Prober()
        subprocess.run(["playerctl", "-p", "velloran", "next"], check=True)
        t0 = time.monotonic()
        closed_at = started = playing = None
        while time.monotonic() < t0 + 60 and p.poll() is None and playing is None:
            if close_after is not None and closed_at is None and time.monotonic() > t0 + close_after:
                close_like_a_window_manager(d, w)
                closed_at = time.monotonic()
            if close_after is None:
                # The caption's share of played entries: 2 of 3 once the slow one started; it
                # changes again when the last one starts.
                title = name_of(d, w)
                if started is None and "67%" in title:
                    started = time.monotonic() - t0
                elif started is not None and "67%" not in title:
                    playing = time.monotonic() - t0
            time.sleep(0.05)
        if closed_at is not None:
            try:
                p.wait(timeout=60)
            except subprocess.TimeoutExpired:
                p.kill()
            return time.monotonic() - closed_at
        freeze = prober.longest()
        p.kill()
        p.wait()
        return freeze, started, playing


def first_window(ms):
    with tempfile.TemporaryDirectory() as cwd:
        t0 = time.monotonic()
        p = program(cwd, [media(os.path.join(cwd, "slow.mp3"), 3)], ms)
        w = find_window(display.Display(), lambda n: n.startswith(TITLE), timeout=60)
        shown = time.monotonic() - t0 if w else None
        p.kill()
        p.wait()
        return shown


def fmt(v):
    return "never" if v is None else f"{v:.2f} s"


if __name__ == "__main__":
    BINARY = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/velloran")
    for ms, what in ((2000, "2 s per call"), (60000, "calls that hang (60 s)")):
        worst, started, playing = reached(ms)
        print(f"Next to a file with {what}: longest freeze {fmt(worst)}; its start ended after {fmt(started)}, "
              f"the entry after it started after {fmt(playing)}")
    print(f"close asked 1 s after that Next: the program ended after {fmt(reached(2000, close_after=1.0))}")
    print(f"resumed file with 3 s per call: the window appeared after {fmt(first_window(3000))}")
