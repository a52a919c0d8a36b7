#!/usr/bin/env bash
# Checks the Debian package as a lab administrator would meet it: its files and links, its
# dependencies, lintian, its maintainer scripts, the store service's bus files, and the program
# unpacked from it starting offscreen with its store beside it. Given the school server's package
# too, checks that one's files, dependencies, postinst and lintian.
#   test_package.sh SOURCE_DIR DEB [SERVER_DEB]
set -u
source_dir=$1 deb=$2 server_deb=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {   # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@" >"$work/last.log" 2>&1; then echo "ok: $what"; else echo "FAILED: $what"; cat "$work/last.log"; failures=$((failures + 1)); fi
}

version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
check "package built as typelab_${version}_amd64.deb" test "$(basename "$deb")" = "typelab_${version}_amd64.deb"
check "the package's version is the project's" \
  grep -q "^project(typelab VERSION $version " "$source_dir/CMakeLists.txt"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/files"
expected=(opt/typelab/typelab opt/typelab/typelab-admin opt/typelab/typelab-reader opt/typelab/typelab-store
          opt/typelab/typelab-charts.so
          usr/share/typelab/data/help.dat usr/bin/typelab usr/bin/typelab-admin
          usr/share/applications/typelab.desktop usr/share/icons/hicolor/scalable/apps/typelab.svg
          usr/share/doc/typelab/copyright usr/share/doc/typelab/changelog.gz usr/share/doc/typelab/samba-typelab.conf
          usr/share/dbus-1/system.d/org.typelab.Store.conf usr/share/dbus-1/system-services/org.typelab.Store.service
          usr/share/dbus-1/interfaces/org.typelab.Store1.xml usr/share/dbus-1/interfaces/org.typelab.Outbox1.xml
          usr/share/dbus-1/system-services/org.typelab.Forward.service opt/typelab/typelab-forward
          lib/systemd/system/typelab-forward.service
          lib/systemd/system/typelab-store.service usr/lib/tmpfiles.d/typelab.conf)
for n in 0 1 2 3 4 5 6 7 8 9; do expected+=(usr/share/typelab/yw/ydzcs$n.dat usr/share/typelab/zw/cdzcs$n.dat); done
for file in "${expected[@]}"; do check "ships $file" grep -qx "$file" "$work/files"; done
check "ships no grade database" bash -c "! grep -q stugrade.mdb '$work/files'"
check "ships nothing of the school server" bash -c "! grep -q typelab-server '$work/files'"
check "ships nothing under /var/lib/typelab (the postinst makes it)" bash -c "! grep -q '^var/' '$work/files'"
dpkg-deb -c "$deb" | awk '$1 ~ /^l/ {print $6, $8}' | sed 's|^\./||' >"$work/links"
for link in "opt/typelab/yw /var/lib/typelab/yw" "opt/typelab/zw /var/lib/typelab/zw" \
            "opt/typelab/data/help.dat /var/lib/typelab/data/help.dat" "usr/bin/typelab /opt/typelab/typelab" \
            "usr/bin/typelab-admin /opt/typelab/typelab-admin" \
            "opt/typelab/data/school-ca.crt /var/lib/typelab/data/school-ca.crt"; do
  check "links ${link% *} to ${link#* }" grep -qx "$link" "$work/links"
done
check "no file has group write or setgid" bash -c "! dpkg-deb -c '$deb' | awk '\$1 !~ /^l/ {print \$1}' | grep -E '^.{5}w|^.{6}[sS]'"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6dbus6 libqt6charts6 libsqlcipher0 libxlsxwriter4 libssl3 qt6-qpa-plugins qt6-translations-l10n \
               fonts-noto-cjk fonts-arphic-ukai fonts-arphic-uming fcitx5 fcitx5-chinese-addons fcitx5-frontend-qt6 \
               adduser default-dbus-system-bus; do
  check "depends on $package" grep -qE "(^|, | \| )$package( |,|$)" <<<"$depends"
