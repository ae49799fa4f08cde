#!/usr/bin/env python3
"""The real program under Xvfb (inside xvfb-run): run_program.py BINARY CHECK [ARG]. Each check starts
it in a fresh folder with a session file of its own and reads the session file it leaves behind."""
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

from Xlib import X, display, protocol

REC = 255


def rec(v):
    """One session record: an int16, or a name after its length."""
    b = struct.pack("<h", v) if isinstance(v, int) else struct.pack("<h", len(v.encode())) + v.encode()
    return b.ljust(REC, b"\0")


def write_session(cwd, entries, tail=b"", subdirs=0):
    recs = ["/", cwd, 0, 0, entries[0], 0, 0, 0, 10, len(entries) - 1, *[0] * len(entries), subdirs, 0, 0, *entries, 0]
    with open(os.path.join(cwd, "velloran.txt"), "wb") as f:
        f.write(b"".join(map(rec, recs)) + tail)


def saved(cwd):
    data = open(os.path.join(cwd, "velloran.txt"), "rb").read()

    def num(n):
        chunk = data[(n - 1) * REC:(n - 1) * REC + 2]
        return struct.unpack("<h", chunk)[0] if len(chunk) == 2 else 0

    def text(n):
        return data[(n - 1) * REC + 2:(n - 1) * REC + 2 + num(n)].decode("utf-8")
    return data, num, text


def media(path, seconds, kind="wav"):
    src = ["-f", "lavfi", "-i", f"sine=frequency=330:duration={seconds}"]
    if kind == "film":
        src = ["-f", "lavfi", "-i", f"testsrc=size=320x240:rate=25:duration={seconds}", *src,
               "-c:v", "mpeg4", "-q:v", "3", "-c:a", "mp3", "-shortest"]
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", *src, path], check=True)
    return path


def name_of(d, w):
    prop = w.get_full_property(d.intern_atom("_NET_WM_NAME"), d.intern_atom("UTF8_STRING"))
    return prop.value.decode("utf-8") if prop else ""


def windows(d, pred):
    """Every viewable window pred accepts."""
    found, stack = [], [d.screen().root]
    while stack:
        w = stack.pop()
        try:
            stack.extend(w.query_tree().children)
            if pred(w) and w.get_attributes().map_state == X.IsViewable:
                found.append(w)
        except Exception:
            pass  # gone meanwhile
    return found


def wait_until(pred, timeout=20):
    deadline = time.time() + timeout
    while time.time() < deadline:
        result = pred()
        if result:
            return result
        time.sleep(0.1)
    return None


def find_window(d, pred, timeout=20, video=False):
    """The first viewable window whose name pred accepts; the video window only when asked."""
    def role(w):
        prop = w.get_full_property(d.intern_atom("WM_WINDOW_ROLE"), X.AnyPropertyType)
        return prop.value.decode("utf-8", "replace") if prop else ""
    hits = wait_until(lambda: windows(d, lambda w: pred(name_of(d, w)) and (role(w) == "video") == video), timeout)
    return hits[0] if hits else None


def close_like_a_window_manager(d, w):
    protocols, delete = d.intern_atom("WM_PROTOCOLS"), d.intern_atom("WM_DELETE_WINDOW")
    w.send_event(protocol.event.ClientMessage(window=w, client_type=protocols,
                                              data=(32, [delete, X.CurrentTime, 0, 0, 0])),
                 event_mask=X.NoEventMask)
    d.flush()


def start(binary, cwd, args=(), prefix=(), err=subprocess.DEVNULL, **env):
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(cwd, ".config"),
               XDG_STATE_HOME=os.path.join(cwd, ".state"), **env)
    return subprocess.Popen([*prefix, binary, *args], cwd=cwd, env=env,
                            stdout=subprocess.DEVNULL, stderr=err)


class Program:
    """The program started in cwd, its main window found."""

    def __init__(self, binary, cwd, args=(), prefix=(), **env):
        self.proc = start(binary, cwd, args, prefix, **env)
        self.d = display.Display()
        self.main = find_window(self.d, lambda n: n.startswith("Μπραστομέρ"))
        if self.main is None:
            self.proc.kill()
            sys.exit("main window did not appear")

    def close(self):
        close_like_a_window_manager(self.d, self.main)
        return self.proc.wait(timeout=20)


