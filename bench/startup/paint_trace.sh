#!/usr/bin/env bash
# The start of the program from an Application folder, on an Xvfb display of its own, as the
# shared startup-vs-peer tool sees it and as the program marks it: every "startup" mark of
# TYPELAB_STARTUP_TRACE in ms from exec, beside the tool's window mapped, its first samples of
# the window's picture (blank or showing the window) and what each sample of a window that size
# costs.
#   bench/startup/paint_trace.sh APP_DIR [RUNS]
set -u
app=$(readlink -f "$1"); runs=${2:-3}
self=$(readlink -f "$0")
tools=${TYPELAB_PEER_TOOLS:-$(readlink -f "$(dirname "$self")/../../../shared/tools")}
[ -f "$tools/mapwait.c" ] || { echo "no mapwait.c in $tools"; exit 1; }
work=$(mktemp -d /tmp/typelab-paint-trace.XXXXXX)
# The tool's own sampler, which also tells the moment it starts the program and every sample.
sed -e 's/double t0 = now_ms();/double t0 = now_ms(); { struct timespec z; clock_gettime(CLOCK_MONOTONIC, \&z); printf("T0 %lld\\n", (long long)z.tv_sec * 1000000000LL + z.tv_nsec); fflush(stdout); }/' \
    -e 's/        if (nb \&\& tpaint < 0) tpaint = t;/        printf("SAMPLE %.1f %d\\n", t, nb); fflush(stdout);\n        if (nb \&\& tpaint < 0) tpaint = t;/' \
    "$tools/mapwait.c" > "$work/mapwait.c"
grep -q '^        printf("SAMPLE' "$work/mapwait.c" && grep -q 'printf("T0' "$work/mapwait.c" ||
  { echo "mapwait.c is not the sampler this script knows"; rm -rf "$work"; exit 1; }
gcc -O2 -o "$work/mapwait" "$work/mapwait.c" -lX11 || { rm -rf "$work"; exit 1; }

Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
until [ -s "$work/display" ]; do
  kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start"; rm -rf "$work"; exit 1; }
  sleep 0.05
done
export DISPLAY=:$(head -n 1 "$work/display")
status=0
for run in $(seq 0 "$runs"); do
  (cd "$app" && TYPELAB_STARTUP_TRACE=1 exec "$work/mapwait" 20 ./typelab >"$work/out" 2>"$work/err") &
  waiter=$!
  until grep -q '^SETTLE\|^TIMEOUT\|^EXITED' "$work/out" 2>/dev/null; do
    kill -0 "$waiter" 2>/dev/null || break
    sleep 0.05
  done
  program=$(awk '/^MAP/ { print $2 }' "$work/out")
  [ -n "$program" ] && kill "$program" 2>/dev/null
  wait "$waiter" 2>/dev/null
  if ! grep -q '^SETTLE' "$work/out"; then
    echo "run $run: the window did not come: $(head -n 3 "$work/out" | tr '\n' ' ')"; status=1; break
  fi
  [ "$run" -eq 0 ] && continue # warm-up
  echo "run $run (ms from exec):"
  python3 - "$work/out" "$work/err" <<'PY'
import re, statistics, sys
out = open(sys.argv[1]).read().splitlines()
t0 = next(int(l.split()[1]) for l in out if l.startswith("T0 "))
rows, samples = [], []
for l in out:
    m = re.match(r"MAP \d+ ([\d.]+)", l)
    if m:
        rows.append((float(m.group(1)), "X: window mapped"))
    m = re.match(r"SAMPLE ([\d.]+) (\d)", l)
    if m:
        samples.append((float(m.group(1)), m.group(2) == "1"))
for t, shows in samples[:3]:
    rows.append((t, "X: sample taken, " + ("shows the window" if shows else "blank")))
first = next((t for t, shows in samples if shows), None)
if first is not None:
    rows.append((first, "X: first sample showing the window (the tool's 'painted')"))
for l in open(sys.argv[2]):
    m = re.match(r"startup (.*) (\d+)$", l.strip())
    if m:
        rows.append(((int(m.group(2)) - t0) / 1e6, m.group(1)))
for t, name in sorted(rows):
    print(f"  {t:7.1f}  {name}")
gaps = [b[0] - a[0] - 30 for a, b in zip(samples, samples[1:])] # the sampler sleeps 30 ms between samples
if gaps:
    print(f"  one sample of this window costs {statistics.median(gaps):.1f} ms (median of {len(gaps)})")
PY
done
kill "$xvfb"
wait "$xvfb" 2>/dev/null
rm -rf "$work"
exit $status
