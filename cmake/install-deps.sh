#!/bin/sh
# Installs the Debian packages the build and the tests need. As root it installs
# what is missing; otherwise it names the missing packages and fails.
# With "demo": only what make demo needs (the VST 2 build and the render tool).
set -e
demo_packages="cmake make g++ pkg-config libsndfile1-dev"
packages="cmake make g++ pkg-config googletest libgtest-dev libbenchmark-dev
 g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
 wine wine32:i386 wine64 xvfb xauth libx11-dev libxtst-dev
 libjack-dev jackd1 libasound2-dev libpulse-dev pulseaudio pulseaudio-utils
 libsndfile1-dev libpng-dev sox libstk-dev
 clang libclang-rt-14-dev
 dpf-source lv2-dev sordi locales patch ardour zip binutils jalv jackd1 x11-utils
 emscripten chromium
 dpkg-dev lintian appstream nsis lilv-utils"
# The packages and their tests: dpkg-deb and dpkg-shlibdeps, lintian,
# appstreamcli, makensis, and lv2ls to find the packaged LV2 bundle.
# The standalone application: JACK's headers, ALSA and PulseAudio for DPF's
# RtAudio/RtMidi; its tests run Debian's JACK1 server (jackd1: jackd2 would
# take libjack-dev and the packages built on it away).
# The web edition's tests run Chromium from Node.js; any Node.js from 18 on does.
command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || packages="$packages nodejs npm"

# The state tests run under a decimal-comma locale.
need_locale=""
locale -a 2>/dev/null | grep -qix 'de_DE.utf-\{0,1\}8' || need_locale=1
if [ "${1:-}" = demo ]; then
  packages=$demo_packages
  need_locale=""
fi

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && [ -z "$need_locale" ] && exit 0

if [ "$(id -u)" != 0 ]; then
  [ -n "$missing" ] && echo "Missing Debian packages:$missing" >&2
  [ -n "$need_locale" ] && echo "Missing locale de_DE.UTF-8 (enable it in /etc/locale.gen and run locale-gen)" >&2
  echo "Install them as root (i386 packages need 'dpkg --add-architecture i386' and 'apt-get update' first)," >&2
  echo "or run this command as root to install them." >&2
  exit 1
fi

if [ -n "$missing" ]; then
echo "Installing:$missing"
case "$missing" in
  *:i386*)
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
esac
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
fi

if [ -n "$need_locale" ]; then
  sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen
fi
