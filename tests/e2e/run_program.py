#!/usr/bin/env python3
"""End-to-end checks of the real program under Xvfb (run inside xvfb-run).

smoke:  starts in an empty folder, the main window appears with its caption, a screenshot
        is written, closing it as a window manager does ends it with status 0 and an
        empty-playlist session file of 14 records.
resume: plays a folder's session into its second file, closes, checks records 3-5,
        starts again and checks that the same file resumes at that second.
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


def find_window(d, pred, timeout=20):
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
                if name and pred(name):
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


def run(binary, cwd, seconds, shot=None, meanwhile=None):
    env = program_env(cwd)
    proc = subprocess.Popen([binary], cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    d = display.Display()
    w, name = find_window(d, lambda n: n.startswith("Μπραστομέρ"))
    if w is None:
        proc.kill()
        sys.exit("main window did not appear")
    if meanwhile:
        meanwhile(d, w)
    time.sleep(seconds)
    if shot:
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "x11grab", "-video_size", "1280x800",
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
            assert f.encode("utf-8") in data, f"{f} not in the playlist"
    finally:
        shutil.rmtree(cwd)


if __name__ == "__main__":
    binary, outdir, which = sys.argv[1], sys.argv[2], sys.argv[3]
    {"smoke": lambda: smoke(binary, outdir), "resume": lambda: resume(binary),
     "killed": lambda: killed(binary), "term": lambda: term(binary),
     "drop": lambda: drop(binary, outdir, sys.argv[4])}[which]()
    print(which, "ok")
