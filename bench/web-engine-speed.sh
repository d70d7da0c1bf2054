#!/bin/sh
# The web edition's engine (WebAssembly SIMD, in Node.js) against the native
# SSE2 engine on the 16-voice chord, in one run, alternating: ns per
# voice-sample, best of five of each, and their ratio.
#   bench/web-engine-speed.sh   (after make native and make web)
set -eu
native=${NATIVE_TIMING:-build/native/tests/engine/engine_timing}
web=${WEB_TIMING:-build/web/web/engine_timing.wasm}
here=$(dirname "$0")
chord() { awk '/^chord/ { print $'"$1"' }'; }
best_native=; best_web=
for round in 1 2 3 4 5; do
  n=$("$native" | chord 7)   # SSE2
  w=$(node "$here/wasi-run.mjs" "$web" | chord 9)   # SIMD128
  echo "round $round: native SSE2 $n, WebAssembly SIMD $w ns per voice-sample"
  best_native=$(printf '%s\n%s\n' "$n" "${best_native:-$n}" | sort -g | head -n 1)
  best_web=$(printf '%s\n%s\n' "$w" "${best_web:-$w}" | sort -g | head -n 1)
done
echo "best: native SSE2 $best_native, WebAssembly SIMD $best_web: $(echo "$best_web $best_native" | awk '{ printf "%.2f", $1 / $2 }') times"
