#!/usr/bin/env python3
"""End-to-end checks of the program among the desktop's pieces (run inside xvfb-run).

tray:  with an XEmbed tray host (trayer) the icon appears; a left click on it hides the
       main window and a second shows it; the icon's menu, opened by a right click, ends the
       program through Quit, which writes the session file.
nobus: without a session bus the program starts nothing (no bus daemon is autolaunched):
       strace sees no program started besides itself.
shot:  a screenshot of the main window with a small playlist, scaled down, for the README.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from Xlib import X, display

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run_program import CAPTION, REC, close_like_a_window_manager, find_window, int_rec, str_rec  # noqa: E402


def env_for(cwd, **extra):
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(cwd, ".config"),
                   XDG_STATE_HOME=os.path.join(cwd, ".state"))
    env.update(extra)
    return env


def viewable(w):
    try:
        return w.get_attributes().map_state == X.IsViewable
    except Exception:
        return False


def wait_until(pred, timeout=15):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if pred():
            return True
        time.sleep(0.1)
    return False


def windows_of(d, pid):
    atom = d.intern_atom("_NET_WM_PID")
    found, stack = [], [d.screen().root]
    while stack:
        w = stack.pop()
        try:
            prop = w.get_full_property(atom, X.AnyPropertyType)
            if prop and prop.value[0] == pid:
                found.append(w)
            stack.extend(w.query_tree().children)
        except Exception:
            pass
    return found


def root_position(d, w):
    g = w.get_geometry()
    t = w.translate_coords(d.screen().root, 0, 0)
    return -t.x, -t.y, g.width, g.height


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


def tray(binary):
    cwd = tempfile.mkdtemp()
    host = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                             "--height", "32", "--SetDockType", "false"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    proc = None
    try:
        d = display.Display()
        selection = d.intern_atom("_NET_SYSTEM_TRAY_S%d" % d.get_default_screen())
        assert wait_until(lambda: d.get_selection_owner(selection) != X.NONE), "no tray host"
        proc = subprocess.Popen([binary], cwd=cwd, env=env_for(cwd),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        main, name = find_window(d, lambda n: n == CAPTION)
        assert main is not None, "main window did not appear"

        # The icon: a small window of ours embedded in the host.
        icon = []
        def icon_shown():
            icon[:] = [w for w in windows_of(d, proc.pid)
                       if viewable(w) and w.get_geometry().width <= 64 and w.get_geometry().height <= 64]
            return bool(icon)
        assert wait_until(icon_shown), "the tray icon did not appear"
        x, y, wd, ht = root_position(d, icon[0])
        cx, cy = x + wd // 2, y + ht // 2

        xdotool("mousemove", cx, cy, "click", "1")
        assert wait_until(lambda: not viewable(main)), "a left click did not hide the main window"
        time.sleep(0.3)
        xdotool("mousemove", cx, cy, "click", "1")
        assert wait_until(lambda: viewable(main)), "a second left click did not show the main window"

        # Right click: the menu; its last item is Quit.
        time.sleep(0.3)
        xdotool("mousemove", cx, cy, "click", "3")
        menus = []
        def menu_open():
            menus[:] = [w for w in windows_of(d, proc.pid)
                        if viewable(w) and w != main and w.get_geometry().height > 64]
            return bool(menus)
        assert wait_until(menu_open), "the tray menu did not open"
        time.sleep(0.3)
        for _ in range(4):
            xdotool("key", "Down")
        xdotool("key", "Return")
        code = proc.wait(timeout=20)
        assert code == 0, f"exit status {code}"
        data = open(os.path.join(cwd, "velloran.txt"), "rb").read()
        assert len(data) == 14 * REC, f"session file of {len(data)} bytes"
    finally:
        if proc and proc.poll() is None:
            proc.kill()
        host.kill()
        host.wait()
        shutil.rmtree(cwd)


def nobus(binary):
    cwd = tempfile.mkdtemp()
    try:
        runtime = os.path.join(cwd, "runtime")
        os.mkdir(runtime, 0o700)
        env = env_for(cwd, XDG_RUNTIME_DIR=runtime)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        log = os.path.join(cwd, "exec.log")
        proc = subprocess.Popen(["strace", "-f", "-qq", "-e", "trace=execve", "-o", log, binary],
                                cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        d = display.Display()
        main, name = find_window(d, lambda n: n == CAPTION)
        if main is None:
            proc.kill()
            sys.exit("main window did not appear")
        time.sleep(1.0)
        close_like_a_window_manager(d, main)
        assert proc.wait(timeout=20) == 0
        started = [line for line in open(log) if "execve(" in line]
        assert len(started) == 1, "programs started besides the player:\n" + "".join(started)
    finally:
        shutil.rmtree(cwd)


def shot(binary, outdir):
    cwd = tempfile.mkdtemp()
    try:
        names = ["01 Πρώτο μέρος.mp3", "02 Second part.mp3", "03 Τρίτο.mp3"]
        for n in names:
            subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            "sine=frequency=440:duration=30", "-q:a", "9", os.path.join(cwd, n)], check=True)
        # A session whose first entry is played and whose second plays at 0:12.
        paths = [os.path.join(cwd, n) for n in names]
        recs = ([str_rec("/"), str_rec(cwd), int_rec(1), int_rec(12), str_rec(paths[1]), int_rec(-800),
                 int_rec(0), int_rec(0), int_rec(10), int_rec(2), int_rec(-1), int_rec(0), int_rec(0),
                 int_rec(0), int_rec(0), int_rec(0)] + [str_rec(p) for p in paths] + [int_rec(0)])
        open(os.path.join(cwd, "velloran.txt"), "wb").write(b"".join(recs))
        proc = subprocess.Popen([binary], cwd=cwd, env=env_for(cwd),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        d = display.Display()
        main, name = find_window(d, lambda n: n.startswith("Μπραστομέρ"))
        if main is None:
            proc.kill()
            sys.exit("main window did not appear")
        time.sleep(1.0)
        x, y, w, h = root_position(d, main)
        out = os.path.join(outdir, "main-window.png")
        # Small enough to commit: two thirds of the size, 64 colours without dithering.
        raw = os.path.join(cwd, "raw.png")
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "x11grab", "-draw_mouse", "0",
                        "-video_size", f"{w}x{h}", "-i", f"{os.environ['DISPLAY']}+{x},{y}", "-frames:v", "1",
                        raw], check=True, timeout=60)
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-i", raw,
                        "-vf", "scale=iw*2/3:-1:flags=area,split[a][b];[a]palettegen=max_colors=64[p];"
                               "[b][p]paletteuse=dither=none", out], check=True, timeout=60)
        close_like_a_window_manager(d, main)
        proc.wait(timeout=20)
        assert os.path.getsize(out) > 1000
    finally:
        shutil.rmtree(cwd)


if __name__ == "__main__":
    binary, outdir, which = sys.argv[1], sys.argv[2], sys.argv[3]
    {"tray": lambda: tray(binary), "nobus": lambda: nobus(binary), "shot": lambda: shot(binary, outdir)}[which]()
