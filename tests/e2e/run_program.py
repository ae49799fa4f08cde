#!/usr/bin/env python3
"""End-to-end checks of the real program under Xvfb (run inside xvfb-run).

smoke:  starts in an empty folder, the main window appears with its caption, a screenshot
        is written, closing it as a window manager does ends it with status 0 and an
        empty-playlist session file of 14 records.
resume: plays a folder's session into its second file, closes, checks records 3-5,
        starts again and checks that the same file resumes at that second.
video:  a session whose entry is a generated film, mode Auto: the video window appears with
        the main window's caption and the film's size, its screenshot holds the test
        picture's colours; closing it as a window manager does hands the film back to the
        main player, and the session written at the end holds the second reached, mode Hide.
video_nogl: the same on a display without OpenGL: the window stays black, the film plays.
allplayed: the only file plays to its end and the "all played" box comes up; closing the
        main window as a window manager does still saves the session and ends within 1 s.
screen: (inside dbus-run-session, screen size as argument) the window fits the screen; read
        through the accessibility bus as a screen reader does: the status line
        shows its whole report (after Subtract), the playing entry's name says it plays; on a large screen
        the playlist grows with the window. Screenshot e2e-screen-WxH.png.
killed: kill -9 in the middle of playback; the next start resumes from the recovery copy in
        the state database within a few seconds of where it was.
term:   kill -TERM saves the session as a close does.
drop:   another program drags two files (names with blanks and Greek letters) onto the
        playlist through XDND, moved by xdotool; the session file then holds both.
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


def role(d, w):
    prop = w.get_full_property(d.intern_atom("WM_WINDOW_ROLE"), X.AnyPropertyType)
    return prop.value.decode("utf-8", "replace") if prop else ""


def find_window(d, pred, timeout=20, skip_role=None):
    deadline = time.time() + timeout
    atom_name = d.intern_atom("_NET_WM_NAME")
    utf8 = d.intern_atom("UTF8_STRING")
    while time.time() < deadline:
        stack = [d.screen().root]
        while stack:
            w = stack.pop()
            try:
                prop = w.get_full_property(atom_name, utf8)
                name = prop.value.decode("utf-8") if prop else None
                if name and pred(name) and not (skip_role and role(d, w) == skip_role):
                    attrs = w.get_attributes()
                    if attrs.map_state == X.IsViewable:
                        return w, name
                stack.extend(w.query_tree().children)
            except Exception:
                pass
        time.sleep(0.2)
    return None, None


def close_like_a_window_manager(d, w):
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    ev = protocol.event.ClientMessage(window=w, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    w.send_event(ev, event_mask=X.NoEventMask)
    d.flush()


def int_rec(v):
    return struct.pack("<h", v).ljust(REC, b"\0")


def str_rec(s):
    b = s.encode("utf-8")
    return (struct.pack("<h", len(b)) + b).ljust(REC, b"\0")


def read_int(data, n):
    chunk = data[(n - 1) * REC:(n - 1) * REC + 2]
    return struct.unpack("<h", chunk)[0] if len(chunk) == 2 else 0


def read_str(data, n):
    start = (n - 1) * REC
    length = read_int(data, n)
    return data[start + 2:start + 2 + length].decode("utf-8")


def program_env(cwd):
    return dict(os.environ, XDG_CONFIG_HOME=os.path.join(cwd, ".config"),
                XDG_STATE_HOME=os.path.join(cwd, ".state"))


def run(binary, cwd, seconds, shot=None, meanwhile=None, size="1280x800"):
    env = program_env(cwd)
    proc = subprocess.Popen([binary], cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    d = display.Display()
    # The video window carries the same caption: tell it by its role.
    w, name = find_window(d, lambda n: n.startswith("Μπραστομέρ"), skip_role="video")
    if w is None:
        proc.kill()
        sys.exit("main window did not appear")
    if meanwhile:
        meanwhile(d, w)
    time.sleep(seconds)
    if shot:
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "x11grab", "-video_size", size,
                        "-i", os.environ["DISPLAY"], "-frames:v", "1", shot], check=False)
    close_like_a_window_manager(d, w)
    code = proc.wait(timeout=20)
    return name, code


def smoke(binary, outdir):
    cwd = tempfile.mkdtemp()
    try:
        name, code = run(binary, cwd, 1.0, shot=os.path.join(outdir, "e2e-smoke.png"))
        assert name == CAPTION, f"caption {name!r}"
        assert code == 0, f"exit status {code}"
        data = open(os.path.join(cwd, "velloran.txt"), "rb").read()
        assert len(data) == 14 * REC, f"session file of {len(data)} bytes"
        assert read_str(data, 2) == cwd, read_str(data, 2)
    finally:
        shutil.rmtree(cwd)


def resume(binary):
    cwd = tempfile.mkdtemp()
    try:
        files = []
        for n in ("a.wav", "b.wav"):
            path = os.path.join(cwd, n)
            subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            "sine=frequency=330:duration=%d" % (2 if n == "a.wav" else 30), path], check=True)
            files.append(path)
        recs = [str_rec("/"), str_rec(cwd), int_rec(0), int_rec(0), str_rec(files[0]), int_rec(0),
                int_rec(0), int_rec(0), int_rec(10), int_rec(1), int_rec(0), int_rec(0),
                int_rec(0), int_rec(0), int_rec(0), str_rec(files[0]), str_rec(files[1]), int_rec(0)]
        open(os.path.join(cwd, "velloran.txt"), "wb").write(b"".join(recs))

        _, code = run(binary, cwd, 5.0)
        assert code == 0
        data = open(os.path.join(cwd, "velloran.txt"), "rb").read()
        assert read_int(data, 3) == 1, f"index {read_int(data, 3)}"
        first = read_int(data, 4)
        assert 1 <= first <= 5, f"position {first}"
        assert read_str(data, 5) == files[1]
        assert read_int(data, 11) == -1 and read_int(data, 12) == -1, "played marks"

        # Started again, the same file goes on from that second.
        _, code = run(binary, cwd, 1.0)
        assert code == 0
        data = open(os.path.join(cwd, "velloran.txt"), "rb").read()
        assert read_str(data, 5) == files[1]
        second = read_int(data, 4)
        assert first <= second <= first + 4, f"resumed at {second}, saved {first}"
    finally:
        shutil.rmtree(cwd)


def one_long_file(cwd, seconds=60):
    path = os.path.join(cwd, "long.wav")
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    "sine=frequency=330:duration=%d" % seconds, path], check=True)
    recs = [str_rec("/"), str_rec(cwd), int_rec(0), int_rec(0), str_rec(path), int_rec(0),
            int_rec(0), int_rec(0), int_rec(10), int_rec(0), int_rec(0), int_rec(0),
            int_rec(0), int_rec(0), str_rec(path), int_rec(0)]
    session = os.path.join(cwd, "velloran.txt")
    open(session, "wb").write(b"".join(recs))
    return path, session


def start_and_signal(binary, cwd, seconds, sig):
    proc = subprocess.Popen([binary], cwd=cwd, env=program_env(cwd),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    d = display.Display()
    w, _ = find_window(d, lambda n: n.startswith("Μπραστομέρ"))
    if w is None:
        proc.kill()
        sys.exit("main window did not appear")
    time.sleep(seconds)
    proc.send_signal(sig)
    return proc.wait(timeout=20)


def killed(binary):
    cwd = tempfile.mkdtemp()
    try:
        path, session = one_long_file(cwd)
        before = open(session, "rb").read()
        code = start_and_signal(binary, cwd, 10.0, signal.SIGKILL)
        assert code == -signal.SIGKILL, f"status {code}"
        assert open(session, "rb").read() == before, "the session file is written only by a close"

        # About 10 s were played; started again and closed at once, the place is kept.
        _, code = run(binary, cwd, 0.5)
        assert code == 0
        data = open(session, "rb").read()
        assert read_str(data, 5) == path
        pos = read_int(data, 4)
        assert 5 <= pos <= 14, f"resumed at {pos} after about 10 s of playback"
    finally:
        shutil.rmtree(cwd)


def term(binary):
    cwd = tempfile.mkdtemp()
    try:
        path, session = one_long_file(cwd)
        code = start_and_signal(binary, cwd, 4.0, signal.SIGTERM)
        assert code == 0, f"status {code}"
        data = open(session, "rb").read()
        assert read_str(data, 5) == path
        assert 2 <= read_int(data, 4) <= 6, f"saved at {read_int(data, 4)}"
    finally:
        shutil.rmtree(cwd)


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


def drop(binary, outdir, source):
    cwd = tempfile.mkdtemp()
    try:
        files = [os.path.join(cwd, "ένας φάκελος", "πρώτο τραγούδι.mp3"), os.path.join(cwd, "second one.mp3")]
        files = [f.encode("utf-8") for f in files]
        # A Latin-1 name from an old archive: not UTF-8, yet it must arrive byte for byte.
        files.append(os.path.join(cwd.encode(), b"caf\xe9 cr\xe8me.mp3"))
        for f in files:
            os.makedirs(os.path.dirname(f), exist_ok=True)
            subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            "sine=frequency=330:duration=20", "-c:a", "libmp3lame", "-q:a", "9", f], check=True)
        result = {}

        def drag(d, w):
            pos = w.translate_coords(d.screen().root, 0, 0)
            # The middle of the playlist, from the window's top left corner.
            tx, ty = -pos.x + 590, -pos.y + 300
            sx, sy = 1040, 775
            src = subprocess.Popen([source, str(sx), str(sy), *files], stdout=subprocess.PIPE, text=True)
            sw, _ = find_window(d, lambda n: n == "drag-source")
            assert sw is not None, "drag source window did not appear"
            time.sleep(0.5)
            xdotool("mousemove", sx + 20, sy + 15)
            xdotool("mousedown", 1)
            for i in range(1, 11):
                xdotool("mousemove", sx + 20 + (tx - sx - 20) * i // 10, sy + 15 + (ty - sy - 15) * i // 10)
                time.sleep(0.05)
            time.sleep(0.3)
            xdotool("mouseup", 1)
            result["source"] = src.stdout.readline().strip()
            result["proc"] = src

        _, code = run(binary, cwd, 1.0, shot=os.path.join(outdir, "e2e-drop.png"), meanwhile=drag)
        assert code == 0, f"exit status {code}"
        result["proc"].wait(timeout=10)
        assert result.get("source") == "drop accepted", result
        data = open(os.path.join(cwd, "velloran.txt"), "rb").read()
        for f in files:
            assert f in data, f"{f} not in the playlist"
    finally:
        shutil.rmtree(cwd)


def find_windows(d, pred):
    """Every viewable window whose name satisfies pred."""
    atom_name = d.intern_atom("_NET_WM_NAME")
    utf8 = d.intern_atom("UTF8_STRING")
    found = []
    stack = [d.screen().root]
    while stack:
        w = stack.pop()
        try:
            prop = w.get_full_property(atom_name, utf8)
            name = prop.value.decode("utf-8") if prop else None
            if name and pred(name) and w.get_attributes().map_state == X.IsViewable:
                found.append(w)
            stack.extend(w.query_tree().children)
        except Exception:
            pass
    return found


def grab(d, w, width, height, png=None):
    """The window's pixels as RGB bytes, read from the screen."""
    pos = w.translate_coords(d.screen().root, 0, 0)
    src = "%s+%d,%d" % (os.environ["DISPLAY"], -pos.x, -pos.y)
    grab_args = ["ffmpeg", "-loglevel", "error", "-y", "-f", "x11grab", "-video_size", "%dx%d" % (width, height),
                 "-i", src, "-frames:v", "1"]
    if png:
        subprocess.run(grab_args + [png], check=False)
    out = subprocess.run(grab_args + ["-f", "rawvideo", "-pix_fmt", "rgb24", "-"], check=True,
                         stdout=subprocess.PIPE).stdout
    assert len(out) == width * height * 3, f"grabbed {len(out)} bytes"
    return out


