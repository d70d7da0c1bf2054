#!/bin/sh
# Builds the Debian package of a native Linux build with Debian's own tools:
#   make-deb.sh <build folder> <output folder> [<debug folder>]
# writes <output folder>/hammerlyn2_<version>_amd64.deb; the binaries' debug
# information goes to <debug folder> (by default <output folder>/deb-debug).
# One package holds every format, the application and the render tool (see
# README, Installing). dpkg-shlibdeps needs the stub debian/control of this
# folder; the tree is no Debian source package (no debian/ at its top), which
# is why these files live here, beside the installers' and the man pages.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
debug=${3:-$out/deb-debug}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in $build/CMakeCache.txt" >&2; exit 1; }
# The release date: the source's last commit (reproducible), else today.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$here" log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH
day=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Laid out as dpkg-shlibdeps expects: debian/control and debian/<package>.
root=$work/debian/hammerlyn2
mkdir -p "$root"
cp "$here/debian/control" "$work/debian/control"
rm -rf "$debug"
mkdir -p "$debug"

install_file() {  # <mode> <source> <destination inside the package>
  mkdir -p "$root/$(dirname "$3")"
  cp "$2" "$root/$3"
  chmod "$1" "$root/$3"
}
substitute() {  # <template> : the version and the date filled in
  sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$2/g" "$1"
}

# The formats where Debian's plug-in packages put them, which hosts scan.
install_file 644 "$build/Hammerlyn2.so" usr/lib/vst/Hammerlyn2.so
install_file 644 "$build/Hammerlyn2.vst3/Contents/x86_64-linux/Hammerlyn2.so" \
  usr/lib/vst3/Hammerlyn2.vst3/Contents/x86_64-linux/Hammerlyn2.so
install_file 644 "$build/Hammerlyn2.clap" usr/lib/clap/Hammerlyn2.clap
for f in manifest.ttl Hammerlyn2_dsp.ttl presets.ttl Hammerlyn2_dsp.so Hammerlyn2_ui.ttl Hammerlyn2_ui.so; do
  [ -f "$build/Hammerlyn2.lv2/$f" ] && install_file 644 "$build/Hammerlyn2.lv2/$f" "usr/lib/lv2/Hammerlyn2.lv2/$f"
done
# The application and the render tool (which finds the VST 2 module in ../lib/vst).
install_file 755 "$build/hammerlyn2" usr/bin/hammerlyn2
install_file 755 "$build/tools/hammerlyn2-render" usr/bin/hammerlyn2-render
install_file 644 "$here/../standalone/hammerlyn2.desktop" usr/share/applications/hammerlyn2.desktop
for size in 48 128 256; do
  install_file 644 "$build/icons/hicolor/${size}x$size/apps/hammerlyn2.png" \
    "usr/share/icons/hicolor/${size}x$size/apps/hammerlyn2.png"
done
mkdir -p "$root/usr/share/metainfo" "$root/usr/share/man/man1" "$root/usr/share/doc/hammerlyn2"
substitute "$here/com.quillfeather.hammerlyn2.metainfo.xml.in" "$day" \
  > "$root/usr/share/metainfo/com.quillfeather.hammerlyn2.metainfo.xml"
for page in hammerlyn2 hammerlyn2-render; do
  substitute "$here/man/$page.1.in" "$day" | gzip -9n > "$root/usr/share/man/man1/$page.1.gz"
done
install_file 644 "$here/../presets/Factory.fxb" usr/share/hammerlyn2/Factory.fxb
install_file 644 "$here/debian/copyright" usr/share/doc/hammerlyn2/copyright
substitute "$here/debian/changelog.in" "$(date -u -R -d "@$SOURCE_DATE_EPOCH")" |
  gzip -9n > "$root/usr/share/doc/hammerlyn2/changelog.gz"
chmod 644 "$root/usr/share/metainfo"/* "$root/usr/share/man/man1"/* "$root/usr/share/doc/hammerlyn2"/*

binaries=$(find "$root/usr" -type f \( -name '*.so' -o -name '*.clap' -o -path '*/usr/bin/*' \) | sort)
# shellcheck disable=SC2086
sh "$here/strip-debug.sh" objcopy "$debug" "$root" $binaries

# Depends from the libraries the binaries link (the DEBIAN folder marks the
# package's root for dpkg-shlibdeps).
mkdir -p "$root/DEBIAN"
# shellcheck disable=SC2086
depends=$(cd "$work" && dpkg-shlibdeps -O $(echo "$binaries" | sed "s|^$work/||") |
  sed -n 's/^shlibs:Depends=//p')
size=$(du -sk --apparent-size "$root/usr" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
  "$here/debian/hammerlyn2.control" > "$root/DEBIAN/control"
(cd "$root" && find usr -type f | LC_ALL=C sort | xargs md5sum > DEBIAN/md5sums)
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
find "$root" -type d -exec chmod 755 {} +
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

deb=$out/hammerlyn2_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
