#!/bin/sh
# The engine against its floor in every build at hand, in one run: the
# 16-voice chord (MIDI 36 to 96) and the 16 high notes (MIDI 93 to 108), on
# the lane path each build chooses, as multiples of the floor (the top voice's
# serial smoothing passes). Rounds alternate between the builds; each figure
# is the median of the rounds, each round itself the median of 15 timings
# (the fastest of 150 shorter ones under Wine, whose clock is wall time:
# bench/EngineTiming.cpp).
# The Windows builds run under Wine. The machine's load (uptime) is printed
# before and after the rounds.
#   bench/engine-speed.sh [rounds]   (after building engine_timing in the
#                                     native, win64 and win32 presets)
set -eu
rounds=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
builds=
for b in native win64 win32; do
  exe="$root/build/$b/tests/engine/engine_timing"
  [ -x "$exe" ] || exe="$exe.exe"
  [ -e "$exe" ] && builds="$builds $b"
done
[ -n "$builds" ] || { echo "no engine_timing built" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
echo "load before: $(uptime | sed 's/.*load/load/')"
for round in $(seq "$rounds"); do
  for b in $builds; do
    case $b in
      native) "$root/build/$b/tests/engine/engine_timing" ;;
      *) "$root/cmake/wine-run.sh" "$root/build/$b/tests/engine/engine_timing.exe" | tr -d '\r' ;;
    esac > "$out/$b.$round"
    awk -v b="$b" -v r="$round" '/^chord/ { c = $NF } /^16 voices/ { h = $NF }
      END { printf "round %s %-6s chord %s, high %s x floor\n", r, b, c, h }' "$out/$b.$round"
  done
done
echo "load after: $(uptime | sed 's/.*load/load/')"
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '\n| build | chord / floor | high chord / floor | chord ns | high ns | floor ns (chord, high) |\n|---|---|---|---|---|---|\n'
for b in $builds; do
  col() { cat "$out/$b".* | awk "$1" | median; }
  printf '| %s | %.2f | %.2f | %.2f | %.2f | %.2f, %.2f |\n' "$b" \
    "$(col '/^chord/ { print $NF }')" "$(col '/^16 voices/ { print $NF }')" \
    "$(col '/^chord/ { print $NF * $4 }')" "$(col '/^16 voices/ { print $NF * $5 }')" \
    "$(col '/^chord/ { print $4 }')" "$(col '/^16 voices/ { print $5 }')"
done
echo "(medians of $rounds rounds; ns per voice-sample at 96 kHz on the path each build chooses)"
