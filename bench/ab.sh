#!/usr/bin/env bash
# Before and after: times two pixquillcmd binaries on the same conversion, alternating
# them run by run so that a change in the machine's load falls on both alike.
#
#   bench/ab.sh OLD_BINARY NEW_BINARY INPUT [pixquillcmd options...]
#   RUNS=15    runs of each binary; medians are shown
#   COUNT=1    also count the instructions of one run of each under callgrind (valgrind),
#              with the decoder's OpenMP pool at one thread: a figure that the load of a
#              shared machine does not move, where times of a few per cent drown in noise
#
# Prints median wall and CPU (user + system) seconds, peak resident MB, MB of the input
# read from storage (one run each with the input dropped from the page cache) and the
# new/old ratios, and checks that both wrote the same pixels.
set -euo pipefail
[ $# -ge 3 ] || { sed -n '2,10p' "$0"; exit 2; }
old="$(realpath "$1")" new="$(realpath "$2")" input="$(realpath "$3")"
shift 3
RUNS="${RUNS:-15}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/old" "$work/new"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
read_mb() {
  dd if="$input" iflag=nocache count=0 status=none 2>/dev/null || true
  "$1" -q -i "$input" -o "$2" "${@:3}" >/dev/null
  fincore --bytes --noheadings --output RES "$input" | awk '{ printf "%.1f", $1 / 1048576 }'
}

old_read=$(read_mb "$old" "$work/old" "$@")
new_read=$(read_mb "$new" "$work/new" "$@")
for ((i = 0; i < RUNS; i++)); do
  for side in old new; do
    binary="${!side}"
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$binary" -q -i "$input" -o "$work/$side" "$@" >/dev/null
    read -r wall user sys kb <"$work/time"
    echo "$wall" >>"$work/$side.wall"
    awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }' >>"$work/$side.cpu"
    echo $((kb / 1024)) >>"$work/$side.rss"
  done
done

instructions() {
  OMP_NUM_THREADS=1 valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" -q -i "$input" -o "$2" "${@:3}" 2>&1 |
    awk '/Collected :/ { sum += $NF } END { printf "%.3f", sum / 1e9 }'
}
old_count="" new_count=""
if [ "${COUNT:-0}" = 1 ]; then
  old_count=$(instructions "$old" "$work/old" "$@")
  new_count=$(instructions "$new" "$work/new" "$@")
fi

same="differ"
old_out=$(find "$work/old" -maxdepth 1 -type f | head -n 1)
new_out=$(find "$work/new" -maxdepth 1 -type f | head -n 1)
if cmp -s "$old_out" "$new_out"; then
  same="identical files"
elif [ "$(compare -metric AE "$old_out" "$new_out" null: 2>&1 || true)" = "0" ]; then
  same="identical pixels"
fi

printf '%s, %s runs each, load average %s\n' "$(basename "$input") $*" "$RUNS" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '| | wall s | CPU s | G instructions | peak MB | input MB read |\n|---|---:|---:|---:|---:|---:|\n'
for side in old new; do
  count_var="${side}_count" read_var="${side}_read"
  printf '| %s | %s | %s | %s | %s | %s |\n' "$side" "$(median <"$work/$side.wall")" "$(median <"$work/$side.cpu")" \
         "${!count_var:--}" "$(median <"$work/$side.rss")" "${!read_var}"
done
awk -v ow="$(median <"$work/old.wall")" -v nw="$(median <"$work/new.wall")" \
    -v oc="$(median <"$work/old.cpu")" -v nc="$(median <"$work/new.cpu")" \
    -v oi="$old_count" -v ni="$new_count" -v orr="$old_read" -v nr="$new_read" \
    'BEGIN { printf "| new/old | %.2f | %.2f | %s | | %.2f |\n", nw / ow, nc / oc, (oi > 0 ? sprintf("%.3f", ni / oi) : "-"), (orr > 0 ? nr / orr : 0) }'
echo "Outputs: $same"
