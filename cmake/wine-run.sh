#!/bin/sh
# Runs a cross-built Windows test under Wine with a private, quiet prefix.
: "${WINEPREFIX:=${HOME:-/tmp}/.hammerlyn2-wine}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Tests started together (ctest -j, test discovery in a parallel build) would
# each create a missing prefix and its server at once, and one of them fails.
# The first creates it under a lock and waits for its server to finish; the
# others wait for the lock and find the prefix made.
ready="$WINEPREFIX/.hammerlyn2-ready"
if [ ! -e "$ready" ]; then
  mkdir -p "$WINEPREFIX"
  flock "$WINEPREFIX/.hammerlyn2-lock" sh -c \
    '[ -e "$1" ] || { wineboot --init >/dev/null 2>&1 && wineserver -w && touch "$1"; }' sh "$ready" || exit 1
fi
exec wine "$@"
