#!/usr/bin/env bash
# The verifier as the typelab-server package installs it: its unit (run as typelab-verify,
# restarted on failure, sandboxed, waiting for setup), the postinst that makes its user before
# debhelper's lines start the unit, and lintian on the package.
#   test_server_package.sh SERVER_DEB
set -u
server_deb=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {   # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@" >"$work/last.log" 2>&1; then echo "ok: $what"; else echo "FAILED: $what"; cat "$work/last.log"; failures=$((failures + 1)); fi
}

dpkg-deb -x "$server_deb" "$work/root"
dpkg-deb -e "$server_deb" "$work/control"
unit="$work/root/lib/systemd/system/typelab-verify.service"
check "the package ships typelab-verify.service" test -f "$unit"
for line in "ExecStart=/usr/sbin/typelab-server verify" "User=typelab-verify" "Restart=on-failure" \
            "ConditionPathExists=/var/lib/typelab-server/server.conf" "ProtectSystem=strict" "NoNewPrivileges=yes" \
            "PrivateNetwork=yes" "CapabilityBoundingSet=" "WantedBy=multi-user.target"; do
  check "the unit says $line" grep -qx "$line" "$unit"
done
if command -v systemd-analyze >/dev/null; then
  check "systemd-analyze finds nothing wrong in the unit" \
    bash -c "! systemd-analyze verify --man=no '$unit' 2>&1 | grep -v 'typelab-server is not executable' | grep ."
fi
check "the package depends on adduser" grep -qE "(^|, )adduser(,|$)" <<<"$(dpkg-deb -f "$server_deb" Depends)"
postinst="$work/control/postinst"
check "the postinst passes sh -n" sh -n "$postinst"
user_line=$(grep -n 'adduser --system .*typelab-verify' "$postinst" | head -1 | cut -d: -f1)
start_line=$(grep -n 'deb-systemd-invoke .*typelab-verify.service' "$postinst" | head -1 | cut -d: -f1)
check "the postinst makes the user typelab-verify" test -n "$user_line"
check "the postinst enables the unit" grep -q "deb-systemd-helper enable 'typelab-verify.service'" "$postinst"
check "the postinst starts the unit (restarts it on upgrade)" test -n "$start_line"
check "the user is made before the unit starts" test "${user_line:-0}" -lt "${start_line:-0}"
check "lintian finds no errors or warnings in the server package" \
  lintian --fail-on error,warning --suppress-tags no-manual-page "$server_deb"

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
