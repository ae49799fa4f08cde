#!/bin/sh
# CPU share of the real program while a two-minute mp3 plays: starts it on a session that
# resumes the file, samples every thread's user+system clock ticks over 20 s.
# Usage (from the repository): bench/cpu_while_playing.sh build/velloran
set -e
bin=$(readlink -f "${1:-build/velloran}")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=440:duration=120" -c:a libmp3lame -q:a 4 "$dir/song.mp3"
/usr/bin/python3 - "$dir" <<'PY'
import struct, sys
d = sys.argv[1]
def s(t):
    b = t.encode(); return (struct.pack("<h", len(b)) + b).ljust(255, b"\0")
def i(v): return struct.pack("<h", v).ljust(255, b"\0")
song = d + "/song.mp3"
recs = [s("/"), s(d), i(0), i(0), s(song), i(0), i(0), i(0), i(10), i(0), i(0), i(0), i(0), i(0), s(song), i(0)]
open(d + "/velloran.txt", "wb").write(b"".join(recs))
PY
cd "$dir"
XDG_CONFIG_HOME="$dir/.config" xvfb-run -a -s "-screen 0 1280x800x24" sh -c '
  "$0" >/dev/null 2>&1 & pid=$!
  sleep 4
  snap() { for t in /proc/$pid/task/*; do echo "$(cut -d" " -f14,15 $t/stat) $(cat $t/comm)"; done; }
  main0=$(cut -d" " -f14,15 /proc/$pid/task/$pid/stat); snap > a
  sleep 20
  main1=$(cut -d" " -f14,15 /proc/$pid/task/$pid/stat); snap > b
  kill $pid
  hz=$(getconf CLK_TCK)
  echo "$main0 $main1" | awk -v hz=$hz "{printf \"main thread: %.2f %% of a core\n\", (\$3+\$4-\$1-\$2)*100/hz/20}"
  awk "{s+=\$1+\$2} END {print s}" a > sa; awk "{s+=\$1+\$2} END {print s}" b > sb
  echo "$(cat sa) $(cat sb)" | awk -v hz=$hz "{printf \"whole process (mpv decoding and null audio output included): %.2f %% of a core\n\", (\$2-\$1)*100/hz/20}"
' "$bin"
