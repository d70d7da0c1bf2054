#!/bin/sh
# The Windows installer under Wine, in a prefix of its own:
#   InstallerTest.sh <setup.exe> <32|64>
# /S installs every file where it belongs and registers the uninstaller; a
# second install with another VST 2 folder replaces the first without leaving
# its DLL behind; the uninstaller /S removes every file, folder, shortcut and
# the registry entry, and keeps the user's saved sound.
set -eu
setup=$1 bits=$2
WINEPREFIX=$(mktemp -d) WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
trap 'wineserver -k 2>/dev/null; rm -rf "$WINEPREFIX"' EXIT
wineboot --init >/dev/null 2>&1
wineserver -w
c=$WINEPREFIX/drive_c
if [ "$bits" = 64 ]; then pf="$c/Program Files" arch=x86_64 view=64; else pf="$c/Program Files (x86)" arch=x86 view=32; fi
key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hammerlyn2-win$bits"
fail() { echo "FAILED: $*" >&2; exit 1; }
installed() {  # <VST 2 folder under C:\, as Windows writes it>
  vst2=$(printf '%s' "$1" | tr '\\' /)
  for f in "$pf/Hammerlyn2/Hammerlyn2.exe" "$pf/Hammerlyn2/Uninstall.exe" "$pf/Hammerlyn2/LICENSE.txt" \
           "$pf/Common Files/VST3/Hammerlyn2.vst3/Contents/$arch-win/Hammerlyn2.vst3" \
           "$pf/Common Files/CLAP/Hammerlyn2.clap" "$c/$vst2/Hammerlyn2.dll" \
           "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Hammerlyn2 ($bits-bit).lnk"; do
    [ -f "$f" ] || fail "missing after install: $f"
  done
  wine reg query "$key" /v Vst2Folder "/reg:$view" 2>/dev/null | tr -d '\r' | grep -qixF "    Vst2Folder    REG_SZ    C:\\$1" ||
    fail "no uninstall entry naming the VST 2 folder $1"
}

wine "$setup" /S '/VST2DIR=C:\Audio\VST2'
wineserver -w
installed 'Audio\VST2'
wine "$setup" /S '/VST2DIR=C:\Audio\Plugins'
wineserver -w
installed 'Audio\Plugins'
[ ! -e "$c/Audio/VST2" ] || fail "the earlier VST 2 folder stayed: $(ls "$c/Audio/VST2")"

saved="$c/users/$(whoami)/AppData/Roaming/Hammerlyn2/sound.state"
mkdir -p "$(dirname "$saved")" && echo sound > "$saved"
# The uninstaller copies itself to a temporary folder and returns at once.
wine "$pf/Hammerlyn2/Uninstall.exe" /S
wineserver -w
left=$(find "$c" -iname '*hammerlyn2*' ! -path "$(dirname "$saved")*")
[ -z "$left" ] || fail "left after uninstall: $left"
[ ! -e "$c/Audio/Plugins" ] || fail "the VST 2 folder, empty, stayed"
! wine reg query "$key" "/reg:$view" >/dev/null 2>&1 || fail "the uninstall entry stayed"
[ -f "$saved" ] || fail "the saved sound was removed"
echo "win$bits installer: installed, replaced and removed cleanly"
