#!/usr/bin/env bash
# Runs a test program against a real input method: its own Xvfb, a private D-Bus session and
# fcitx5 with a pinyin profile in a fresh HOME. Everything it starts is stopped by process id.
#   with_fcitx5.sh PROGRAM [ARGS...]
set -u
work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

for tool in Xvfb dbus-daemon fcitx5 fcitx5-remote xdotool; do
  command -v "$tool" >/dev/null || { echo "with_fcitx5: $tool is not installed" >&2; exit 1; }
done

# Xvfb picks a free display and writes its number once it is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "with_fcitx5: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '\n' <"$work/display")"

export HOME="$work/home"
mkdir -p "$HOME/.config/fcitx5"
cat >"$HOME/.config/fcitx5/profile" <<'PROFILE'
[Groups/0]
Name=Default
Default Layout=us
DefaultIM=pinyin

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=pinyin
Layout=

[GroupOrder]
0=Default
PROFILE

# A bus of our own with no service files: the stock session bus would start a second fcitx5
# by activation if anything asked for it before ours had taken its name.
cat >"$work/bus.conf" <<BUS
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
BUS
dbus-daemon --config-file="$work/bus.conf" --fork --print-address=1 --print-pid=1 >"$work/dbus" || exit 1
pids+=("$(sed -n 2p "$work/dbus")")
export DBUS_SESSION_BUS_ADDRESS="$(sed -n 1p "$work/dbus")"

fcitx5 >"$work/fcitx5.log" 2>&1 &
pids+=($!)
# Ready once it has loaded pinyin and answers on the bus (give a loaded machine time).
for _ in $(seq 600); do
  if grep -q 'Loaded addon pinyin' "$work/fcitx5.log" && fcitx5-remote >/dev/null 2>&1; then break; fi
  sleep 0.05
done
grep -q 'Loaded addon pinyin' "$work/fcitx5.log" || { echo "with_fcitx5: fcitx5 did not load pinyin" >&2; cat "$work/fcitx5.log" >&2; exit 1; }

QT_QPA_PLATFORM=xcb QT_IM_MODULE=fcitx XMODIFIERS=@im=fcitx "$@"
status=$?
[ $status -eq 0 ] || tail -20 "$work/fcitx5.log" >&2
exit $status
