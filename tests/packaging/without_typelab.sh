#!/usr/bin/env bash
# Run inside a sandbox made from the host's files (an overlay of /): whatever typelab the host
# has installed or left behind (a lab machine, a school server, a developer's demo) goes, in the
# sandbox only, so that what follows starts from a machine without typelab.
for pkg in typelab-server typelab; do
  if dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null | grep -q '^[a-z]'; then
    dpkg --purge --force-all "$pkg" >/dev/null 2>&1 || true
  fi
done
rm -rf /opt/typelab /var/lib/typelab /usr/share/typelab /var/lib/typelab-server
for account in student01 student02 typelab typelab-verify; do userdel "$account" 2>/dev/null; done
groupdel typelab 2>/dev/null
! dpkg-query -W -f='${Status}' typelab 2>/dev/null | grep -q installed && ! getent passwd typelab >/dev/null
