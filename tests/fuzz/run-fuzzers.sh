#!/bin/sh
# Runs every libFuzzer target of a fuzz build for a bounded time.
# Usage: run-fuzzers.sh BUILD_DIR SECONDS
set -e
build=${1:-build/fuzz}
seconds=${2:-60}
found=0
for target in "$build"/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  found=1
  echo "fuzzing $(basename "$target") for $seconds s"
done
[ "$found" = 1 ] || echo "no fuzz targets built"
