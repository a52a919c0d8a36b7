#!/usr/bin/env bash
# The package on a lab machine, with real components, in a sandbox that leaves the host as it
# was: an overlay of / over a tmpfs, in mount and process namespaces of its own, entered with
# chroot. In it the package is installed fresh, then a 1.0 machine (the 1.0 package, its grade
# database with results, a replaced text) is upgraded, and the migration checked; a dbus-daemon
# with the system bus's configuration, the package's own policy and its activation file, run as
# the user typelab, starts typelab-store from the Exec= line; a student account (in the group
# typelab, as 1.0 told) runs whole exercises through the program and calls the bus directly.
#   test_real_bus.sh SOURCE_DIR BUILD_DIR DEB DRIVER
# Needs root (CI runs as root), unshare, overlayfs. TYPELAB_REAL_BUS_LOGS=FOLDER keeps the logs.
set -u
self=$(readlink -f "$0")
source_dir=$1 build_dir=$2 deb=$3 driver=$4
lock_seconds=3

# ------------------------------------------------------------------------------- on the host
if [ -z "${TYPELAB_SANDBOX:-}" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "FAILED: test_real_bus needs root: it makes accounts, mounts and a system bus inside a sandbox"
    exit 1
  fi
  for tool in unshare chroot mount umount setpriv dbus-daemon dbus-send useradd sqlcipher dpkg-deb; do
    command -v "$tool" >/dev/null || { echo "FAILED: $tool is not installed"; exit 1; }
  done
  [ -f "$deb" ] || { echo "FAILED: no package at $deb"; exit 1; }
  if ! unshare --mount --pid --fork true 2>"/tmp/typelab-unshare.$$"; then
    echo "FAILED: the kernel refused new mount and process namespaces here: $(cat "/tmp/typelab-unshare.$$")"
    echo "        this test cannot run on this machine"
    rm -f "/tmp/typelab-unshare.$$"; exit 1
  fi
  rm -f "/tmp/typelab-unshare.$$"
  # What the sandbox must leave exactly as it was: what it could touch through the overlay, were
  # it to leak. (Its /run and /tmp are its own; other tests may change the host's meanwhile.)
  host_state() {
    getent passwd typelab student01 || true
    getent group typelab || true
    ls -la --time-style=+ /opt/typelab /var/lib/typelab 2>&1
    md5sum /var/lib/dpkg/status /etc/passwd /etc/group /etc/shadow
    dpkg-query -W -f='${Status} ${Version}\n' typelab 2>&1
  }
  before=$(host_state)
  work=$(mktemp -d /tmp/typelab-real-bus.XXXXXX)
  # The 1.0 package, built by 1.0's own packaging from this build's binaries.
  if ! "$source_dir/tests/packaging/release-1.0/build-deb.sh" "$build_dir" "$work/old" 1.0 >"$work/old.log" 2>&1; then
    echo "FAILED: the 1.0 package was not built"; cat "$work/old.log"; rm -rf "$work"; exit 1
  fi
  TYPELAB_SANDBOX=outer TYPELAB_WORK=$work unshare --mount --pid --fork --kill-child "$self" "$@"
  status=$?
  after=$(host_state)
  leftover=$(grep -F "$work" /proc/self/mountinfo)
  rm -rf "$work"
  if [ "$before" != "$after" ]; then
    echo "FAILED: the host changed"; diff <(echo "$before") <(echo "$after"); status=1
  else
    echo "ok: the host's accounts, package database, /opt/typelab and /var/lib/typelab are as they were"
  fi
  if [ -n "$leftover" ]; then echo "FAILED: still mounted: $leftover"; status=1; fi
  exit "$status"
fi

# --------------------------------------------------- in the namespaces: the overlay and chroot
if [ "$TYPELAB_SANDBOX" = outer ]; then
  work=$TYPELAB_WORK
  root=$work/root
  mount --make-rprivate / || { echo "FAILED: cannot make the mounts private (unshare refused?)"; exit 1; }
  mkdir -p "$work/layer" "$root"
  mount -t tmpfs -o size=2g tmpfs "$work/layer" || { echo "FAILED: cannot mount a tmpfs"; exit 1; }
  mkdir "$work/layer/upper" "$work/layer/work"
  if ! mount -t overlay overlay -o "lowerdir=/,upperdir=$work/layer/upper,workdir=$work/layer/work" "$root"; then
    echo "FAILED: the kernel refused an overlay of / here: this test cannot run on this machine"
    umount "$work/layer"; exit 1
  fi
  mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev" &&
    mount -t tmpfs -o mode=0755 tmpfs "$root/run" && mount -t tmpfs -o mode=1777 tmpfs "$root/tmp" ||
    { echo "FAILED: cannot mount proc, dev, run and tmp in the sandbox"; umount -R "$root"; umount "$work/layer"; exit 1; }
  # What the chroot needs goes in with it: the tree may itself lie under /tmp, which the
  # sandbox's own /tmp hides.
  mkdir "$root/tmp/exchange"
  cp "$work/old/typelab_1.0_amd64.deb" "$root/tmp/exchange/"
  cp "$deb" "$root/tmp/exchange/typelab.deb"
  cp "$(dirname "$deb")"/typelab-server_*_amd64.deb "$root/tmp/exchange/typelab-server.deb"
  cp "$self" "$root/tmp/exchange/test_real_bus.sh"
  cp "$source_dir/tests/packaging/without_typelab.sh" "$root/tmp/exchange/without_typelab.sh"
  cp "$source_dir/tests/packaging/system-bus.conf" "$root/tmp/exchange/system-bus.conf"
  install -m 755 "$driver" "$root/tmp/exchange/real_bus_driver"
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 TYPELAB_SANDBOX=inner \
    TYPELAB_OLD_DEB=/tmp/exchange/typelab_1.0_amd64.deb bash -c 'cd / && exec bash "$0" "$@"' \
    /tmp/exchange/test_real_bus.sh "$source_dir" "$build_dir" /tmp/exchange/typelab.deb /tmp/exchange/real_bus_driver
  status=$?
  # TYPELAB_REAL_BUS_LOGS=FOLDER keeps what the sandbox logged, for a developer to read.
  [ -z "${TYPELAB_REAL_BUS_LOGS:-}" ] || cp -R "$root/tmp/exchange/." "$TYPELAB_REAL_BUS_LOGS/"
  umount -R "$root" && umount "$work/layer" || { echo "FAILED: the sandbox's mounts did not come down"; status=1; }
  exit "$status"
fi

# ------------------------------------------------------------------------------ in the chroot
failures=0
log=/tmp/exchange
check() { # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@" >"$log/last" 2>&1; then echo "ok: $what"; else echo "FAILED: $what"; cat "$log/last"; failures=$((failures + 1)); fi
}
mode_of() { stat -c '%U:%G %a' "$1"; }
is_mode() { [ "$(mode_of "$1")" = "$2" ] || { echo "$1 is $(mode_of "$1"), not $2"; return 1; }; }
sha() { sha256sum <"$1" | cut -d' ' -f1; }
sql() { # sql FILE STATEMENT: read as the service's user, with the database password
  printf "PRAGMA key='857';\n%s;\n" "$2" | setpriv --reuid typelab --regid typelab --init-groups sqlcipher "$1" | grep -vx ok
}
bus=unix:path=/run/dbus/system_bus_socket
as_student() {
  setpriv --reuid student01 --regid student01 --init-groups env HOME=/home/student01 USER=student01 \
    DBUS_SYSTEM_BUS_ADDRESS=$bus QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 "$@"
}
denied() { # denied COMMAND...: fails as the student with "Permission denied"
  local out
  out=$(as_student "$@" 2>&1) && { echo "allowed: $*"; return 1; }
  grep -q "Permission denied" <<<"$out" || { echo "$out"; return 1; }
}
bus_pid=
daemon_pid=
service_pid() {
  dbus-send --system --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.typelab.Store 2>/dev/null | awk '{ print $2 }'
}
forwarder_pid() {
  dbus-send --system --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.typelab.Forward 2>/dev/null | awk '{ print $2 }'
}
gone() { [ ! -d "/proc/$1" ] || grep -q '^State:.*Z' "/proc/$1/status" 2>/dev/null; }
wait_for() { # wait_for SECONDS COMMAND...: polls every 0.05 s
  local until=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt "$until" ] || return 1; sleep 0.05; done
}
pg_pid=
stop_all() {
  local pid pids
  # PostgreSQL's fast shutdown: it does not wait for its clients.
  [ -z "$pg_pid" ] || kill -INT "$pg_pid" 2>/dev/null
  pids="$(service_pid) $(forwarder_pid) $daemon_pid $pg_pid"
  for pid in $pids; do kill "$pid" 2>/dev/null; done
  for pid in $pids; do wait_for 10 gone "$pid"; done
}
trap stop_all EXIT
export DBUS_SYSTEM_BUS_ADDRESS=$bus
# The student runs its own copy of the driver, which the outer stage put in /tmp/exchange with
# the bus's configuration.
today=$(date +%F)

