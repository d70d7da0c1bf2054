#!/bin/sh
# Strips shipped binaries and keeps their debug information apart:
#   strip-debug.sh <objcopy> <debug folder> <package folder> <binary>...
# Each binary (a path inside the package folder) loses its symbols and debug
# sections; <debug folder>/<same path>.debug keeps them, and the binary names
# that file (.gnu_debuglink), so a debugger given the folder finds it.
set -eu
objcopy=$1 debug=$2 root=$3
shift 3
for f in "$@"; do
  relative=${f#"$root"/}
  mkdir -p "$debug/$(dirname "$relative")"
  keep=$debug/$relative.debug
  "$objcopy" --only-keep-debug "$f" "$keep"
  chmod 644 "$keep"
  # The link is made from the debug file's folder: it records the name alone.
  "$objcopy" --strip-unneeded --remove-section=.comment --remove-section=.note \
    --add-gnu-debuglink="$keep" "$f"
done
