#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it as a lab administrator would meet it:
# its files, its dependencies, lintian, its maintainer scripts, and the program unpacked from it
# starting against a grade database made by the unpacked typelab-admin.
#   test_package.sh SOURCE_DIR BUILD_DIR
set -u
source_dir=$1 build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {   # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@" >"$work/last.log" 2>&1; then echo "ok: $what"; else echo "FAILED: $what"; cat "$work/last.log"; failures=$((failures + 1)); fi
}

deb=$("$source_dir/packaging/build-deb.sh" "$build_dir" "$work/out" 1.0 | tail -n 1)
check "package built as typelab_1.0_amd64.deb" test "$(basename "$deb")" = typelab_1.0_amd64.deb

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/files"
expected=(opt/typelab/typelab opt/typelab/typelab-admin opt/typelab/typelab-reader opt/typelab/data/help.dat usr/bin/typelab usr/bin/typelab-admin
          usr/share/applications/typelab.desktop usr/share/icons/hicolor/scalable/apps/typelab.svg
          usr/share/doc/typelab/copyright)
for n in 0 1 2 3 4 5 6 7 8 9; do expected+=(opt/typelab/yw/ydzcs$n.dat opt/typelab/zw/cdzcs$n.dat); done
for file in "${expected[@]}"; do check "ships $file" grep -qx "$file" "$work/files"; done
check "ships no grade database" bash -c "! grep -q stugrade.mdb '$work/files'"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libsqlcipher0 libxlsxwriter4 qt6-qpa-plugins fonts-noto-cjk fcitx5 fcitx5-chinese-addons \
               fcitx5-frontend-qt6 adduser; do
  check "depends on $package" grep -qE "(^|, )$package( |,|$)" <<<"$depends"
done

dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
desktop="$work/root/usr/share/applications/typelab.desktop"
check "desktop entry named 录入练习测试" grep -qx 'Name=录入练习测试' "$desktop"
check "desktop entry in Education" grep -qx 'Categories=Education;' "$desktop"
for binary in typelab typelab-admin typelab-reader; do
  check "$binary is stripped" bash -c "! readelf -S '$work/root/opt/typelab/$binary' | grep -q '\.symtab'"
done
for script in preinst postinst postrm; do
  check "$script passes sh -n" sh -n "$work/control/$script"
done
check "lintian finds no errors" lintian --fail-on error --suppress-tags no-manual-page "$deb"

app="$work/root/opt/typelab"
check "the unpacked typelab-admin makes a grade database" \
  "$app/typelab-admin" init --user admin --password 123456 --second-password 888888 "$app/data/stugrade.mdb"
check "the unpacked program starts offscreen" \
  env QT_QPA_PLATFORM=offscreen TYPELAB_QUIT_WHEN_SHOWN=1 timeout 60 "$app/typelab"

[ "$failures" -eq 0 ] && echo "package: every check passed" || echo "package: $failures checks failed"
[ "$failures" -eq 0 ]