# ---------------------------------------------------------------- a machine without typelab
check "the sandbox starts from a machine without typelab" bash /tmp/exchange/without_typelab.sh

# ---------------------------------------------------------------- a fresh installation
dpkg -i --force-depends "$deb" >"$log/install" 2>&1
check "the package installs on a machine without typelab" test $? -eq 0 ||
  { cat "$log/install"; echo "real bus: the package does not install; nothing more to check"; exit 1; }
check "its postinst tells the administrator to run typelab-admin init" grep -q '^  typelab-admin init$' "$log/install"
check "the user typelab is a system user without a shell, at home in /var/lib/typelab" \
  bash -c '[ "$(getent passwd typelab | cut -d: -f6,7)" = /var/lib/typelab:/usr/sbin/nologin ] && [ "$(id -u typelab)" -lt 1000 ]'
for dir in /var/lib/typelab /var/lib/typelab/data /var/lib/typelab/yw /var/lib/typelab/zw /var/lib/typelab/share \
           /var/lib/typelab/share/data; do
  check "$dir is typelab's, 755" is_mode "$dir" "typelab:typelab 755"
done
check "the shipped texts are the service's copies, 644" \
  bash -c 'for f in /var/lib/typelab/yw/ydzcs{0..9}.dat /var/lib/typelab/zw/cdzcs{0..9}.dat /var/lib/typelab/data/help.dat; do
             [ "$(stat -c "%U:%G %a" "$f")" = "typelab:typelab 644" ] || { echo "$f"; exit 1; }; done'
