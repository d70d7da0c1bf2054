#!/bin/sh
# Strips shipped binaries and keeps their debug information apart:
#   strip-debug.sh <objcopy> <debug folder> <package folder> <binary>...
# Each binary (a path inside the package folder) loses its symbols and debug
# sections; <debug folder>/<same path>.debug keeps them, and the binary names
# that file (.gnu_debuglink), so a debugger given the folder finds it.
set -eu
objcopy=$1 debug=$2 root=$3
# objcopy stamps Windows binaries with this time: the source's last commit, so
# that the same build strips to the same bytes (the zips and the installers).
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$(dirname "$0")" log -1 --format=%ct 2>/dev/null || echo 0)
fi
export SOURCE_DATE_EPOCH
shift 3
# A Windows binary keeps its exports in its export table, so every symbol goes;
# a Linux one keeps what relocations need (its dynamic symbols stay anyway).
case $objcopy in *mingw32*) strip=--strip-all;; *) strip=--strip-unneeded;; esac
for f in "$@"; do
  relative=${f#"$root"/}
  mkdir -p "$debug/$(dirname "$relative")"
  keep=$debug/$relative.debug
  "$objcopy" --only-keep-debug "$f" "$keep"
  chmod 644 "$keep"
  # The link records the debug file's name alone, with its checksum.
  "$objcopy" $strip --remove-section=.comment --remove-section=.note \
    --add-gnu-debuglink="$keep" "$f"
done
