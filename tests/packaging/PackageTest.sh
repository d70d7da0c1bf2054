#!/bin/sh
# The Debian package of a native build, built and unpacked as a user gets it:
#   PackageTest.sh <build folder> <work folder>
# lintian finds no error or warning; the files are where hosts and desktops
# look; the metainfo is valid AppStream; lv2ls finds the LV2 bundle; each module
# exports its format's entry points only; the installed render tool finds its
# plug-in and renders the demo to the same samples as the unstripped build.
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
work=$2
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }
deb=$(sh "$src/packaging/make-deb.sh" "$build" "$work" | tail -n 1)
lintian --fail-on error,warning "$deb" || fail "lintian"
dpkg-deb -x "$deb" "$work/root"
r=$work/root

(cd "$r" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) > "$work/files"
LC_ALL=C sort > "$work/expected" <<'LIST'
usr/bin/hammerlyn2
usr/bin/hammerlyn2-render
usr/lib/clap/Hammerlyn2.clap
usr/lib/lv2/Hammerlyn2.lv2/Hammerlyn2_dsp.so
usr/lib/lv2/Hammerlyn2.lv2/Hammerlyn2_dsp.ttl
usr/lib/lv2/Hammerlyn2.lv2/Hammerlyn2_ui.so
usr/lib/lv2/Hammerlyn2.lv2/Hammerlyn2_ui.ttl
usr/lib/lv2/Hammerlyn2.lv2/manifest.ttl
usr/lib/lv2/Hammerlyn2.lv2/presets.ttl
usr/lib/vst/Hammerlyn2.so
usr/lib/vst3/Hammerlyn2.vst3/Contents/x86_64-linux/Hammerlyn2.so
usr/share/applications/hammerlyn2.desktop
usr/share/doc/hammerlyn2/changelog.gz
usr/share/doc/hammerlyn2/copyright
usr/share/hammerlyn2/Factory.fxb
usr/share/icons/hicolor/128x128/apps/hammerlyn2.png
usr/share/icons/hicolor/256x256/apps/hammerlyn2.png
usr/share/icons/hicolor/48x48/apps/hammerlyn2.png
usr/share/man/man1/hammerlyn2-render.1.gz
usr/share/man/man1/hammerlyn2.1.gz
usr/share/metainfo/com.quillfeather.hammerlyn2.metainfo.xml
LIST
diff "$work/expected" "$work/files" || fail "the package's files differ from the list"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
grep -q "release version=\"$version\"" "$r/usr/share/metainfo/com.quillfeather.hammerlyn2.metainfo.xml" ||
  fail "the metainfo's release is not $version"
appstreamcli validate --no-net "$r/usr/share/metainfo/com.quillfeather.hammerlyn2.metainfo.xml" || fail "appstreamcli"
[ "$(LV2_PATH=$r/usr/lib/lv2 lv2ls)" = urn:quillfeather:hammerlyn2 ] || fail "lv2ls does not list the bundle"

for check in vst/Hammerlyn2.so:VSTPluginMain,main clap/Hammerlyn2.clap:clap_entry \
    vst3/Hammerlyn2.vst3/Contents/x86_64-linux/Hammerlyn2.so:GetPluginFactory,ModuleEntry,ModuleExit \
    lv2/Hammerlyn2.lv2/Hammerlyn2_dsp.so:lv2_descriptor,lv2_generate_ttl lv2/Hammerlyn2.lv2/Hammerlyn2_ui.so:lv2ui_descriptor; do
  module=$r/usr/lib/${check%%:*}
  readelf -S "$module" | grep -q '\.symtab' && fail "$module is not stripped"
  cmake -DOBJDUMP=objdump -DMODULE="$module" "-DEXPORTS=$(echo "${check#*:}" | tr , ';')" -DWINDOWS=OFF \
    -P "$src/tests/formats/CheckModule.cmake" >/dev/null || fail "exports of $module"
done

"$r/usr/bin/hammerlyn2-render" -q -o "$work/installed.wav" || fail "the installed render tool"
"$build/tools/hammerlyn2-render" -q -o "$work/built.wav"
cmp "$work/installed.wav" "$work/built.wav" || fail "the packaged plug-in renders other samples than the built one"
echo "package $(basename "$deb"): lintian, files, metainfo, lv2ls, exports and render as expected"