check "the program finds yw, zw and data/help.dat where they always were" \
  bash -c 'cmp /opt/typelab/yw/ydzcs4.dat /usr/share/typelab/yw/ydzcs4.dat && cmp /opt/typelab/zw/cdzcs7.dat /usr/share/typelab/zw/cdzcs7.dat &&
           cmp /opt/typelab/data/help.dat /usr/share/typelab/data/help.dat'
check "typelab-admin init without a path makes the service's database, 600" \
  bash -c '/opt/typelab/typelab-admin init --user boss --password pw --second-password again &&
           [ "$(stat -c "%U:%G %a" /var/lib/typelab/data/stugrade.mdb)" = "typelab:typelab 600" ]'
dpkg -P typelab >"$log/purge" 2>&1
check "purge deletes /var/lib/typelab and keeps the user" bash -c '[ ! -e /var/lib/typelab ] && getent passwd typelab'

# ---------------------------------------------------------------- a 1.0 machine
userdel typelab 2>/dev/null; groupdel typelab 2>/dev/null
dpkg -i --force-depends "$TYPELAB_OLD_DEB" >"$log/install-1.0" 2>&1
check "the 1.0 package installs" test $? -eq 0
check "1.0's folders are group-writable and setgid" is_mode /opt/typelab/yw "root:typelab 2775"
useradd --create-home student01 && adduser --quiet student01 typelab && useradd student02
/opt/typelab/typelab-admin init --user admin --password 123456 --second-password 888888 /opt/typelab/data/stugrade.mdb >/dev/null
chown root:typelab /opt/typelab/data/stugrade.mdb && chmod 0660 /opt/typelab/data/stugrade.mdb
cat >"$log/rows.sql" <<SQL
PRAGMA key='857';
INSERT INTO stdgrade VALUES ('2024000001', '一号', '英文', 88, 120, 97, '$today', '09:00:00', 'B1');
INSERT INTO stdgrade VALUES ('2024000002', '二号', '中文', 70, 45, 91, '$today', '09:10:00', 'B1');
INSERT INTO stdgrade VALUES ('2024005', '练习', '英文', 12, 30, 80, '$today', '10:00:00', NULL);
INSERT INTO recxh VALUES ('2024000001', 'B1', '$today');
SQL
sqlcipher /opt/typelab/data/stugrade.mdb <"$log/rows.sql" >/dev/null
# The supervisor replaced an English text and the help text; an interrupted 1.0 upgrade kept a
# replaced Chinese text in /var/lib/typelab/kept; someone left a file of their own in yw.
printf 'The lab wrote this English text itself.\n' >"$log/en.txt"
printf '本机房自己的中文练习。\n' >"$log/zh.txt"
printf '本机房的帮助。\n' >"$log/help.txt"
/opt/typelab/typelab-admin pack "$log/en.txt" /opt/typelab/yw/ydzcs3.dat
/opt/typelab/typelab-admin pack "$log/help.txt" /opt/typelab/data/help.dat
mkdir -p /var/lib/typelab/kept/opt/typelab/zw
/opt/typelab/typelab-admin pack "$log/zh.txt" /var/lib/typelab/kept/opt/typelab/zw/cdzcs5.dat
echo "notes" >/opt/typelab/yw/notes.txt
database_sum=$(sha /opt/typelab/data/stugrade.mdb)
english_sum=$(sha /opt/typelab/yw/ydzcs3.dat)
help_sum=$(sha /opt/typelab/data/help.dat)
chinese_sum=$(sha /var/lib/typelab/kept/opt/typelab/zw/cdzcs5.dat)
check "a 1.0 student in the group typelab can write 1.0's database" \
  setpriv --reuid student01 --regid student01 --init-groups test -w /opt/typelab/data/stugrade.mdb

