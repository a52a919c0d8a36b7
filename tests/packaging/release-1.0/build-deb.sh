#!/usr/bin/env bash
# The 1.0 release's packaging, kept as it was to build a 1.0 package for the upgrade test:
# builds typelab_<version>_amd64.deb from a build tree and prints its path as the last line.
#   build-deb.sh BUILD_DIR OUTPUT_DIR VERSION
set -euo pipefail
build=$1 out=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root="$stage/root"
app="$root/opt/typelab"

install -d "$app/data" "$app/yw" "$app/zw" "$root/usr/bin" "$root/usr/share/applications" \
  "$root/usr/share/icons/hicolor/scalable/apps" "$root/usr/share/doc/typelab" \
  "$root/usr/share/lintian/overrides" "$root/DEBIAN"
install -m 755 "$build/app/typelab" "$build/app/typelab-admin" "$build/app/typelab-reader" "$app/"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$app/typelab" "$app/typelab-admin" "$app/typelab-reader"
install -m 644 "$build/app/data/help.dat" "$app/data/"
install -m 644 "$build/app/yw/"*.dat "$app/yw/"
install -m 644 "$build/app/zw/"*.dat "$app/zw/"
ln -s /opt/typelab/typelab "$root/usr/bin/typelab"
ln -s /opt/typelab/typelab-admin "$root/usr/bin/typelab-admin"
install -m 644 "$here/typelab.desktop" "$root/usr/share/applications/typelab.desktop"
install -m 644 "$here/typelab.svg" "$root/usr/share/icons/hicolor/scalable/apps/typelab.svg"
install -m 644 "$here/copyright" "$root/usr/share/doc/typelab/copyright"
install -m 644 "$here/lintian-overrides" "$root/usr/share/lintian/overrides/typelab"
cat >"$stage/changelog" <<CHANGELOG
typelab ($version) unstable; urgency=medium

  * Lab release: Debian package, desktop entry, typelab group.

 -- typelab developers <typelab@schools.example.org>  $(date -R -d @"${SOURCE_DATE_EPOCH:-0}")
CHANGELOG
gzip -9n -c "$stage/changelog" >"$root/usr/share/doc/typelab/changelog.gz"
chmod 644 "$root/usr/share/doc/typelab/changelog.gz"
for script in preinst postinst postrm; do
  install -m 755 "$here/$script" "$root/DEBIAN/$script"
done

# Libraries as dpkg-shlibdeps finds them, then what the program needs beyond its libraries:
# the X11 platform plugin, Chinese translations of Qt's own texts, the fonts it draws with, and
# fcitx5 with pinyin and its Qt 6 frontend for Chinese input.
mkdir -p "$stage/debian"
printf 'Source: typelab\n\nPackage: typelab\nArchitecture: amd64\n' >"$stage/debian/control"
libraries=$(cd "$stage" && dpkg-shlibdeps -O -e root/opt/typelab/typelab -e root/opt/typelab/typelab-admin -e root/opt/typelab/typelab-reader 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
# The database engine and the workbook writer are loaded when first needed, so dpkg-shlibdeps
# does not see them: their packages are named from the libraries the build found.
while read -r soname; do
  [ -n "$soname" ] || continue
  path=$(ldconfig -p | awk -v name="$soname" '$1 == name && !found { print $NF; found = 1 }')
  [ -n "$path" ] || { echo "build-deb: $soname is not installed" >&2; exit 1; }
  package=$(dpkg -S "$(readlink -f "$path")" | sed -n "1s/:.*//p")
  libraries="$libraries, $package"
done <"$build/loaded-libraries.txt"
depends="$libraries, qt6-qpa-plugins, qt6-translations-l10n, fonts-noto-cjk, fonts-arphic-ukai, fonts-arphic-uming, fcitx5, fcitx5-chinese-addons, fcitx5-frontend-qt6, adduser"
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
cat >"$root/DEBIAN/control" <<CONTROL
Package: typelab
Version: $version
Architecture: amd64
Maintainer: typelab developers <typelab@schools.example.org>
Installed-Size: $size
Depends: $depends
Section: education
Priority: optional
Description: typing practice and typing tests for a school computer lab
 Students log in for practice or for a test batch and type an English or a
 Chinese text for ten minutes; every character turns green or dark red under
 the character it answers. Speed, accuracy and a score are kept in the
 machine's password-protected grade database, and the teacher collects one
 batch's results from a removable disk or from the numbered lab machines and
 exports them to a spreadsheet. The interface is Simplified Chinese.
CONTROL
(cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 644 "$root/DEBIAN/md5sums" "$root/DEBIAN/control"

mkdir -p "$out"
deb="$out/typelab_${version}_amd64.deb"
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