def picture_checks(rgb):
    """Variance of the brightness, and which strong colours cover at least 1% of the picture."""
    n = len(rgb) // 3
    lum = [(rgb[3 * i] + rgb[3 * i + 1] + rgb[3 * i + 2]) / 3 for i in range(n)]
    mean = sum(lum) / n
    var = sum((v - mean) ** 2 for v in lum) / n
    kinds = {"red": (1, 0, 0), "green": (0, 1, 0), "blue": (0, 0, 1),
             "yellow": (1, 1, 0), "cyan": (0, 1, 1), "magenta": (1, 0, 1)}
    counts = dict.fromkeys(kinds, 0)
    for i in range(n):
        px = rgb[3 * i:3 * i + 3]
        hi = tuple(1 if c > 150 else 0 if c < 90 else None for c in px)
        for k, want in kinds.items():
            if hi == want:
                counts[k] += 1
    return var, [k for k, c in counts.items() if c >= n // 100]


def video(binary, outdir, gl=True):
    if not gl:
        # Qt then finds no OpenGL on the display.
        os.environ["QT_XCB_GL_INTEGRATION"] = "none"
    cwd = tempfile.mkdtemp()
    try:
        film = os.path.join(cwd, "film.mkv")
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=30",
                        "-f", "lavfi", "-i", "sine=frequency=440:duration=30", "-c:v", "mpeg4", "-q:v", "3",
                        "-c:a", "mp3", "-shortest", film], check=True)
        recs = [str_rec("/"), str_rec(cwd), int_rec(0), int_rec(0), str_rec(film), int_rec(0),
                int_rec(0), int_rec(0), int_rec(10), int_rec(0), int_rec(0), int_rec(0),
                int_rec(0), int_rec(0), str_rec(film), int_rec(0)]
        open(os.path.join(cwd, "velloran.txt"), "wb").write(b"".join(recs))
        result = {}

        def watch(d, main):
            deadline = time.time() + 20
            found = []
            while time.time() < deadline and not found:
                found = [w for w in find_windows(d, lambda n: n.startswith("Μπραστομέρ")) if role(d, w) == "video"]
                time.sleep(0.2)
            assert found, "the video window did not appear"
            vw = found[0]
            name_of = lambda w: w.get_full_property(d.intern_atom("_NET_WM_NAME"), d.intern_atom("UTF8_STRING")).value
            result["captions"] = (name_of(vw).decode("utf-8"), name_of(main).decode("utf-8"))
            started = time.time()
            geo = vw.get_geometry()
            result["size"] = (geo.width, geo.height)
            time.sleep(2.0)
            rgb = grab(d, vw, geo.width, geo.height, os.path.join(outdir, "e2e-video%s.png" % ("" if gl else "-nogl")))
            result["picture"] = picture_checks(rgb)
            time.sleep(1.0)
            close_like_a_window_manager(d, vw)
            result["closed_after"] = time.time() - started
            time.sleep(1.0)
            result["windows_after"] = [w.id for w in find_windows(d, lambda n: n.startswith("Μπραστομέρ"))]
            result["main"] = main.id

        _, code = run(binary, cwd, 1.0, meanwhile=watch)
        assert code == 0, f"exit status {code}"
        assert result["captions"][0] == result["captions"][1], f"captions {result['captions']}"
        assert result["size"] == (320, 240), f"video window of {result['size']}"
        var, colours = result["picture"]
        if gl:
            assert var > 500, f"picture variance {var:.0f}: blank"
            assert len(colours) >= 4, f"test picture colours found: {colours}"
        else:
            # A black window, while the film plays on with its sound.
            assert var < 50 and not colours, f"variance {var:.0f}, colours {colours}"
        assert result["windows_after"] == [result["main"]], "the video window is still there"
        data = open(os.path.join(cwd, "velloran.txt"), "rb").read()
        assert read_str(data, 5) == film
        reached = read_int(data, 4)
        # Shown about 3 s, then about 2 s more on the main player.
        lo, hi = int(result["closed_after"]), int(result["closed_after"]) + 6
        assert lo <= reached <= hi, f"saved position {reached}, expected {lo}..{hi}"
        assert read_int(data, 16) == -1, f"video mode {read_int(data, 16)}"
    finally:
        shutil.rmtree(cwd)


