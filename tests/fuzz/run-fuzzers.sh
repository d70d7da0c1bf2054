#!/bin/sh
# Runs every libFuzzer target of a fuzz build for a bounded time, each on its
# seed corpus in tests/corpus/<name without fuzz_>. New inputs go to a working
# corpus in the build directory, so the committed seeds stay small; a crash,
# a leak or a timeout leaves its input in BUILD_DIR/fuzz-artifacts/ and fails
# the run.
# Usage: run-fuzzers.sh BUILD_DIR SECONDS
set -u
build=${1:-build/fuzz}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
corpus_root="$here/../corpus"
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"

found=0
failed=0
for target in "$build"/tests/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  seeds="$corpus_root/${name#fuzz_}"
  work="$build/fuzz-corpus/$name"
  mkdir -p "$work"
  [ -d "$seeds" ] || seeds=""
  echo "fuzzing $name for $seconds s (seeds: ${seeds:-none})"
  if ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}" \
     UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
     "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
       -print_final_stats=1 -artifact_prefix="$artifacts/$name-" "$work" $seeds \
       >"$build/$name.log" 2>&1; then
    grep -E "^stat::number_of_executed_units|^Done" "$build/$name.log" | tr '\n' ' '
    echo
  else
    status=$?
    failed=1
    echo "*** $name failed (exit $status); the last lines of $build/$name.log:"
    tail -n 40 "$build/$name.log"
  fi
done

if [ "$found" = 0 ]; then
  echo "no fuzz targets in $build/tests/fuzz (configure with the fuzz preset)"
  exit 1
fi
exit $failed