# ---------------------------------------------------------------- the upgrade
dpkg -i --force-depends "$deb" >"$log/upgrade" 2>&1
check "the upgrade from 1.0 succeeds" test $? -eq 0 || cat "$log/upgrade"
check "the grade database moved, unchanged, to the service's place" \
  bash -c "[ ! -e /opt/typelab/data/stugrade.mdb ] && [ \"\$(sha256sum </var/lib/typelab/data/stugrade.mdb | cut -d' ' -f1)\" = $database_sum ]"
check "the grade database is typelab's alone, 600" is_mode /var/lib/typelab/data/stugrade.mdb "typelab:typelab 600"
check "its three results and the test login are there" \
  test "$(sql /var/lib/typelab/data/stugrade.mdb "SELECT count(*) FROM stdgrade; SELECT count(*) FROM recxh" | tr '\n' ' ')" = "3 1 "
check "the replaced English text is the service's copy" test "$(sha /var/lib/typelab/yw/ydzcs3.dat)" = "$english_sum"
check "the replaced help text is the service's copy" test "$(sha /var/lib/typelab/data/help.dat)" = "$help_sum"
check "the Chinese text 1.0 kept is the service's copy" test "$(sha /var/lib/typelab/zw/cdzcs5.dat)" = "$chinese_sum"
check "the texts not replaced are the shipped ones" cmp /var/lib/typelab/yw/ydzcs0.dat /usr/share/typelab/yw/ydzcs0.dat
check "the lab's own file in yw is kept" grep -qx notes /var/lib/typelab/yw/notes.txt
check "yw, zw and data/help.dat are links into /var/lib/typelab" \
  bash -c '[ "$(readlink /opt/typelab/yw)" = /var/lib/typelab/yw ] && [ "$(readlink /opt/typelab/zw)" = /var/lib/typelab/zw ] &&
           [ "$(readlink /opt/typelab/data/help.dat)" = /var/lib/typelab/data/help.dat ]'
