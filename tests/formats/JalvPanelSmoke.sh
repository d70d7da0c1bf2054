#!/bin/sh
# jalv.gtk3 (Debian's jalv) opens the LV2 build's panel at its size: the host's
# window and the panel's window in it are both 512 x 272, and 1024 x 544 (the
# 200 % panel) when GTK scales the host by 2 (GDK_SCALE=2). Run under an X
# server of its own (xvfb-run), with a JACK server of its own on the dummy
# backend.
#   JalvPanelSmoke.sh <the Hammerlyn2.lv2 bundle folder>
set -u
work=$(mktemp -d)
jack=""
jalv=""
finish() {
  [ -n "$jalv" ] && kill "$jalv" 2>/dev/null
  [ -n "$jack" ] && kill "$jack" 2>/dev/null
  wait
  rm -rf "$work"
}
trap finish EXIT
mkdir "$work/lv2" && cp -r "$1" "$work/lv2/" || exit 1
server="hammerlyn2-test-$$"
export LV2_PATH="$work/lv2" JACK_DEFAULT_SERVER="$server" JACK_NO_AUDIO_RESERVATION=1
jackd -n "$server" -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jack=$!
sleep 0.5
status=0
for run in "1 512x272" "2 1024x544"; do
  set -- $run
  GDK_SCALE=$1 jalv.gtk3 -n hammerlyn2 urn:quillfeather:hammerlyn2 >"$work/jalv.log" 2>&1 &
  jalv=$!
  # The host's window is the top-level window named after the plug-in.
  top=""
  for i in $(seq 100); do
    top=$(xwininfo -root -children 2>/dev/null | awk '/"Hammerlyn2"/ {print $1; exit}')
    [ -n "$top" ] && break
    sleep 0.1
  done
  if [ -z "$top" ]; then
    echo "jalv.gtk3 opened no window"; cat "$work/jackd.log" "$work/jalv.log"; exit 1
  fi
  sleep 1
  tree=$(xwininfo -id "$top" -tree)
  size=$(xwininfo -id "$top" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
  echo "GDK_SCALE=$1: host window $size"
  echo "$tree" | grep -E "^ +0x" | sed 's/^ */  /'
  [ "$size" = "$2" ] || { echo "the host's window is $size, not $2"; status=1; }
  # The innermost window is the panel's own.
  panel=$(echo "$tree" | awk '/^ +0x/ {match($0, /^ +/); if (RLENGTH > depth) {depth = RLENGTH; deepest = $0}} END {print deepest}' |
    grep -o '[0-9]*x[0-9]*+' | head -1 | tr -d +)
  [ "$panel" = "$2" ] || { echo "the panel's window is $panel, not $2"; status=1; }
  kill "$jalv"
  wait "$jalv" 2>/dev/null
  jalv=""
  sleep 0.3
done
exit $status
