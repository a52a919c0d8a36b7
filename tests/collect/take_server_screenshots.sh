#!/usr/bin/env bash
# Takes the screenshots of the teacher's server windows into docs/screenshots: its own Xvfb,
# the built server_screenshots (which starts its own cluster), ImageMagick's import. Everything
# it starts is stopped by process id. From the source tree:
#   tests/collect/take_server_screenshots.sh [BUILD_DIR]
set -eu
build=${1:-build}
work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb writes its display number into the pipe once it accepts clients; read waits for it.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r display <"$work/display"
export DISPLAY=":$display"

for shot in live:live-window collect:collect-server; do
  mode=${shot%%:*}
  mkfifo "$work/$mode"
  LC_ALL=C.UTF-8 "$build/tests/collect/server_screenshots" "$mode" 60 >"$work/$mode" &
  pids+=($!)
  # The tool prints "ready X Y WIDTH HEIGHT" once its window is on the screen.
  read -r word x y width height <"$work/$mode"
  [ "$word" = ready ] || { echo "server_screenshots $mode did not get ready" >&2; exit 1; }
  # Pictures until two in a row agree: the window has painted whatever followed "ready".
  last=""
  for _ in $(seq 60); do
    import -window root -crop "${width}x${height}+${x}+${y}" "$work/shot.png"
    sum=$(convert "$work/shot.png" rgb:- | md5sum)
    [ "$sum" = "$last" ] && break
    last=$sum
    sleep 0.5
  done
  cp "$work/shot.png" "docs/screenshots/${shot#*:}.png"
  kill "${pids[-1]}"
  wait "${pids[-1]}" 2>/dev/null || true
  unset 'pids[-1]'
done
