#!/usr/bin/env python3
"""End-to-end checks of the real program under Xvfb (run inside xvfb-run).

video:  a film in mode Auto: the video window has the main window's caption, the film's size
        and the test picture's colours; closed, it hands the film back to the main player and
        the session holds the second reached, mode Hide. video_nogl: the same without OpenGL:
        the window stays black, the film plays.
allplayed: the only file ends, the "all played" box comes up; closing the main window still
        saves the session and ends within 1 s.
screen: (in dbus-run-session; screen size as argument) the window fits the screen; read as a
        screen reader does, the status line shows its whole report, the playing entry's name
        says it plays, and on a large screen the playlist grows with the window.
killed: kill -9 in mid-playback; the next start resumes from the recovery copy.
signal: (TERM, HUP or INT as argument) the signal saves the session as a close does.
drop:   another program drags three files (blanks, Greek, a Latin-1 name) onto the playlist
        through XDND; the session file then holds them byte for byte.
tray:   with a tray host (trayer) the icon appears; left clicks hide and show the main window;
        the icon's menu ends the program through Quit, which writes the session file.
nobus:  in an empty folder and without a session bus the main window appears with its caption
        and nothing else is started (strace sees one execve); closed as a window manager does,
        it ends with status 0 and an empty-playlist session file of 14 records.
"""
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

from Xlib import X, display, protocol

CAPTION = "Μπραστομέρ -  Brastomere"
REC = 255


def rec(v):
    """One session record: an int16, or a name (str or bytes) after its length."""
    if isinstance(v, int):
        b = struct.pack("<h", v)
    else:
        raw = v.encode() if isinstance(v, str) else v
        b = struct.pack("<h", len(raw)) + raw
    return b.ljust(REC, b"\0")


def write_session(cwd, entries, last=0, pos=0, volume=0, marks=None, video=0, tail=b""):
    marks = marks or [0] * len(entries)
    current = entries[last] if 0 <= last < len(entries) else ""
    recs = ["/", cwd, last, pos, current, volume, 0, 0, 10, len(entries) - 1, *marks, 0, 0, 0, *entries, video]
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
    elif kind == "mp3":
        src += ["-c:a", "libmp3lame", "-q:a", "9"]
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", *src, path], check=True)
    return path


def env_for(cwd, **extra):
    return dict(os.environ, XDG_CONFIG_HOME=os.path.join(cwd, ".config"),
                XDG_STATE_HOME=os.path.join(cwd, ".state"), **extra)


def name_of(d, w):
    prop = w.get_full_property(d.intern_atom("_NET_WM_NAME"), d.intern_atom("UTF8_STRING"))
    return prop.value.decode("utf-8") if prop else None


def role(d, w):
    prop = w.get_full_property(d.intern_atom("WM_WINDOW_ROLE"), X.AnyPropertyType)
    return prop.value.decode("utf-8", "replace") if prop else ""


def viewable(w):
    try:
        return w.get_attributes().map_state == X.IsViewable
    except Exception:
        return False


def windows(d, pred):
    """Every viewable window pred accepts."""
    found, stack = [], [d.screen().root]
    while stack:
        w = stack.pop()
        try:
            if pred(w) and viewable(w):
                found.append(w)
            stack.extend(w.query_tree().children)
        except Exception:
            pass
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
    hits = wait_until(lambda: windows(d, lambda w: pred(name_of(d, w) or "") and (role(d, w) == "video") == video),
                      timeout)
    return hits[0] if hits else None


def close_like_a_window_manager(d, w):
    protocols, delete = d.intern_atom("WM_PROTOCOLS"), d.intern_atom("WM_DELETE_WINDOW")
    w.send_event(protocol.event.ClientMessage(window=w, client_type=protocols,
                                              data=(32, [delete, X.CurrentTime, 0, 0, 0])),
                 event_mask=X.NoEventMask)
    d.flush()


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


