#!/bin/sh
# Assembles the release packages from the native, win32 and win64 builds:
#   build/dist/Hammerlyn2-<version>-linux-x86_64.tar.gz, -win32.zip, -win64.zip
# each with every format of that system, the factory bank, an install note and
# the licences. Run from the source folder after building the presets
# (make dist does both).
set -eu
version=1.0.0
src=$(pwd)
out=$src/build/dist
rm -rf "$out"
mkdir -p "$out"

common() {  # <package folder>
  mkdir -p "$1/presets"
  cp "$src/presets/Factory.fxb" "$1/presets/"
  cp "$src/LICENSE" "$1/LICENSE"
  cp "$src/README.md" "$1/README.md"
  cp "$src/build/native/dpf/LICENSE" "$1/LICENSE-DPF.txt"
}

# The newest glibc symbol version a Linux binary asks for.
glibc_needed() {
  objdump -T "$@" | sed -n 's/.*GLIBC_\([0-9.]*\).*/\1/p' | sort -t. -k1,1n -k2,2n -k3,3n | tail -n 1
}

# Linux: the C++ runtime must be linked in, and the binaries must be what the
# native build made.
b=$src/build/native
p=$out/Hammerlyn2-$version-linux-x86_64
mkdir -p "$p/vst2" "$p/vst3" "$p/clap" "$p/lv2/Hammerlyn2.lv2"
cp "$b/Hammerlyn2.so" "$p/vst2/"
cp -r "$b/Hammerlyn2.vst3" "$p/vst3/"
cp "$b/Hammerlyn2.clap" "$p/clap/"
for f in manifest.ttl Hammerlyn2_dsp.ttl presets.ttl Hammerlyn2_dsp.so; do
  cp "$b/Hammerlyn2.lv2/$f" "$p/lv2/Hammerlyn2.lv2/"
done
# The standalone application with its desktop entry and icon.
mkdir -p "$p/standalone"
cp "$b/hammerlyn2" "$b/hammerlyn2.png" "$src/standalone/hammerlyn2.desktop" "$p/standalone/"
cp "$b/dpf/distrho/src/jackbridge/rtaudio/LICENSE" "$p/LICENSE-RtAudio.txt"
cp "$b/dpf/distrho/src/jackbridge/rtmidi/LICENSE" "$p/LICENSE-RtMidi.txt"
binaries="$p/vst2/Hammerlyn2.so $p/vst3/Hammerlyn2.vst3/Contents/x86_64-linux/Hammerlyn2.so $p/clap/Hammerlyn2.clap $p/lv2/Hammerlyn2.lv2/Hammerlyn2_dsp.so $p/standalone/hammerlyn2"
# The LV2 panel module, where the build has the X11 editor.
if grep -q Hammerlyn2_ui "$b/Hammerlyn2.lv2/manifest.ttl"; then
  cp "$b/Hammerlyn2.lv2/Hammerlyn2_ui.so" "$b/Hammerlyn2.lv2/Hammerlyn2_ui.ttl" "$p/lv2/Hammerlyn2.lv2/"
  binaries="$binaries $p/lv2/Hammerlyn2.lv2/Hammerlyn2_ui.so"
fi
for f in $binaries; do
  if objdump -p "$f" | grep -E 'NEEDED.*(libstdc\+\+|libgcc_s)' >/dev/null; then
    echo "$f needs a shared C++ runtime" >&2
    exit 1
  fi
done
# shellcheck disable=SC2086
glibc=$(glibc_needed $binaries)
common "$p"
sed "s/@GLIBC@/$glibc/" "$src/formats/dist/INSTALL-linux.txt" > "$p/INSTALL.txt"
(cd "$out" && tar czf "$(basename "$p").tar.gz" "$(basename "$p")")
echo "glibc $glibc or newer: $(basename "$p").tar.gz"

for bits in 32 64; do
  b=$src/build/win$bits
  if [ $bits = 32 ]; then arch=x86; vst3dir='C:\Program Files (x86)\Common Files\VST3\'; clapdir='C:\Program Files (x86)\Common Files\CLAP\'; vst2dir='C:\Program Files (x86)\VstPlugins\'
  else arch=x86_64; vst3dir='C:\Program Files\Common Files\VST3\'; clapdir='C:\Program Files\Common Files\CLAP\'; vst2dir='C:\Program Files\VstPlugins\'; fi
  p=$out/Hammerlyn2-$version-win$bits
  mkdir -p "$p/vst2" "$p/vst3" "$p/clap"
  cp "$b/Hammerlyn2.dll" "$p/vst2/"
  cp -r "$b/Hammerlyn2.vst3" "$p/vst3/"
  cp "$b/Hammerlyn2.clap" "$p/clap/"
  cp "$b/Hammerlyn2.exe" "$p/"
  cp "$b/dpf/distrho/src/jackbridge/rtaudio/LICENSE" "$p/LICENSE-RtAudio.txt"
  cp "$b/dpf/distrho/src/jackbridge/rtmidi/LICENSE" "$p/LICENSE-RtMidi.txt"
  test -f "$p/vst3/Hammerlyn2.vst3/Contents/$arch-win/Hammerlyn2.vst3"
  common "$p"
  sed -e "s/@BITS@/$bits/g" -e "s|@VST3DIR@|$(printf '%s' "$vst3dir" | sed 's/\\/\\\\/g')|" \
      -e "s|@CLAPDIR@|$(printf '%s' "$clapdir" | sed 's/\\/\\\\/g')|" \
      -e "s|@VST2DIR@|$(printf '%s' "$vst2dir" | sed 's/\\/\\\\/g')|" \
      "$src/formats/dist/INSTALL-windows.txt" | sed 's/$/\r/' > "$p/INSTALL.txt"
  (cd "$out" && rm -f "$(basename "$p").zip" && zip -qr "$(basename "$p").zip" "$(basename "$p")")
  echo "$(basename "$p").zip"
done

# The web edition: the page's folder as any static web server serves it.
p=$out/Hammerlyn2-$version-web
cp -r "$src/build/web-site" "$p"
cp "$src/LICENSE" "$p/LICENSE"
cp "$src/web/README.txt" "$p/README.txt"  # how to serve the folder
(cd "$out" && rm -f "$(basename "$p").zip" && zip -qr "$(basename "$p").zip" "$(basename "$p")")
echo "$(basename "$p").zip"
