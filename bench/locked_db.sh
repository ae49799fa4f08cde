#!/bin/sh
# The real program with its state database write-locked by another process (the sqlite3 tool
# holding BEGIN EXCLUSIVE): when the window first answers, its largest answer gap over 20 s of
# play (an MPRIS Get of Position every 100 ms), and how long a Quit takes to end the process.
# Usage (from the repository): bench/locked_db.sh build/velloran
set -e
bin=$(readlink -f "${1:-build/velloran}")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=440:duration=60" "$dir/song.wav"
cd "$dir"
XDG_CONFIG_HOME="$dir/.config" XDG_STATE_HOME="$dir/state" dbus-run-session -- \
  xvfb-run -a -s "-screen 0 1280x800x24" /usr/bin/python3 - "$bin" "$dir" <<'PY'
import subprocess, sys, time
binary, d = sys.argv[1], sys.argv[2]
db = d + "/state/velloran/state.sqlite"

def get():
    """One round trip to the window's thread; its length in seconds, None when unanswered."""
    t = time.monotonic()
    r = subprocess.run(["gdbus", "call", "--session", "--dest", "org.mpris.MediaPlayer2.velloran",
                        "--object-path", "/org/mpris/MediaPlayer2", "--timeout", "60", "--method",
                        "org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2.Player", "Position"],
                       capture_output=True)
    return time.monotonic() - t if r.returncode == 0 else None

def start():
    p = subprocess.Popen([binary, d + "/song.wav"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    t0 = time.monotonic()
    while get() is None:
        time.sleep(0.05)
    return p, time.monotonic() - t0

def quit(p):
    t = time.monotonic()
    subprocess.run(["gdbus", "call", "--session", "--dest", "org.mpris.MediaPlayer2.velloran",
                    "--object-path", "/org/mpris/MediaPlayer2", "--method", "org.mpris.MediaPlayer2.Quit"],
                   capture_output=True)
    p.wait(120)
    return time.monotonic() - t

p, _ = start()  # a first run makes the database
time.sleep(2)
quit(p)
lock = subprocess.Popen(["sqlite3", db], stdin=subprocess.PIPE, text=True)
lock.stdin.write("BEGIN EXCLUSIVE;\nINSERT OR REPLACE INTO speed VALUES(x'00', 1);\n")
lock.stdin.flush()
time.sleep(0.5)
p, first = start()
gaps, end = [], time.monotonic() + 20
while time.monotonic() < end:
    g = get()
    gaps.append(g if g is not None else 60.0)
    time.sleep(0.1)
close = quit(p)
lock.stdin.write("ROLLBACK;\n")
lock.stdin.close()
lock.wait()
print(f"first answer after start: {first:.2f} s")
print(f"largest answer gap in 20 s of play: {max(gaps):.2f} s ({len(gaps)} calls, "
      f"{sum(g for g in gaps if g > 0.5):.1f} s in answers slower than 0.5 s)")
print(f"close: {close:.2f} s")
PY
