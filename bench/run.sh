#!/bin/sh
# Runs every benchmark against the build folder given (default: build).
set -e
build=${1:-build}
export QT_QPA_PLATFORM=offscreen
cmake --build "$build" --target bench_playlist bench_ticker bench_session_load bench_state_db
"$build/bench/bench_playlist"
"$build/bench/bench_ticker"
"$build/bench/bench_session_load"
"$build/bench/bench_state_db"
"$(dirname "$0")/cpu_while_playing.sh" "$build/velloran"
cmake --build "$build" --target bench_places
"$build/bench/bench_places"
cmake --build "$build" --target bench_lengths
"$build/bench/bench_lengths"
