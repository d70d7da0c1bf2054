#!/bin/sh
# Builds the Windows installer of a win32 or win64 build with NSIS (makensis):
#   make-installer.sh <build folder> <32|64> <output folder> [<debug folder>]
# writes <output folder>/Hammerlyn2-<version>-win<bits>-setup.exe. The binaries
# go in stripped; their debug information goes to <debug folder> (by default
# <output folder>/win<bits>-setup-debug).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
bits=$2
mkdir -p "$3"
out=$(cd "$3" && pwd)
debug=${4:-$out/win$bits-setup-debug}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in $build/CMakeCache.txt" >&2; exit 1; }
if [ "$bits" = 64 ]; then host=x86_64-w64-mingw32; else host=i686-w64-mingw32; fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/app" "$stage/vst3" "$stage/clap" "$stage/vst2"
cp "$build/Hammerlyn2.exe" "$stage/app/"
# The licences with Windows line ends (the licence page shows the first).
crlf() { sed 's/\r*$/\r/' "$1" > "$2"; }
crlf "$here/../LICENSE" "$stage/app/LICENSE.txt"
crlf "$build/dpf/LICENSE" "$stage/app/LICENSE-DPF.txt"
crlf "$build/dpf/distrho/src/jackbridge/rtaudio/LICENSE" "$stage/app/LICENSE-RtAudio.txt"
crlf "$build/dpf/distrho/src/jackbridge/rtmidi/LICENSE" "$stage/app/LICENSE-RtMidi.txt"
cp "$here/../presets/Factory.fxb" "$stage/app/"
cp -r "$build/Hammerlyn2.vst3" "$stage/vst3/"
cp "$build/Hammerlyn2.clap" "$stage/clap/"
cp "$build/Hammerlyn2.dll" "$stage/vst2/"
rm -rf "$debug"
sh "$here/strip-debug.sh" "$host-objcopy" "$debug" "$stage" "$stage/app/Hammerlyn2.exe" "$stage/vst2/Hammerlyn2.dll" \
  "$stage/clap/Hammerlyn2.clap" $(find "$stage/vst3" -type f -name '*.vst3')

# files.nsh: each staged file with the command that installs it and the one
# that removes it, then the folders the installer made inside the plug-in
# folders, deepest first, removed when empty.
nsis_path() { printf '%s' "$1" | tr / '\\'; }
{
  echo '!macro InstallFiles'
  for part in app vst3 clap vst2; do
    case $part in app) dest='$INSTDIR';; vst3) dest='$COMMONFILES\VST3';; clap) dest='$COMMONFILES\CLAP';; vst2) dest='$Vst2Dir';; esac
    (cd "$stage/$part" && find . -type f | LC_ALL=C sort) | while read -r f; do
      f=${f#./}
      dir=$(dirname "$f")
      if [ "$dir" = . ]; then echo "  SetOutPath \"$dest\""; else echo "  SetOutPath \"$dest\\$(nsis_path "$dir")\""; fi
      echo "  File \"$stage/$part/$f\""
    done
  done
  echo '!macroend'
  echo '!macro UninstallFiles'
  for part in app vst3 clap vst2; do
    case $part in app) dest='$INSTDIR';; vst3) dest='$COMMONFILES\VST3';; clap) dest='$COMMONFILES\CLAP';; vst2) dest='$Vst2Dir';; esac
    [ $part = vst2 ] && echo '  ${If} $Vst2Dir != ""'
    (cd "$stage/$part" && find . -type f | LC_ALL=C sort) | while read -r f; do
      echo "  Delete \"$dest\\$(nsis_path "${f#./}")\""
    done
    (cd "$stage/$part" && find . -mindepth 1 -type d | LC_ALL=C sort -r) | while read -r d; do
      echo "  RMDir \"$dest\\$(nsis_path "${d#./}")\""
    done
    [ $part != app ] && echo "  RMDir \"$dest\""
    [ $part = vst2 ] && echo '  ${EndIf}'
  done
  echo '!macroend'
} > "$stage/files.nsh"

setup=$out/Hammerlyn2-$version-win$bits-setup.exe
makensis -V2 -DVERSION="$version" -DBITS="$bits" -DSTAGE="$stage" -DOUTFILE="$setup" "$here/nsis/Hammerlyn2.nsi"
echo "$setup"
