#!/usr/bin/env bash
# Start-up of the installed program against the peer typing tutor, on a lab machine as the
# package makes it: in a sandbox that leaves the host as it was (an overlay of / in namespaces of
# its own, entered with chroot, as tests/packaging/test_real_bus.sh does) the package is
# installed, the grade database made, and a system bus runs as typelab with the package's policy
# and activation file. Measured with the store already running (the shared startup-vs-peer tool,
# program and TIPP10 alternately), then with the store ended before every start, so that the bus
# starts it for the program (map time and memory of the program, and of the store it started).
#   bench/startup/installed.sh DEB [RUNS]      (as root)
set -u
self=$(readlink -f "$0")
deb=$(readlink -f "$1"); runs=${2:-7}
peer_tool=${TYPELAB_PEER_TOOL:-$(readlink -f "$(dirname "$self")/../../../shared/tools/startup-vs-peer")}

if [ -z "${TYPELAB_SANDBOX:-}" ]; then
  [ "$(id -u)" -eq 0 ] || { echo "installed.sh needs root"; exit 1; }
  [ -x "$peer_tool" ] || { echo "no startup-vs-peer at $peer_tool"; exit 1; }
  work=$(mktemp -d /tmp/typelab-startup-installed.XXXXXX)
  TYPELAB_SANDBOX=outer TYPELAB_WORK=$work unshare --mount --pid --fork --kill-child "$self" "$@"
  status=$?
  rm -rf "$work"
  exit $status
fi

if [ "$TYPELAB_SANDBOX" = outer ]; then
  root=$TYPELAB_WORK/root layer=$TYPELAB_WORK/layer
  mount --make-rprivate / && mkdir -p "$layer" "$root" && mount -t tmpfs -o size=2g tmpfs "$layer" &&
    mkdir "$layer/upper" "$layer/work" &&
    mount -t overlay overlay -o "lowerdir=/,upperdir=$layer/upper,workdir=$layer/work" "$root" &&
    mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev" &&
    mount -t tmpfs -o mode=0755 tmpfs "$root/run" && mount -t tmpfs -o mode=1777 tmpfs "$root/tmp" ||
    { echo "the sandbox could not be made here"; exit 1; }
  # What the chroot needs goes in with it: the tree may lie under /tmp, which the sandbox hides.
  cp "$deb" "$root/tmp/typelab.deb"
  cp "$self" "$root/tmp/installed.sh"
  cp "$(dirname "$self")/../../tests/packaging/without_typelab.sh" "$root/tmp/without_typelab.sh"
  cp "$(dirname "$self")/../../tests/packaging/system-bus.conf" "$root/tmp/system-bus.conf"
  mkdir "$root/tmp/peer" && cp "$peer_tool" "$(dirname "$peer_tool")/mapwait.c" "$root/tmp/peer/"
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 TYPELAB_SANDBOX=inner \
    TYPELAB_PEER_TOOL=/tmp/peer/startup-vs-peer bash /tmp/installed.sh /tmp/typelab.deb "$runs"
  status=$?
  umount -R "$root" 2>/dev/null || umount -R -l "$root" # a display server may still be letting go of /dev
  umount "$layer" 2>/dev/null || umount -l "$layer"
  exit $status
fi

# ------------------------------------------------------------------------------ in the chroot
bash /tmp/without_typelab.sh || { echo "typelab could not be taken out of the sandbox"; exit 1; }
dpkg -i --force-depends "$deb" >/tmp/install.log 2>&1 || { cat /tmp/install.log; exit 1; }
/opt/typelab/typelab-admin init --user admin --password 123456 --second-password 888888 >/dev/null
mkdir -p /run/dbus && chown typelab /run/dbus
# /tmp/system-bus.conf: the real-bus test's configuration, with the package's policy and activation file.
setpriv --reuid typelab --regid typelab --init-groups dbus-daemon --config-file=/tmp/system-bus.conf --nofork \
  --nopidfile 2>/tmp/bus.err &
daemon=$!
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket
until [ -S /run/dbus/system_bus_socket ]; do sleep 0.05; done
store_pid() {
  dbus-send --system --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.typelab.Store 2>/dev/null | awk '{ print $2 }'
}
ask_store() {
  dbus-send --system --print-reply --dest=org.typelab.Store /org/typelab/Store org.typelab.Store1.AppFolder >/dev/null
}

ask_store
echo "== the store already running (pid $(store_pid))"
"$peer_tool" /opt/typelab "$runs"

echo "== the store started by the bus at every start of the program"
mapwait=${TMPDIR:-/tmp}/typelab-startup/mapwait
Xvfb :88 -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
until [ -S /tmp/.X11-unix/X88 ]; do sleep 0.05; done
rss() { awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status" 2>/dev/null; }
for run in $(seq 0 "$runs"); do
  pid=$(store_pid)
  if [ -n "$pid" ]; then
    kill "$pid"
    while [ -d "/proc/$pid" ]; do sleep 0.02; done
  fi
  DISPLAY=:88 "$mapwait" 20 /opt/typelab/typelab >/tmp/map.out 2>/dev/null &
  waiter=$!
  until grep -q '^SETTLE\|^TIMEOUT\|^EXITED' /tmp/map.out; do sleep 0.05; done
  program=$(awk '/^MAP/ { print $2 }' /tmp/map.out) map=$(awk '/^MAP/ { print $3 }' /tmp/map.out)
  sleep 0.5 # memory is read as the shared tool reads it, half a second after the window settled
  started=$(store_pid)
  line="map ${map:-?} ms, program RSS $(rss "$program") MB; the store the bus started: RSS $(rss "$started") MB"
  [ "$run" -eq 0 ] && echo "(warm-up) $line" || echo "run $run: $line"
  kill "$program" 2>/dev/null
  wait "$waiter" 2>/dev/null
done
kill "$xvfb" "$daemon"
wait 2>/dev/null