done

dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
desktop="$work/root/usr/share/applications/typelab.desktop"
check "desktop entry named 录入练习测试" grep -qx 'Name=录入练习测试' "$desktop"
check "desktop entry in Education" grep -qx 'Categories=Education;' "$desktop"
for binary in typelab typelab-admin typelab-reader typelab-store typelab-forward typelab-charts.so; do
  check "$binary is stripped" bash -c "! readelf -S '$work/root/opt/typelab/$binary' | grep -q '\.symtab'"
  check "$binary does not load libpq at start" bash -c "! readelf -d '$work/root/opt/typelab/$binary' | grep -q 'libpq'"
done
for script in preinst postinst prerm postrm; do
  check "$script passes sh -n" sh -n "$work/control/$script"
done
check "the upgrade turns yw and zw into links with dpkg-maintscript-helper" \
  grep -q 'dpkg-maintscript-helper dir_to_symlink /opt/typelab/yw /var/lib/typelab/yw' "$work/control/preinst"
check "nothing starts the store at installation" bash -c "! grep -E 'deb-systemd-invoke (start|restart)' '$work/control/postinst'"

activation="$work/root/usr/share/dbus-1/system-services/org.typelab.Store.service"
for line in Name=org.typelab.Store "Exec=/opt/typelab/typelab-store --system" User=typelab \
            SystemdService=typelab-store.service; do
  check "the activation file says $line" grep -qx "$line" "$activation"
done
unit="$work/root/lib/systemd/system/typelab-store.service"
for line in Type=dbus BusName=org.typelab.Store "ExecStart=/opt/typelab/typelab-store --system" User=typelab \
            ProtectSystem=strict ReadWritePaths=/var/lib/typelab ProtectHome=yes PrivateTmp=yes NoNewPrivileges=yes \
            UMask=0077; do
  check "the unit says $line" grep -qx "$line" "$unit"
done
if ! command -v systemd-analyze >/dev/null; then
  echo "skipped: systemd-analyze is not installed, so the unit's keys are not checked by systemd"
else
  # Outside an installed machine it only misses the program itself.
  check "systemd-analyze finds nothing wrong in the unit" \
    bash -c "! systemd-analyze verify --man=no '$unit' 2>&1 | grep -v 'typelab-store is not executable' | grep ."
fi
forward_activation="$work/root/usr/share/dbus-1/system-services/org.typelab.Forward.service"
for line in Name=org.typelab.Forward "Exec=/opt/typelab/typelab-forward --system" User=typelab \
            SystemdService=typelab-forward.service; do
  check "the forwarder's activation file says $line" grep -qx "$line" "$forward_activation"
done
forward_unit="$work/root/lib/systemd/system/typelab-forward.service"
for line in Type=dbus BusName=org.typelab.Forward User=typelab TemporaryFileSystem=/var/lib/typelab:ro \
            BindReadOnlyPaths=-/var/lib/typelab/server ProtectSystem=strict NoNewPrivileges=yes \
            "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6"; do
  check "the forwarder's unit says $line" grep -qx "$line" "$forward_unit"
done
check "the store's unit keeps it off the network" grep -qx PrivateNetwork=yes "$unit"
policy="$work/root/usr/share/dbus-1/system.d/org.typelab.Store.conf"
check "only typelab owns the store's and the forwarder's names and reaches the outbox" \
  python3 -c 'import sys, xml.etree.ElementTree as T
r = T.parse(sys.argv[1]).getroot()
owners = [(p.attrib, a.attrib["own"]) for p in r.iter("policy") for a in p.iter("allow") if "own" in a.attrib]
assert owners == [({"user": "typelab"}, "org.typelab.Store"), ({"user": "typelab"}, "org.typelab.Forward")], owners
outbox = [p.attrib for p in r.iter("policy") for a in p.iter("allow") if a.attrib.get("send_interface") == "org.typelab.Outbox1"]
assert outbox == [{"user": "typelab"}], outbox
calls = {a.attrib.get("send_interface") for p in r.iter("policy") if p.attrib == {"context": "default"}
         for a in p.iter("allow") if a.attrib.get("send_destination") == "org.typelab.Store"}