def allplayed(binary):
    cwd = tempfile.mkdtemp()
    try:
        song = os.path.join(cwd, "a.wav")
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                        "sine=frequency=330:duration=1", song], check=True)
        recs = [str_rec("/"), str_rec(cwd), int_rec(0), int_rec(0), str_rec(song), int_rec(0),
                int_rec(0), int_rec(0), int_rec(10), int_rec(0), int_rec(0), int_rec(0),
                int_rec(0), int_rec(0), str_rec(song), int_rec(0)]
        # Junk records behind: only a save shortens the file to its 16 records.
        open(os.path.join(cwd, "velloran.txt"), "wb").write(b"".join(recs) + b"x" * (4 * REC))
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(cwd, ".config"),
                   XDG_STATE_HOME=os.path.join(cwd, ".state"))
        proc = subprocess.Popen([binary], cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            d = display.Display()
            w, _ = find_window(d, lambda n: n.startswith("Μπραστομέρ"))
            assert w is not None, "main window did not appear"
            box, _ = find_window(d, lambda n: n == "Brastomere", timeout=10)
            assert box is not None, "the all-played box did not appear"
            close_like_a_window_manager(d, w)
            start = time.time()
            code = proc.wait(timeout=5)
            took = time.time() - start
        finally:
            if proc.poll() is None:
                proc.kill()
        assert code == 0, f"exit status {code}"
        assert took < 1.0, f"close served after {took:.2f} s"
        data = open(os.path.join(cwd, "velloran.txt"), "rb").read()
        assert len(data) == 16 * REC, f"session file of {len(data)} bytes: not saved"
        assert read_str(data, 5) == song
    finally:
        shutil.rmtree(cwd)


def accessible(root, pred, depth=0):
    if pred(root):
        return root
    if depth > 14:
        return None
    for i in range(root.childCount):
        child = root.getChildAtIndex(i)
        if child is not None:
            hit = accessible(child, pred, depth + 1)
            if hit is not None:
                return hit
    return None


def screen(binary, outdir, size):
    import pyatspi  # only this check needs it
    sw, sh = map(int, size.split("x"))
    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    cwd = tempfile.mkdtemp()
    os.environ["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    try:
        time.sleep(1.0)
        files = []
        for n in ("alpha.mp3", "beta.mp3"):
            path = os.path.join(cwd, n)
            subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            "sine=frequency=330:duration=30", "-c:a", "libmp3lame", "-q:a", "9", path],
                           check=True)
            files.append(path)
        recs = [str_rec("/"), str_rec(cwd), int_rec(1), int_rec(0), str_rec(files[1]), int_rec(0),
                int_rec(0), int_rec(0), int_rec(10), int_rec(1), int_rec(0), int_rec(0),
                int_rec(0), int_rec(0), int_rec(0), str_rec(files[0]), str_rec(files[1]), int_rec(0)]
        open(os.path.join(cwd, "velloran.txt"), "wb").write(b"".join(recs))
        seen = {}

        def look(d, w):
            time.sleep(1.5)
            geo = w.get_geometry()
            pos = w.translate_coords(d.screen().root, 0, 0)
            seen["window"] = (-pos.x, -pos.y, geo.width, geo.height)
            desktop = pyatspi.Registry.getDesktop(0)
            app = accessible(desktop, lambda a: a.getRole() == pyatspi.ROLE_APPLICATION
                             and a.name == "velloran", 1)
            assert app is not None, "program not on the accessibility bus"
            playlist = accessible(app, lambda a: a.name == "Λίστα αναπαραγωγής - Playlist"
                                  and a.childCount > 0)
            seen["rows"] = [playlist.getChildAtIndex(i).name for i in range(playlist.childCount)]
            # Add is off while the resumed file plays; Subtract gives a report as long.
            add = accessible(app, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON
                             and a.name == "Αφαίρεσε Αρχεία - Subtract files")
            assert add is not None, "no Subtract button"
            try:
                add.queryAction().doAction(0)
            except Exception:
                # Qt 6.4 does not always serve the action of a button in a group box; a
                # click where the bus says the button is does the same.
                r = add.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                xdotool("mousemove", r.x + r.width // 2, r.y + r.height // 2, "click", 1)
            time.sleep(1.0)
            text2 = accessible(app, lambda a: a.getRole() == pyatspi.ROLE_TEXT
                               and a.name == "Κείμενο - Text")
            t = text2.queryText()
            seen["text2"] = t.getText(0, -1)
            seen["tooltip"] = text2.description
            box = text2.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            first = t.getCharacterExtents(0, pyatspi.DESKTOP_COORDS)
            last = t.getCharacterExtents(t.characterCount - 1, pyatspi.DESKTOP_COORDS)
            seen["text2 shown whole"] = (first[0] >= box.x and last[0] + last[2] <= box.x + box.width,
                                         box, first, last)
            if sw >= 1920:
                seen["playlist width"] = [playlist.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).width]
                xdotool("windowsize", w.id, sw - 20, sh - 40)
                time.sleep(1.0)
                seen["playlist width"].append(
                    playlist.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).width)

        _, code = run(binary, cwd, 0.5, shot=os.path.join(outdir, f"e2e-screen-{size}.png"),
                      meanwhile=look, size=size)
        assert code == 0, f"exit status {code}"
        x, y, w, h = seen["window"]
        assert x >= 0 and y >= 0 and x + w <= sw and y + h <= sh, f"window {seen['window']} on {size}"
        assert seen["text2"] == "Αριθμός αρχείων που Αφαιρέθηκαν - Number of Subtracted files : 2", seen
        assert seen["tooltip"] == seen["text2"], seen
        assert seen["text2 shown whole"][0], seen["text2 shown whole"]
        playing = [r for r in seen["rows"] if r.endswith(" - Παίζει - Playing")]
        assert playing == [files[1] + " - Παίζει - Playing"], seen["rows"]
        if sw >= 1920:
            before, after = seen["playlist width"]
            assert after > before + 250, seen["playlist width"]
    finally:
        shutil.rmtree(cwd)
        bus.terminate()
        bus.wait(timeout=10)


if __name__ == "__main__":
    binary, outdir, which = sys.argv[1], sys.argv[2], sys.argv[3]
    {"smoke": lambda: smoke(binary, outdir), "resume": lambda: resume(binary),
     "video": lambda: video(binary, outdir),
     "video_nogl": lambda: video(binary, outdir, gl=False),
     "drop": lambda: drop(binary, outdir, sys.argv[4]),
     "allplayed": lambda: allplayed(binary),
     "screen": lambda: screen(binary, outdir, sys.argv[4]),
     "killed": lambda: killed(binary), "term": lambda: term(binary)}[which]()
    print(which, "ok")