def interrupted(binary, cwd, name):
    """A signal saves as a close does; after KILL the next start resumes from the recovery copy."""
    song = media(os.path.join(cwd, "long.wav"), 60)
    write_session(cwd, [song])
    before = saved(cwd)[0]
    p = Program(binary, cwd)
    time.sleep(10.0)
    sig = getattr(signal, "SIG" + name)
    p.proc.send_signal(sig)
    assert p.proc.wait(timeout=20) == (-sig if sig == signal.SIGKILL else 0)
    if sig == signal.SIGKILL:
        assert saved(cwd)[0] == before, "the session file is written only by a close"
        p = Program(binary, cwd)
        time.sleep(0.5)
        assert p.close() == 0
    _, num, text = saved(cwd)
    assert text(5) == song and 5 <= num(4) <= 14, f"saved at {num(4)} after about 10 s"


def size_limited(binary, cwd):
    """Under a file-size limit too small for its files the program plays on and ends as a
    close does: a write that fails is not a fatal signal, and the lost session is told."""
    write_session(cwd, [media(os.path.join(cwd, "long.wav"), 60)])
    p = Program(binary, cwd, prefix=("prlimit", "--fsize=2000", "--"))
    time.sleep(4.0)  # past the first writes of the state database and the recovery copy
    assert p.proc.poll() is None, f"ended with {p.proc.returncode}"
    # Nowhere to save: the close says so in a box before the end.
    close_like_a_window_manager(p.d, p.main)
    box = find_window(p.d, lambda n: n and not n.startswith("Μπραστομέρ"))
    assert box, "the close said nothing of the lost session"
    close_like_a_window_manager(p.d, box)
    assert p.proc.wait(timeout=20) == 0


def brightness_variance(d, w, width, height):
    """How much the window's brightness varies on screen: next to nothing for a black window."""
    pos = w.translate_coords(d.screen().root, 0, 0)
    lum = subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "x11grab", "-video_size", f"{width}x{height}",
                          "-i", "%s+%d,%d" % (os.environ["DISPLAY"], -pos.x, -pos.y), "-frames:v", "1",
                          "-f", "rawvideo", "-pix_fmt", "gray", "-"], check=True, stdout=subprocess.PIPE).stdout
    assert len(lum) == width * height, f"grabbed {len(lum)} bytes"
    mean = sum(lum) / len(lum)
    return sum((v - mean) ** 2 for v in lum) / len(lum)


def video(binary, cwd, gl):
    """A film in mode Auto shows its picture; without OpenGL the window stays black, the film plays on."""
    if not gl:
        os.environ["QT_XCB_GL_INTEGRATION"] = "none"  # Qt then finds no OpenGL on the display
    film = media(os.path.join(cwd, "film.mkv"), 30, "film")
    write_session(cwd, [film])
    p = Program(binary, cwd)
    vw = find_window(p.d, lambda n: n.startswith("Μπραστομέρ"), video=True)
    assert vw is not None, "the video window did not appear"
    geo = vw.get_geometry()
    time.sleep(2.0)
    var = brightness_variance(p.d, vw, geo.width, geo.height)
    assert var > 500 if gl else var < 50, f"variance {var:.0f}"
    assert p.close() == 0
    _, num, text = saved(cwd)
    assert text(5) == film and num(4) >= 2, f"saved at {num(4)}"


def allplayed(binary, cwd):
    """The only file ends: the all-played box; a close is still served and saves."""
    song = media(os.path.join(cwd, "a.wav"), 1)
    # Junk records behind: only a save shortens the file to its 16 records.
    write_session(cwd, [song], tail=b"x" * (4 * REC))
    p = Program(binary, cwd)
    assert find_window(p.d, lambda n: n == "Brastomere", timeout=10) is not None, "no all-played box"
    assert p.close() == 0
    data, _, text = saved(cwd)
    assert len(data) == 16 * REC and text(5) == song, f"session file of {len(data)} bytes: not saved"


