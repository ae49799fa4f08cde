#!/bin/sh
# Prints the B1-B10 table (ours against peers, one run) for the build folder given
# (default: build; `make bench` uses a Release build in build-rel), then the figures of
# long recordings (database writes, media lengths), the joins between files (B11) and
# Next (B12).
# Needs xvfb-run, mpv and pulseaudio (the joins are heard through a null sink of its own).
set -e
build=${1:-build}
cmake --build "$build" --target velloran bench_figures bench_places bench_lengths bench_join
xvfb-run -a -s "-screen 0 1280x800x24" python3 "$(dirname "$0")/figures.py" "$build"
echo
echo "Long recordings"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_places"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_lengths"
echo
echo "Joins between files (B11) and Next (B12)"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_join"