class Program:
    """The program started in cwd, its main window found; ended by close() or a signal."""

    def __init__(self, binary, cwd, prefix=(), **env):
        self.proc = subprocess.Popen([*prefix, binary], cwd=cwd, env=env_for(cwd, **env),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.d = display.Display()
        self.main = find_window(self.d, lambda n: n.startswith("Μπραστομέρ"))
        if self.main is None:
            self.proc.kill()
            sys.exit("main window did not appear")
        self.caption = name_of(self.d, self.main)

    def close(self):
        close_like_a_window_manager(self.d, self.main)
        return self.proc.wait(timeout=20)

    def signal(self, sig):
        self.proc.send_signal(sig)
        return self.proc.wait(timeout=20)


def scratch(check):
    """Runs check(cwd) in a fresh folder."""
    cwd = tempfile.mkdtemp()
    try:
        check(cwd)
    finally:
        shutil.rmtree(cwd)


def killed(binary, cwd):
    song = media(os.path.join(cwd, "long.wav"), 60)
    write_session(cwd, [song])
    before = saved(cwd)[0]
    p = Program(binary, cwd)
    time.sleep(10.0)
    assert p.signal(signal.SIGKILL) == -signal.SIGKILL
    assert saved(cwd)[0] == before, "the session file is written only by a close"
    # About 10 s were played; started again and closed at once, the place is kept.
    p = Program(binary, cwd)
    time.sleep(0.5)
    assert p.close() == 0
    _, num, text = saved(cwd)
    assert text(5) == song and 5 <= num(4) <= 14, f"resumed at {num(4)} after about 10 s"


def signalled(binary, cwd, name):
    song = media(os.path.join(cwd, "long.wav"), 60)
    write_session(cwd, [song])
    p = Program(binary, cwd)
    time.sleep(4.0)
    assert p.signal(getattr(signal, "SIG" + name)) == 0
    _, num, text = saved(cwd)
    assert text(5) == song and 2 <= num(4) <= 6, f"saved at {num(4)}"


def drop(binary, cwd, source):
    files = [os.path.join(cwd, "ένας φάκελος", "πρώτο τραγούδι.mp3").encode(),
             os.path.join(cwd, "second one.mp3").encode(),
             # A Latin-1 name from an old archive: not UTF-8, yet it must arrive byte for byte.
             os.path.join(cwd.encode(), b"caf\xe9 cr\xe8me.mp3")]
    for f in files:
        os.makedirs(os.path.dirname(f), exist_ok=True)
        media(f, 20, "mp3")
    p = Program(binary, cwd)
    pos = p.main.translate_coords(p.d.screen().root, 0, 0)
    tx, ty = -pos.x + 590, -pos.y + 300  # the middle of the playlist
    sx, sy = 1040, 775
    src = subprocess.Popen([source, str(sx), str(sy), *files], stdout=subprocess.PIPE, text=True)
    assert find_window(p.d, lambda n: n == "drag-source") is not None, "no drag source window"
    time.sleep(0.5)
    xdotool("mousemove", sx + 20, sy + 15, "mousedown", 1)
    for i in range(1, 11):
        xdotool("mousemove", sx + 20 + (tx - sx - 20) * i // 10, sy + 15 + (ty - sy - 15) * i // 10)
        time.sleep(0.05)
    time.sleep(0.3)
    xdotool("mouseup", 1)
    assert src.stdout.readline().strip() == "drop accepted"
    src.wait(timeout=10)
    time.sleep(1.0)
    assert p.close() == 0
    data = saved(cwd)[0]
    for f in files:
        assert f in data, f"{f} not in the playlist"


def grab(d, w, width, height):
    """The window's pixels as RGB bytes, read from the screen."""
    pos = w.translate_coords(d.screen().root, 0, 0)
    out = subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "x11grab", "-video_size", f"{width}x{height}",
                          "-i", "%s+%d,%d" % (os.environ["DISPLAY"], -pos.x, -pos.y), "-frames:v", "1",
                          "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], check=True, stdout=subprocess.PIPE).stdout
    assert len(out) == width * height * 3, f"grabbed {len(out)} bytes"
    return out


def picture_checks(rgb):
    """Variance of the brightness, and which strong colours cover at least 1% of the picture."""
    n = len(rgb) // 3
    lum = [(rgb[3 * i] + rgb[3 * i + 1] + rgb[3 * i + 2]) / 3 for i in range(n)]
    mean = sum(lum) / n
    kinds = {(1, 0, 0), (0, 1, 0), (0, 0, 1), (1, 1, 0), (0, 1, 1), (1, 0, 1)}
    counts = dict.fromkeys(kinds, 0)
    for i in range(n):
        hi = tuple(1 if c > 150 else 0 if c < 90 else None for c in rgb[3 * i:3 * i + 3])
        if hi in counts:
            counts[hi] += 1
    return sum((v - mean) ** 2 for v in lum) / n, [k for k, c in counts.items() if c >= n // 100]


def video(binary, cwd, gl=True):
    if not gl:
        os.environ["QT_XCB_GL_INTEGRATION"] = "none"  # Qt then finds no OpenGL on the display
    film = media(os.path.join(cwd, "film.mkv"), 30, "film")
    write_session(cwd, [film])
    p = Program(binary, cwd)
    vw = find_window(p.d, lambda n: n.startswith("Μπραστομέρ"), video=True)
    assert vw is not None, "the video window did not appear"
    started = time.time()
    assert name_of(p.d, vw) == name_of(p.d, p.main), name_of(p.d, vw)
    geo = vw.get_geometry()
    assert (geo.width, geo.height) == (320, 240), f"video window of {geo.width}x{geo.height}"
    time.sleep(2.0)
    var, colours = picture_checks(grab(p.d, vw, geo.width, geo.height))
    if gl:
        assert var > 500 and len(colours) >= 4, f"variance {var:.0f}, test picture colours {colours}"
    else:
        assert var < 50 and not colours, f"variance {var:.0f}, colours {colours}"  # black, sound plays on
    time.sleep(1.0)
    close_like_a_window_manager(p.d, vw)
    shown = time.time() - started
    assert wait_until(lambda: [w.id for w in windows(p.d, lambda w: (name_of(p.d, w) or "").startswith("Μπραστομέρ"))]
                      == [p.main.id], 5), "the video window is still there"
    time.sleep(1.0)
    assert p.close() == 0
    _, num, text = saved(cwd)
    # Shown about 3 s, then about 2 s more on the main player.
    assert text(5) == film and int(shown) <= num(4) <= int(shown) + 6, f"saved {num(4)} after {shown:.1f} s"
    assert num(16) == -1, f"video mode {num(16)}"


def allplayed(binary, cwd):
    song = media(os.path.join(cwd, "a.wav"), 1)
    # Junk records behind: only a save shortens the file to its 16 records.
    write_session(cwd, [song], tail=b"x" * (4 * REC))
    p = Program(binary, cwd)
    assert find_window(p.d, lambda n: n == "Brastomere", timeout=10) is not None, "no all-played box"
    start = time.time()
    assert p.close() == 0
    assert time.time() - start < 1.0, "close served late"
    data, _, text = saved(cwd)
    assert len(data) == 16 * REC and text(5) == song, f"session file of {len(data)} bytes: not saved"


def accessible(root, pred, depth=0):
    if pred(root):
        return root
    for i in range(root.childCount if depth <= 14 else 0):
        child = root.getChildAtIndex(i)
        hit = accessible(child, pred, depth + 1) if child is not None else None
        if hit is not None:
            return hit
    return None


def screen(binary, cwd, size):
    import pyatspi  # only this check needs it
    sw, sh = map(int, size.split("x"))
    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        assert wait_until(lambda: subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                                                  "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                                                 capture_output=True).returncode == 0), "no accessibility bus"
        files = [media(os.path.join(cwd, n), 30, "mp3") for n in ("alpha.mp3", "beta.mp3")]
        write_session(cwd, files, last=1)
        p = Program(binary, cwd, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        ext = lambda a: a.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        app = wait_until(lambda: accessible(pyatspi.Registry.getDesktop(0), lambda a: a.getRole() ==
                                            pyatspi.ROLE_APPLICATION and a.name == "velloran", 1))
        assert app is not None, "program not on the accessibility bus"
        playlist = wait_until(lambda: accessible(app, lambda a: a.name == "Λίστα αναπαραγωγής - Playlist"
                                                 and a.childCount > 0))
        rows = [playlist.getChildAtIndex(i).name for i in range(playlist.childCount)]
        assert [r for r in rows if r.endswith(" - Παίζει - Playing")] == [files[1] + " - Παίζει - Playing"], rows
        geo, pos = p.main.get_geometry(), p.main.translate_coords(p.d.screen().root, 0, 0)
        assert -pos.x >= 0 and -pos.y >= 0 and -pos.x + geo.width <= sw and -pos.y + geo.height <= sh, size
        # Add is off while the resumed file plays; Subtract gives a report as long.
        sub = accessible(app, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON
                         and a.name == "Αφαίρεσε Αρχεία - Subtract files")
        try:
            sub.queryAction().doAction(0)
        except Exception:
            # Qt 6.4 does not always serve the action of a button in a group box: click it.
            r = ext(sub)
            xdotool("mousemove", r.x + r.width // 2, r.y + r.height // 2, "click", 1)
        text2 = accessible(app, lambda a: a.getRole() == pyatspi.ROLE_TEXT and a.name == "Κείμενο - Text")
        report = "Αριθμός αρχείων που Αφαιρέθηκαν - Number of Subtracted files : 2"
        assert wait_until(lambda: text2.queryText().getText(0, -1) == report, 5), text2.queryText().getText(0, -1)
        assert text2.description == report, text2.description
        t, box = text2.queryText(), ext(text2)
        first = t.getCharacterExtents(0, pyatspi.DESKTOP_COORDS)
        last = t.getCharacterExtents(t.characterCount - 1, pyatspi.DESKTOP_COORDS)
        assert first[0] >= box.x and last[0] + last[2] <= box.x + box.width, (box, first, last)
        if sw >= 1920:
            before = ext(playlist).width
            xdotool("windowsize", p.main.id, sw - 20, sh - 40)
            assert wait_until(lambda: ext(playlist).width > before + 250, 5), (before, ext(playlist).width)
        assert p.close() == 0
    finally:
        bus.terminate()
        bus.wait(timeout=10)


def tray(binary, cwd):
    host = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                             "--height", "32", "--SetDockType", "false"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    p = None
    try:
        d = display.Display()
        selection = d.intern_atom("_NET_SYSTEM_TRAY_S%d" % d.get_default_screen())
        assert wait_until(lambda: d.get_selection_owner(selection) != X.NONE), "no tray host"
        p = Program(binary, cwd)
        pid_atom = d.intern_atom("_NET_WM_PID")

        def ours(w, small):
            prop = w.get_full_property(pid_atom, X.AnyPropertyType)
            g = w.get_geometry()
            return prop and prop.value[0] == p.proc.pid and w != p.main and (g.height <= 64) == small
        icon = wait_until(lambda: windows(d, lambda w: ours(w, True) and w.get_geometry().width <= 64))
        assert icon, "the tray icon did not appear"
        g, t = icon[0].get_geometry(), icon[0].translate_coords(d.screen().root, 0, 0)
        cx, cy = -t.x + g.width // 2, -t.y + g.height // 2
        xdotool("mousemove", cx, cy, "click", "1")
        assert wait_until(lambda: not viewable(p.main)), "a left click did not hide the main window"
        time.sleep(0.3)
        xdotool("mousemove", cx, cy, "click", "1")
        assert wait_until(lambda: viewable(p.main)), "a second left click did not show the main window"
        time.sleep(0.3)
        xdotool("mousemove", cx, cy, "click", "3")  # the menu; its last item is Quit
        assert wait_until(lambda: windows(d, lambda w: ours(w, False))), "the tray menu did not open"
        time.sleep(0.3)
        xdotool("key", "Down", "Down", "Down", "Down", "Return")
        assert p.proc.wait(timeout=20) == 0
        assert len(saved(cwd)[0]) == 14 * REC, "no session file"
    finally:
        if p and p.proc.poll() is None:
            p.proc.kill()
        host.kill()
        host.wait()


def nobus(binary, cwd):
    runtime = os.path.join(cwd, "runtime")
    os.mkdir(runtime, 0o700)
    os.environ.pop("DBUS_SESSION_BUS_ADDRESS", None)
    log = os.path.join(cwd, "exec.log")
    p = Program(binary, cwd, prefix=("strace", "-f", "-qq", "-e", "trace=execve", "-o", log),
                XDG_RUNTIME_DIR=runtime)
    assert p.caption == CAPTION, f"caption {p.caption!r}"
    time.sleep(1.0)
    assert p.close() == 0
    started = [line for line in open(log) if "execve(" in line]
    assert len(started) == 1, "programs started besides the player:\n" + "".join(started)
    data, _, text = saved(cwd)
    assert len(data) == 14 * REC and text(2) == cwd, f"session file of {len(data)} bytes"


if __name__ == "__main__":
    binary, which, arg = sys.argv[1], sys.argv[2], (sys.argv[3:] or [None])[0]
    checks = {"killed": killed, "allplayed": allplayed, "tray": tray,
              "nobus": nobus, "video": video, "video_nogl": lambda b, c: video(b, c, gl=False),
              "signal": lambda b, c: signalled(b, c, arg), "drop": lambda b, c: drop(b, c, arg),
              "screen": lambda b, c: screen(b, c, arg)}
    scratch(lambda cwd: checks[which](binary, cwd))
    print(which, arg or "", "ok")
