#!/bin/sh
# Runs each fuzz target for the seconds given, starting from its committed seeds; new
# inputs go to a working corpus in the build folder, findings to its artifacts folder.
set -e
build=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
for t in session_file id3v1 drop; do
  work="$build/corpus/$t"
  mkdir -p "$work" "$build/artifacts"
  echo "== fuzz_$t for $seconds s"
  "$build/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/artifacts/$t-" "$work" "$here/corpus/$t" 2>&1 \
    | grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE|==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)' || true
  if ls "$build/artifacts/$t-"* >/dev/null 2>&1; then
    echo "fuzz_$t: findings in $build/artifacts" >&2
    exit 1
  fi
done
