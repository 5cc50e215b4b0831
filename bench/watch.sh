#!/usr/bin/env bash
# Measures pixquillbatch --watch: the time from a RAW file's close to its JPEG, the watch's
# own CPU while it waits, and its peak memory over a long run of files.
#
#   bench/watch.sh
#   DROPS=40         24-megapixel DNGs dropped into the folder, one a second
#   IDLE=30          seconds the watch is left waiting, its CPU time measured
#   FILES=10000      tiny DNGs renamed into the folder in one burst, for the memory figure
#   BUILD_DIR=build-bench   where the Release build goes
#   OPTIONS="..."    pixquillcmd options of the watch (default: none, the default JPEG)
#
# The latency is measured by the program that drops the files: it writes each one (a
# copy, closed when written, as a tether or a card import writes it), notes the time of
# the close and looks for the JPEG every 2 ms. The peak memory is the watch's own (VmHWM
# of pixquillbatch, not of GNU parallel or pixquillcmd), read after a tenth of the burst
# and at its end. Prints a Markdown block; inputs and outputs go to bench/work/watch/.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
WORK="$ROOT/bench/work/watch"
DROPS="${DROPS:-40}"
IDLE="${IDLE:-30}"
FILES="${FILES:-10000}"
BUILD_DIR="${BUILD_DIR:-build-bench}"
read -r -a OPTIONS <<<"${OPTIONS:-}"

PACKAGES_ONLY=1 ./scripts/setup.sh
mkdir -p "$WORK"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >"$WORK/build.log" 2>&1
cmake --build "$BUILD_DIR" -j"$(nproc)" --target pixquillcmd pixquillbatch make_test_dng >>"$WORK/build.log" 2>&1
BATCH="$ROOT/$BUILD_DIR/pixquillbatch"
MAKE_DNG="$ROOT/$BUILD_DIR/tests/make_test_dng"
[ -f "$WORK/24mp.dng" ] || "$MAKE_DNG" "$WORK/24mp.dng" --width 6000 --height 4000 --preview --exif --noise 8
[ -f "$WORK/tiny.dng" ] || "$MAKE_DNG" "$WORK/tiny.dng" --width 32 --height 24

export XDG_STATE_HOME="$WORK/state"
watch_pid=""
stop_watch() { [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null && wait "$watch_pid" 2>/dev/null || true; watch_pid=""; }
trap stop_watch EXIT
start_watch() {  # start_watch IN OUT
  rm -rf "$1" "$2" "$XDG_STATE_HOME"
  mkdir -p "$1" "$2"
  "$BATCH" -q --watch "$1" -o "$2" "${OPTIONS[@]}" >"$WORK/watch.log" 2>&1 &
  watch_pid=$!
  sleep 1
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
peak_kib() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

echo "load average before: $(load)" >&2
start_watch "$WORK/in" "$WORK/out"
latency=$(python3 - "$WORK/24mp.dng" "$WORK/in" "$WORK/out" "$DROPS" <<'EOF'
import os, shutil, statistics, sys, time
source, inbox, outbox, drops = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
data = open(source, "rb").read()
closed, seen = {}, {}
start = time.monotonic()
for i in range(drops):
    while time.monotonic() < start + i:
        for j in list(closed):
            if j not in seen and os.path.exists(f"{outbox}/IMG_{j:04d}.jpg"):
                seen[j] = time.monotonic() - closed[j]
        time.sleep(0.002)
    with open(f"{inbox}/IMG_{i:04d}.dng", "wb") as f:
        f.write(data)
    closed[i] = time.monotonic()
deadline = time.monotonic() + 120
while len(seen) < drops and time.monotonic() < deadline:
    for j in closed:
        if j not in seen and os.path.exists(f"{outbox}/IMG_{j:04d}.jpg"):
            seen[j] = time.monotonic() - closed[j]
    time.sleep(0.002)
values = sorted(seen.values())
p95 = values[max(0, int(len(values) * 0.95 + 0.5) - 1)]
print(f"{len(values)} of {drops} files; median {statistics.median(values):.2f} s, "
      f"95th percentile {p95:.2f} s, max {values[-1]:.2f} s")
EOF
)
echo "latency: $latency" >&2

hz=$(getconf CLK_TCK)
before=$(cpu_ticks "$watch_pid")
sleep "$IDLE"
idle_cpu=$(( $(cpu_ticks "$watch_pid") - before ))
echo "idle CPU: $idle_cpu ticks of 1/$hz s in $IDLE s" >&2
stop_watch

# The same wait with the status line on a terminal (script(1) gives it one).
rm -rf "$WORK/tin" "$WORK/tout"
mkdir -p "$WORK/tin" "$WORK/tout"
script -qfc "'$BATCH' --watch '$WORK/tin' -o '$WORK/tout'" /dev/null >/dev/null 2>&1 &
script_pid=$!
sleep 2
tty_pid=$(pgrep -P "$script_pid" -f -- "--watch $WORK/tin" | head -1 || true)
[ -n "$tty_pid" ] || tty_pid=$(pgrep -f -- "pixquillbatch --watch $WORK/tin" | head -1)
before=$(cpu_ticks "$tty_pid")
sleep "$IDLE"
tty_cpu=$(( $(cpu_ticks "$tty_pid") - before ))
kill "$tty_pid" 2>/dev/null || true
wait "$script_pid" 2>/dev/null || true
echo "idle CPU with the status line: $tty_cpu ticks in $IDLE s" >&2

start_watch "$WORK/bin" "$WORK/bout"
burst() {  # burst FROM TO: renamed in, as rsync and gphoto2 finish a file
  local i
  for ((i = $1; i < $2; i++)); do
    cp "$WORK/tiny.dng" "$WORK/bin/.part"
    mv "$WORK/bin/.part" "$WORK/bin/IMG_$i.dng"
  done
}
wait_for() { until [ "$(find "$WORK/bout" -name '*.jpg' | wc -l)" -ge "$1" ]; do sleep 1; done; }
tenth=$((FILES / 10))
started=$(date +%s)
burst 0 "$tenth"
wait_for "$tenth"
peak_tenth=$(peak_kib "$watch_pid")
burst "$tenth" "$FILES"
wait_for "$FILES"
peak_all=$(peak_kib "$watch_pid")
burst_seconds=$(( $(date +%s) - started ))
stop_watch

cat <<EOF
### Watching a folder ($(date -u +%Y-%m-%d), $(nproc) cores, load average before $(load | cut -d' ' -f1))

| measure | figure |
|---|---|
| close to JPEG, 24 MP DNG with preview, one a second | $latency |
| the watch's CPU while idle, no terminal | $idle_cpu ticks (1/$hz s) in $IDLE s |
| the same with the status line on a terminal | $tty_cpu ticks in $IDLE s |
| peak memory of the watch, after $tenth files | $peak_tenth KiB |
| peak memory of the watch, after $FILES files | $peak_all KiB |
| $FILES tiny files renamed in, all converted | $burst_seconds s |
EOF