def nobus(binary, cwd):
    """No session bus: the window has its caption; closed, it saves an empty list in 14 records."""
    runtime = os.path.join(cwd, "runtime")
    os.mkdir(runtime, 0o700)
    os.environ.pop("DBUS_SESSION_BUS_ADDRESS", None)
    p = Program(binary, cwd, XDG_RUNTIME_DIR=runtime)
    assert name_of(p.d, p.main) == "Μπραστομέρ -  Brastomere", f"caption {name_of(p.d, p.main)!r}"
    time.sleep(1.0)
    assert p.close() == 0
    data, _, text = saved(cwd)
    assert len(data) == 14 * REC and text(2) == cwd, f"session file of {len(data)} bytes"


def playing(url):
    """Whether the running program's MPRIS metadata names url."""
    out = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.velloran",
                          "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties.Get",
                          "string:org.mpris.MediaPlayer2.Player", "string:Metadata"],
                         capture_output=True, text=True).stdout
    return f'"{url}"' in out


def open_with(binary, cwd):
    """Files on the command line play; a second start hands its file over and writes nothing."""
    one, two = media(os.path.join(cwd, "one.wav"), 30), media(os.path.join(cwd, "two.wav"), 30)
    p = Program(binary, cwd, ["file://" + one])
    assert wait_until(lambda: playing("file://" + one)), "the given file did not play"
    session = os.path.join(cwd, "velloran.txt")
    before = os.stat(session).st_mtime_ns if os.path.exists(session) else None
    second = start(binary, cwd, ["two.wav"])
    assert second.wait(timeout=20) == 0
    assert before == (os.stat(session).st_mtime_ns if os.path.exists(session) else None), "the second start wrote"
    assert wait_until(lambda: playing("file://" + two)), "the handed file did not play"
    assert p.close() == 0
    data = saved(cwd)[0]
    assert one.encode() in data and two.encode() in data, "the playlist lost a file"


def races(binary, cwd):
    """Without a session bus, of two starts in one folder at once one runs and one ends."""
    runtime = os.path.join(cwd, "runtime")
    os.mkdir(runtime, 0o700)
    os.environ.pop("DBUS_SESSION_BUS_ADDRESS", None)
    song = media(os.path.join(cwd, "a.wav"), 30)
    write_session(cwd, [song])
    for _ in range(10):
        errs = [tempfile.TemporaryFile() for _ in range(2)]
        pair = [start(binary, cwd, err=e, XDG_RUNTIME_DIR=runtime) for e in errs]
        ended = wait_until(lambda: [p for p in pair if p.poll() is not None])
        assert ended and len(ended) == 1 and ended[0].returncode == 1, [p.poll() for p in pair]
        loser = errs[pair.index(ended[0])]
        loser.seek(0)
        assert b"already running" in loser.read()
        runs = next(p for p in pair if p is not ended[0])
        runs.terminate()
        assert runs.wait(timeout=20) in (0, -signal.SIGTERM)
    assert song.encode() in saved(cwd)[0], "the session lost its entry"
    assert not [n for n in os.listdir(os.path.join(cwd, ".state", "velloran")) if "damaged" in n]


def mapped_at_every_start(binary, cwd):
    write_session(cwd, [media(os.path.join(cwd, "long.wav"), 60)], subdirs=-1)
    subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(20):
        assert Program(binary, cwd).close() == 0


if __name__ == "__main__":
    binary, which, arg = sys.argv[1], sys.argv[2], (sys.argv[3:] or [None])[0]
    checks = {"killed": lambda b, c: interrupted(b, c, "KILL"), "signal": lambda b, c: interrupted(b, c, arg),
              "allplayed": allplayed, "nobus": nobus, "openbox": mapped_at_every_start, "fsize": size_limited,
              "video": lambda b, c: video(b, c, True), "video_nogl": lambda b, c: video(b, c, False),
              "open": open_with, "races": races}
    cwd = tempfile.mkdtemp()
    try:
        checks[which](binary, cwd)
    finally:
        shutil.rmtree(cwd)
    print(which, arg or "", "ok")