check "nothing of the upgrade's own is left" \
  bash -c '! ls -d /opt/typelab/*.dpkg-backup /var/lib/typelab/kept /var/lib/typelab/upgrade-from-1.0 2>/dev/null | grep .'
check "/opt/typelab/data is root's, 755" is_mode /opt/typelab/data "root:root 755"
for dir in /var/lib/typelab /var/lib/typelab/data /var/lib/typelab/yw /var/lib/typelab/zw /var/lib/typelab/share \
           /var/lib/typelab/share/data; do
  check "$dir is typelab's, 755" is_mode "$dir" "typelab:typelab 755"
done
check "every text is typelab's, 644" \
  bash -c 'for f in /var/lib/typelab/yw/ydzcs{0..9}.dat /var/lib/typelab/zw/cdzcs{0..9}.dat /var/lib/typelab/data/help.dat; do
             [ "$(stat -c "%U:%G %a" "$f")" = "typelab:typelab 644" ] || { echo "$f: $(stat -c "%U:%G %a" "$f")"; exit 1; }; done'
check "no group write and no setgid anywhere" bash -c '! find /opt/typelab /var/lib/typelab ! -type l -perm /2020 | grep .'

# ---------------------------------------------------------------- the bus
mkdir -p /run/dbus && chown typelab:typelab /run/dbus
setpriv --reuid typelab --regid typelab --init-groups env -i PATH=/usr/bin:/bin LC_ALL=C.UTF-8 HOME=/var/lib/typelab \
  DBUS_SYSTEM_BUS_ADDRESS=$bus TYPELAB_STORE_LOCK_SECONDS=$lock_seconds \
  dbus-daemon --config-file=/tmp/exchange/system-bus.conf --nofork --nopidfile >"$log/bus.out" 2>"$log/bus.err" &
daemon_pid=$!
check "a system bus runs as typelab" wait_for 10 test -S /run/dbus/system_bus_socket
[ -S /run/dbus/system_bus_socket ] || { cat "$log/bus.err"; exit 1; }

check "the student cannot read the grade database" denied cat /var/lib/typelab/data/stugrade.mdb
check "nor delete it" denied rm -f /var/lib/typelab/data/stugrade.mdb
check "nor put a file beside it" denied touch /var/lib/typelab/data/stugrade.mdb-journal
check "nor write a text through /opt/typelab" denied sh -c 'echo x >>/opt/typelab/yw/ydzcs0.dat'
check "nor write a text in its place" denied sh -c 'echo x >/var/lib/typelab/zw/cdzcs0.dat'
check "nor replace the help text" denied rm -f /var/lib/typelab/data/help.dat
check "nor own the store's name on the bus" \
  bash -c "setpriv --reuid student01 --regid student01 --init-groups dbus-send --system --print-reply --dest=org.freedesktop.DBus \
           /org/freedesktop/DBus org.freedesktop.DBus.RequestName string:org.typelab.Store uint32:0 2>&1 | grep -q AccessDenied"
check "the program starts as the student against the installed service" \
  as_student env TYPELAB_QUIT_WHEN_SHOWN=1 timeout 60 /opt/typelab/typelab
pid=$(service_pid)
check "the bus started typelab-store from its activation file, as typelab" \
  bash -c "[ -n '$pid' ] && [ \"\$(stat -c %U /proc/$pid)\" = typelab ] && [ \"\$(tr '\0' ' ' </proc/$pid/cmdline)\" = '/opt/typelab/typelab-store --system ' ]"
check "the bus answers no other interface of the store" \
  bash -c "setpriv --reuid student01 --regid student01 --init-groups dbus-send --system --print-reply --dest=org.typelab.Store \
           /org/typelab/Store org.freedesktop.DBus.Properties.GetAll string:org.typelab.Store1 2>&1 | grep -q AccessDenied"