assert calls == {"org.typelab.Store1", "org.freedesktop.DBus.Introspectable", "org.freedesktop.DBus.Peer"}, calls' "$policy"
check "tmpfiles.d makes /var/lib/typelab typelab's, 0755" \
  grep -qE '^d /var/lib/typelab +0755 typelab typelab' "$work/root/usr/lib/tmpfiles.d/typelab.conf"
check "lintian finds no errors" lintian --fail-on error --suppress-tags no-manual-page "$deb"

# The unpacked program with no system bus: it starts typelab-store beside itself, which makes
# its own tables next to the grade database.
app="$work/app"
cp -R "$work/root/opt/typelab" "$app"
rm "$app/yw" "$app/zw" "$app/data/help.dat"
cp -R "$work/root/usr/share/typelab/." "$app/"
check "the unpacked typelab-admin makes a grade database" \
  "$app/typelab-admin" init --user admin --password 123456 --second-password 888888 "$app/data/stugrade.mdb"
check "the unpacked program starts offscreen" \
  env -u DBUS_SYSTEM_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-bus QT_QPA_PLATFORM=offscreen \
  TYPELAB_QUIT_WHEN_SHOWN=1 timeout 60 "$app/typelab"
check "next to its store, which made its tables there" test -s "$app/data/typelab-store.db"

if [ -n "$server_deb" ]; then
  check "server package built as typelab-server_${version}_amd64.deb" \
    test "$(basename "$server_deb")" = "typelab-server_${version}_amd64.deb"
  dpkg-deb -c "$server_deb" | awk '{print $6}' | sed 's|^\./||' >"$work/server-files"
  for file in usr/sbin/typelab-server usr/share/typelab-server/migrations/0001_results.sql \
              usr/share/doc/typelab-server/copyright usr/share/doc/typelab-server/changelog.gz; do
    check "the server package ships $file" grep -qx "$file" "$work/server-files"
  done
  check "the server package ships nothing of the lab machine's" \
    bash -c "! grep -E '^(opt/|usr/bin/|var/|usr/share/typelab/|usr/share/dbus-1/.+)' '$work/server-files' | grep ."
  server_depends=$(dpkg-deb -f "$server_deb" Depends)
  for package in postgresql openssl libpq5 libqt6core6; do
    check "the server package depends on $package" grep -qE "(^|, | \| )$package( |,|$)" <<<"$server_depends"
  done
  dpkg-deb -x "$server_deb" "$work/server-root"
  dpkg-deb -e "$server_deb" "$work/server-control"
  check "the shipped migrations are the source's" \
    diff -r "$source_dir/server/migrations" "$work/server-root/usr/share/typelab-server/migrations"
  check "typelab-server is stripped" bash -c "! readelf -S '$work/server-root/usr/sbin/typelab-server' | grep -q '\.symtab'"
  check "the server's postinst passes sh -n" sh -n "$work/server-control/postinst"
  check "the server's postinst runs typelab-server migrate" \
    grep -q '^ *if ! typelab-server migrate' "$work/server-control/postinst"
  check "the unpacked typelab-server has nothing to migrate where setup never ran" \
    bash -c "'$work/server-root/usr/sbin/typelab-server' migrate --state-dir '$work/no-state' | grep -q 'nothing to migrate'"
  check "lintian finds no errors in the server package" lintian --fail-on error --suppress-tags no-manual-page "$server_deb"
fi

[ "$failures" -eq 0 ] && echo "package: every check passed" || echo "package: $failures checks failed"
[ "$failures" -eq 0 ]
