#!/usr/bin/env bash
# Runs a test program against a laboratory served over real SMB: in a network namespace of its
# own (only a loopback), one smbd per machine on 127.0.0.(10+N), each serving the share a lab
# machine serves (docs/samba-typelab.conf, its folder moved into the test's), and smbnetfs
# mounting them all through FUSE. The teacher's view of the lab is a folder of links, PC1 … PCn,
# one for each machine's server in the mount, so that PCn/data/stugrade.mdb is the share "data"
# of machine n, as \\PCn\data\stugrade.mdb is in a lab, and a machine that is not there is a
# clear "no such file". Everything it starts is stopped by process id, and nothing stays mounted.
#   with_smb_lab.sh MACHINES PROGRAM [ARGS...]
# The program gets TYPELAB_SMB_LAB (the lab folder: PC prefix in lab/, each machine's shared
# data folder in mN/c/data) and TYPELAB_SMB_SERVERS (the smbd process ids, machine 1 first).
set -u
machines=$1; shift
stanza="$(cd "$(dirname "$0")/../.." && pwd)/docs/samba-typelab.conf"

if [ "${TYPELAB_SMB_INSIDE:-}" != 1 ]; then
  for tool in smbd smbnetfs fusermount unshare ip; do
    command -v "$tool" >/dev/null || { echo "with_smb_lab: $tool is not installed" >&2; exit 1; }
  done
  [ -c /dev/fuse ] || { echo "with_smb_lab: no /dev/fuse" >&2; exit 1; }
  # A network, process ids and mounts of its own: whatever the servers leave behind ends with
  # this script, and the share's mount is seen by nothing outside it. /proc is mounted anew
  # so that it speaks of this namespace's processes (the leak checker reads it).
  exec unshare --net --pid --fork --mount-proc env TYPELAB_SMB_INSIDE=1 "$0" "$machines" "$@"
fi

work=$(mktemp -d)
mnt="$work/mnt"
servers=()
others=()
cleanup() {
  local pid
  fusermount -u -z "$mnt" 2>/dev/null
  # Each smbd leads a process group with the processes serving its connections.
  for pid in "${servers[@]}"; do kill -CONT -- "-$pid" 2>/dev/null; kill -- "-$pid" 2>/dev/null; done
  for pid in "${others[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${servers[@]}" "${others[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

ip link set lo up || { echo "with_smb_lab: cannot bring up the namespace's loopback" >&2; exit 1; }
mkdir -p "$mnt" "$work/lab" "$work/home/.smb"
for n in $(seq "$machines"); do
  m="$work/m$n"
  mkdir -p "$m/c/data" "$m/run" "$m/lock" "$m/state" "$m/cache" "$m/private"
  ip addr add "127.0.0.$((10 + n))/8" dev lo
  cat >"$m/smb.conf" <<CONF
[global]
  interfaces = 127.0.0.$((10 + n))/8
  bind interfaces only = yes
  smb ports = 445
  disable netbios = yes
  server role = standalone server
  map to guest = Bad User
  guest account = root
  pid directory = $m/run
  lock directory = $m/lock
  state directory = $m/state
  cache directory = $m/cache
  private dir = $m/private
  ncalrpc dir = $m/run/ncalrpc
  log file = $m/log
CONF
  sed "s|/var/lib/typelab/share/data|$m/c/data|" "$stanza" >>"$m/smb.conf"
  # In a process group of its own: smbd ends its whole group when it ends.
  smbd --foreground -s "$m/smb.conf" >"$m/out" 2>&1 &
  servers+=($!)
  ln -s "$mnt/127.0.0.$((10 + n))" "$work/lab/PC$n"
done
# A dead share is given up after 3 s, not the client's default 20 s.
cat >"$work/home/.smb/smbnetfs.conf" <<'CONF'
smb_timeout 3000
neg_cache_timeout 1000
CONF
cat >"$work/home/.smb/smb.conf" <<'CONF'
[global]
  client min protocol = SMB2
  disable netbios = yes
  name resolve order = host
CONF
for n in $(seq "$machines"); do
  for _ in $(seq 200); do
    ss -ltnH 2>/dev/null | grep -q "127.0.0.$((10 + n)):445" && break
    sleep 0.05
  done
done
HOME="$work/home" smbnetfs "$mnt" -f >"$work/smbnetfs.log" 2>&1 &
others+=($!)
# Ready when machine 1's share answers through the mount.
for _ in $(seq 200); do [ -d "$work/lab/PC1/data" ] && break; sleep 0.05; done
[ -d "$work/lab/PC1/data" ] || { echo "with_smb_lab: the share did not come up" >&2; cat "$work/smbnetfs.log" "$work/m1/log" >&2 2>/dev/null; exit 1; }

TYPELAB_SMB_LAB="$work" TYPELAB_SMB_SERVERS="${servers[*]}" "$@"
status=$?
[ $status -eq 0 ] || tail -20 "$work/smbnetfs.log" >&2
exit $status