# The methods the running store shows are the ones its installed interface file states.
methods_of() { grep -o '<method name="[A-Za-z]*"' | sort; }
store_methods() {
  as_student dbus-send --system --print-reply=literal --dest=org.typelab.Store /org/typelab/Store \
    org.freedesktop.DBus.Introspectable.Introspect | sed -n '/interface name="org.typelab.Store1"/,/<\/interface>/p' | methods_of
}
export bus; export -f methods_of store_methods as_student
check "the store shows the methods its installed interface file states" \
  bash -c 'diff <(store_methods) <(methods_of </usr/share/dbus-1/interfaces/org.typelab.Store1.xml) &&
           [ "$(store_methods | wc -l)" -eq 18 ]'

texts_sum=$(cat /var/lib/typelab/yw/* /var/lib/typelab/zw/* /var/lib/typelab/data/help.dat | sha256sum)
run_driver() { # run_driver FUNCTION: the student's driver, its output in $log/FUNCTION
  as_student env TYPELAB_RIG_USER=admin TYPELAB_RIG_PASSWORD=123456 TYPELAB_RIG_LOCK_SECONDS=$lock_seconds \
    timeout 300 "$driver" "$1" >"$log/$1" 2>&1
  local status=$?
  [ $status -eq 0 ] || cat "$log/$1"
  return $status
}
stored_once() { # stored_once FUNCTION: each FIGURES line of its output is one row of the database
  local figures found=0
  while read -r _ figures; do
    found=$((found + 1))
    local rows
    rows=$(sql /var/lib/typelab/data/stugrade.mdb \
      "SELECT xh || '|' || lrxm || '|' || printf('%g', lrcj) || '|' || printf('%g', lrsd) || '|' || printf('%g', lrzql)
       || '|' || ifnull(lrpc, '') FROM stdgrade WHERE lrdate = '$today'" | grep -cxF "$figures")
    [ "$rows" = 1 ] || { echo "stored $rows times: $figures"; sql /var/lib/typelab/data/stugrade.mdb "SELECT * FROM stdgrade"; return 1; }
  done < <(grep '^FIGURES ' "$log/$1")
  [ $found -gt 0 ] || { echo "no figures"; return 1; }
}
check "a practice exercise through the program" run_driver practiceExercise
check "stores one row with the figures the Status panel showed" stored_once practiceExercise
check "a test exercise through the program" run_driver testExercise
check "stores one row with the figures the Status panel showed" stored_once testExercise
check "forged logs and an exercise never opened store nothing" run_driver forgedFinishStoresNothing
check "a test exercise stores one result however often it is sent" run_driver secondResultForOneTestExercise
check "junk arguments to every method store nothing" run_driver junkArgumentsStoreNothing
check "the store writes the refused account and reason to its log" \
  grep -q "not stored for uid $(id -u student01) .*录入记录的时长" "$log/bus.err"
# A session belongs to the account that logged in: another account's call with its token is
# refused as no session (status 2) while the session goes on for its own account.
with_driver() { # with_driver FUNCTION LINE ACTION...: runs ACTION once the driver printed "LINE value"
  local function=$1 line=$2 driver_pid status; shift 2
  rm -f /tmp/exchange/go-on
  as_student env TYPELAB_RIG_GO_ON=/tmp/exchange/go-on timeout 300 "$driver" "$function" >"$log/$function" 2>&1 &
  driver_pid=$!
  if wait_for 120 grep -qs "^$line " "$log/$function"; then
    "$@" "$(sed -n "s/^$line //p" "$log/$function")"
    touch /tmp/exchange/go-on
  fi
  wait "$driver_pid"
  status=$?
  [ $status -eq 0 ] || cat "$log/$function"
  return $status
}
from_other_account() {
  setpriv --reuid student02 --regid student02 --init-groups dbus-send --system --print-reply --dest=org.typelab.Store \
    /org/typelab/Store org.typelab.Store1.OpenExercise "string:$1" int32:1 >"$log/other-account" 2>&1
}
check "a session serves its own account" with_driver sessionOfThisAccount SESSION from_other_account
check "and no other: another account's call with its token finds no session" \
  bash -c "grep -A1 'struct {' '$log/other-account' | grep -qx ' *int32 2'"
check "five wrong system passwords lock the account until the lock runs out" run_driver passwordsTriedTooOften
check "the texts are as they were" test "$(cat /var/lib/typelab/yw/* /var/lib/typelab/zw/* /var/lib/typelab/data/help.dat | sha256sum)" = "$texts_sum"

# The store killed in the middle of an exercise: the program sends the result again, and the
# bus starts a new store that stores it.
kill_store() { kill -KILL "$1" && wait_for 10 gone "$1"; }
check "the store killed in the middle of an exercise, the result is stored all the same" \
  with_driver serviceKilledInTheMiddle SERVICE_PID kill_store
check "once, with the figures the Status panel showed" stored_once serviceKilledInTheMiddle

check "the store's own tables are typelab's alone, 600" is_mode /var/lib/typelab/data/typelab-store.db "typelab:typelab 600"
check "what the store made grants no group write either" bash -c '! find /var/lib/typelab ! -type l -perm /2020 | grep .'

# The share's copy: current, readable by all, without credentials.
copy=/var/lib/typelab/share/data/stugrade.mdb
live_count() { sql /var/lib/typelab/data/stugrade.mdb "SELECT count(*) FROM stdgrade"; }
copy_current() { [ -f "$copy" ] && [ "$(sql "$copy" "SELECT count(*) FROM stdgrade")" = "$(live_count)" ]; }
check "the results: three from 1.0 and four stored now" test "$(live_count)" = 7
check "the share's copy holds every result" wait_for 10 copy_current
check "the share's copy is typelab's, 644" is_mode "$copy" "typelab:typelab 644"
check "the share's copy holds no passwords" \
  test "$(sql "$copy" "SELECT count(*) FROM system WHERE ifnull(usermm, '') <> '' OR ifnull(xsmm, '') <> ''")" = 0
check "the reader reads a batch from the share's copy, as the student" \
  bash -c "setpriv --reuid student01 --regid student01 --init-groups /opt/typelab/typelab-reader grades $copy B12 1000 |
           grep -aq 2024000017"

# ---------------------------------------------------------------- a school server
# A PostgreSQL of the sandbox's own is the school server, set up by the typelab-server package.
# The machine joins it; a result the student stores reaches it through the forwarder, which the
# bus starts as typelab when the store has something to send. Nobody else reaches the outbox.
dpkg -i --force-depends /tmp/exchange/typelab-server.deb >"$log/install-server" 2>&1
check "the school server's package installs" test $? -eq 0
pg=/usr/lib/postgresql/15/bin
as_postgres() { setpriv --reuid postgres --regid postgres --init-groups "$@"; }
mkdir -p /tmp/pg /tmp/pgsock && chown postgres:postgres /tmp/pg /tmp/pgsock && chmod 700 /tmp/pg
as_postgres $pg/initdb -D /tmp/pg -E UTF8 --locale=C.UTF-8 --auth-local=peer --auth-host=reject >"$log/initdb" 2>&1
setpriv --reuid postgres --regid postgres --init-groups $pg/postgres -D /tmp/pg -k /tmp/pgsock -p 5439 \
  -c listen_addresses=127.0.0.1 >"$log/postgres" 2>&1 &
pg_ready() { as_postgres $pg/pg_isready -q -h /tmp/pgsock -p 5439; }
check "a PostgreSQL for the school server runs" wait_for 60 pg_ready
pg_pid=$(head -n 1 /tmp/pg/postmaster.pid)
check "typelab-server sets it up" typelab-server setup --socket-dir /tmp/pgsock --port 5439 --owner postgres \
  --host localhost --listen 127.0.0.1
typelab-server enroll pc1 >"$log/enroll" 2>&1
bundle=$(tail -n 1 "$log/enroll")
check "typelab-server enrols the machine" test -f "$bundle"
check "typelab-admin joins the machine to the server" /opt/typelab/typelab-admin join "$bundle"
check "the installed bundle is typelab's alone, 700" is_mode /var/lib/typelab/server "typelab:typelab 700"
check "its key too, 600" is_mode /var/lib/typelab/server/machine.key "typelab:typelab 600"
check "the school's CA is where the program looks, readable by all" \
  bash -c 'cmp /opt/typelab/data/school-ca.crt /var/lib/typelab/server/ca.crt &&
           [ "$(stat -c %a /var/lib/typelab/data/school-ca.crt)" = 644 ]'
check "a practice exercise through the program on the joined machine" run_driver practiceExercise
server_rows() {
  as_postgres psql -h /tmp/pgsock -p 5439 -d typelab -Atc \
    "SELECT count(*) || ' ' || coalesce(string_agg(DISTINCT machine, ','), '') FROM typelab.result"
}
export -f server_rows as_postgres; export pg
check "the result reaches the school server, from pc1" wait_for 60 bash -c '[ "$(server_rows)" = "1 pc1" ]'
check "the bus started typelab-forward from its activation file, as typelab" \
  bash -c "pid=\$(dbus-send --system --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
             org.freedesktop.DBus.GetConnectionUnixProcessID string:org.typelab.Forward | awk '{ print \$2 }') &&
           [ \"\$(stat -c %U /proc/\$pid)\" = typelab ] &&
           [ \"\$(tr '\\0' ' ' </proc/\$pid/cmdline)\" = '/opt/typelab/typelab-forward --system ' ]"
check "the student cannot take what waits in the outbox" \
  bash -c "setpriv --reuid student01 --regid student01 --init-groups dbus-send --system --print-reply \
             --dest=org.typelab.Store /org/typelab/Outbox org.typelab.Outbox1.Next int32:10 int32:0 2>&1 |
           grep -q AccessDenied"
check "typelab-admin status names the machine, and nothing waits" \
  bash -c '/opt/typelab/typelab-admin status >/tmp/exchange/status && grep -qx "machine: pc1" /tmp/exchange/status &&
           grep -qx "waiting: 0" /tmp/exchange/status && ! grep -qx "last success: never" /tmp/exchange/status'

# An upgrade to the same version ends the running store and keeps a text the service replaced.
setpriv --reuid typelab --regid typelab --init-groups /opt/typelab/typelab-admin pack "$log/en.txt" \
  /var/lib/typelab/yw/ydzcs1.dat
replaced_sum=$(sha /var/lib/typelab/yw/ydzcs1.dat)
pid=$(service_pid)
dpkg -i --force-depends "$deb" >"$log/reinstall" 2>&1
check "the package installs over itself" test $? -eq 0
check "which ends the running store" wait_for 10 gone "$pid"
check "and keeps the text the service replaced" test "$(sha /var/lib/typelab/yw/ydzcs1.dat)" = "$replaced_sum"
check "readable by all" is_mode /var/lib/typelab/yw/ydzcs1.dat "typelab:typelab 644"
check "the program starts against the store the bus starts anew" \
  as_student env TYPELAB_QUIT_WHEN_SHOWN=1 timeout 60 /opt/typelab/typelab

# Removal ends the running store and keeps the data; purge deletes it.
pid=$(service_pid)
dpkg -r typelab >"$log/remove" 2>&1
check "removal succeeds" test $? -eq 0
check "removal ends the running store" wait_for 10 gone "$pid"
check "removal keeps the grade database" test -f /var/lib/typelab/data/stugrade.mdb
dpkg -P typelab >"$log/purge" 2>&1
check "purge deletes /var/lib/typelab" test ! -e /var/lib/typelab

stop_all
trap - EXIT
check "the bus is stopped" gone "$daemon_pid"
[ "$failures" -eq 0 ] && echo "real bus: every check passed" || echo "real bus: $failures checks failed"
[ "$failures" -eq 0 ]
