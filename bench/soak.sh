#!/bin/sh
# The monkey run (bench/soak.cpp) under its own X server; a crash or an early end is a
# failure too. Usage: bench/soak.sh BUILD_DIR [SEED]; SOAK_SECONDS shortens it.
build=${1:-build}
out=$(mktemp)
trap 'rm -f "$out" "$out.rc"' EXIT
{ xvfb-run -a -s "-screen 0 1280x800x24" "$build/bench/soak" $2 2>/dev/null; echo $? >"$out.rc"; } | tee "$out"
rc=$(cat "$out.rc")
if [ "$rc" -gt 128 ]; then
  echo "soak: FAILED, crashed (signal $((rc - 128)))"
  exit 1
fi
if ! grep -q '^soak: \(passed\|FAILED\)$' "$out"; then
  echo "soak: FAILED, ended early (exit $rc)"
  exit 1
fi
exit "$rc"
