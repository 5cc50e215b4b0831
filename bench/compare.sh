#!/usr/bin/env bash
# Times pixquillcmd against general RAW and JPEG tools doing the same work on the same
# files, and against the sum of its own library calls. One command does all of it on a
# fresh Debian machine: installs what it needs, builds, makes its inputs, runs every
# scenario and writes bench/RESULTS.md.
#
#   bench/compare.sh                 every scenario; writes bench/RESULTS.md
#   bench/compare.sh preview raw48   only these scenarios; writes bench/work/results.md only
#
#   RUNS=5           timed runs per command after one untimed cold run; medians with min-max.
#                    Scenarios of commands that take well under a second run 3 x RUNS.
#   BUILD_DIR=build-bench   where the Release build goes
#   SAMPLES=...      folder of real camera files (default ../shared/samples/raw)
#   PIXQUILL=...     time this pixquillcmd binary instead of the one built here
#   COUNT=0          1: also count the instructions of each command of the preview, overlays,
#                    camera and camera-full scenarios under callgrind (every process of a pipeline, the
#                    decoder's OpenMP pool at one thread): figures the machine's load does not move
#
# Columns: wall and CPU (user + system, every process of the command) in seconds as
# "median (min-max)", peak resident memory of the largest process, MB of the input that the
# command read from storage (measured in the cold run, with the file dropped from the page
# cache first), size of the JPEG written, and its agreement with pixquillcmd's JPEG of the
# same scenario (PSNR in dB; "same" when identical). "tool/pq" is the tool's time divided by
# pixquillcmd's: above 1, pixquillcmd is faster. The machine is shared, so CPU time is the
# steadier figure.
#
# Generated inputs and outputs go to bench/work/ (not versioned).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
WORK="$ROOT/bench/work"
RUNS="${RUNS:-5}"
BUILD_DIR="${BUILD_DIR:-build-bench}"
SAMPLES="${SAMPLES:-$ROOT/../shared/samples/raw}"
COUNT="${COUNT:-0}"
COUNTED_SCENARIOS=" preview overlays camera camera-full "
SHORT_SCENARIOS=" preview resize overlays camera camera-full "
RESULTS="$ROOT/bench/RESULTS.md"
INVOCATION="RUNS=$RUNS COUNT=$COUNT bench/compare.sh${*:+ $*}"

# ---- tools -------------------------------------------------------------------------------

# Debian packages of the tools measured against and of the measuring itself (GNU time for
# peak memory, util-linux-extra for fincore, valgrind for COUNT=1, hyperfine for the
# start-up); installed when missing.
PEER_PACKAGES=(dcraw libraw-bin libjpeg-turbo-progs imagemagick libvips-tools time util-linux-extra valgrind hyperfine)

install_packages() {
  PACKAGES_ONLY=1 ./scripts/setup.sh
  ./scripts/install-packages.sh "${PEER_PACKAGES[@]}"
}

build_programs() {
  mkdir -p "$WORK"
  if ! { cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DPIXQUILL_BENCH=ON &&
         cmake --build "$BUILD_DIR" -j"$(nproc)" --target pixquillcmd make_test_dng \
                       pixquill_library_call_timer pixquill_startup_floor; } >"$WORK/build.log" 2>&1; then
    tail -n 30 "$WORK/build.log" >&2
    echo "The build failed; the whole log is $WORK/build.log" >&2
    exit 1
  fi
  PQ="${PIXQUILL:-$ROOT/$BUILD_DIR/pixquillcmd}"
  CALL_TIMER="$ROOT/$BUILD_DIR/bench/pixquill_library_call_timer"
  STARTUP_FLOOR="$ROOT/$BUILD_DIR/bench/pixquill_startup_floor"
  MAKE_DNG="$ROOT/$BUILD_DIR/tests/make_test_dng"
}

# ImageMagick's own programs, even where another program of that name comes first on PATH.
CONVERT=/usr/bin/convert
COMPARE=/usr/bin/compare
IDENTIFY=/usr/bin/identify

# ---- inputs ------------------------------------------------------------------------------

# 24 megapixels, as a current camera makes them; noise makes them cost what photographs
# cost to decode and encode.
make_inputs() {
  mkdir -p "$WORK/in"
  PREVIEW_DNG="$WORK/in/preview24.dng"
  MOSAIC_DNG="$WORK/in/mosaic24.dng"
  [ -s "$PREVIEW_DNG" ] || "$MAKE_DNG" "$PREVIEW_DNG" --width 6000 --height 4000 --preview --exif --noise 8
  [ -s "$MOSAIC_DNG" ] || "$MAKE_DNG" "$MOSAIC_DNG" --width 6000 --height 4000 --exif --noise 8
  CAMERA_CRW="$SAMPLES/RAW_CANON_D30_SRGB.CRW"
}

# ---- scenarios ---------------------------------------------------------------------------
# scenario | input | tool | command. In a command, {pq} is pixquillcmd, {in} the input,
# {dir} an empty folder for the command's files and {out} the JPEG it must leave there.
# {parts} MODE [ARGS] runs the library call timer (MODE INPUT OUTPUT [ARGS]): the row's
# times are the sum of the parts it prints.
# The first row of a scenario is pixquillcmd, the reference of the ratios.
FRAME='--fr-solid-left=40 --fr-solid-right=40 --fr-solid-top=40 --fr-solid-bottom=40 --fr-solid-top-color=204080'
WATERMARK="--wm-text='Quillmark bench 2026' --wm-font-size=160 --wm-font-color=FF0000"
SCENARIOS=$(cat <<EOF
preview|PREVIEW_DNG|pixquillcmd (defaults)|{pq} -q -i {in} -o {dir}
preview|PREVIEW_DNG|dcraw -e → djpeg -dct fast -nosmooth → cjpeg (the floor)|dcraw -e -c {in} | djpeg -dct fast -nosmooth | cjpeg -quality 95 -sample 1x1 > {out}
preview|PREVIEW_DNG|FreeImage alone: RAW preview load + JPEG save (the way pixquillcmd used)|{parts} preview
preview|PREVIEW_DNG|dcraw -e → ImageMagick convert|dcraw -e -c {in} | CONVERT jpg:- -quality 95 -sampling-factor 1x1 {out}
preview|PREVIEW_DNG|dcraw -e → vips copy|dcraw -e -c {in} | vips copy stdin '{out}[Q=95]'
preview|PREVIEW_DNG|dcraw -e alone (copies, no re-encode)|dcraw -e -c {in} > {out}
full|MOSAIC_DNG|pixquillcmd (defaults: no preview, 8-bit decode)|{pq} -q -i {in} -o {dir}
full|MOSAIC_DNG|pixquillcmd --raw-load-as=24|{pq} -q -i {in} -o {dir} --raw-load-as=24
full|MOSAIC_DNG|dcraw_emu → cjpeg|dcraw_emu -w -W -q 3 -Z - {in} | cjpeg -quality 95 -sample 1x1 > {out}
full|MOSAIC_DNG|dcraw → cjpeg|dcraw -c -w -W -q 3 {in} | cjpeg -quality 95 -sample 1x1 > {out}
full|MOSAIC_DNG|FreeImage parts: RAW 8-bit decode + JPEG save|{parts} 24
full|MOSAIC_DNG|dcraw_emu → ImageMagick convert|dcraw_emu -w -W -q 3 -Z - {in} | CONVERT ppm:- -quality 95 -sampling-factor 1x1 {out}
full|MOSAIC_DNG|dcraw_emu → vips copy|dcraw_emu -w -W -q 3 -Z - {in} | vips copy stdin '{out}[Q=95]'
raw48|MOSAIC_DNG|pixquillcmd --raw-load-as=48 (tone mapping AL)|{pq} -q -i {in} -o {dir} --raw-load-as=48
raw48|MOSAIC_DNG|pixquillcmd --raw-load-as=48 --raw-tone-mapping=NONE|{pq} -q -i {in} -o {dir} --raw-load-as=48 --raw-tone-mapping=NONE
raw48|MOSAIC_DNG|FreeImage parts: RAW 16-bit decode + TmoDrago03 + JPEG save|{parts} 48
raw48|MOSAIC_DNG|dcraw_emu 16-bit → cjpeg|dcraw_emu -6 -w -W -q 3 -Z - {in} | cjpeg -quality 95 -sample 1x1 > {out}
raw48|MOSAIC_DNG|dcraw 16-bit → cjpeg|dcraw -c -6 -w -W -q 3 {in} | cjpeg -quality 95 -sample 1x1 > {out}
shrink|MOSAIC_DNG|pixquillcmd --raw-load-as=24, 1600 px (Bicubic, the default filter)|{pq} -q -i {in} -o {dir} --raw-load-as=24 --width=1600 --height=1600 --keep-aspect-ratio
shrink|MOSAIC_DNG|dcraw_emu -h → vipsthumbnail --size 1600|dcraw_emu -h -w -W -Z - {in} | vipsthumbnail stdin --size 1600 -o '{out}[Q=95]'
shrink|MOSAIC_DNG|dcraw_emu → cjpeg at full size|dcraw_emu -w -W -q 3 -Z - {in} | cjpeg -quality 95 -sample 1x1 > {out}
shrink|MOSAIC_DNG|FreeImage parts: RAW 8-bit decode + rescale + JPEG save (the full-size route)|{parts} 24 1600 1
resize|PREVIEW_DNG|pixquillcmd (1600 px, Lanczos)|{pq} -q -i {in} -o {dir} --width=1600 --height=1600 --keep-aspect-ratio --resize-algorithm=LANCZOS
resize|PREVIEW_DNG|dcraw -e → vipsthumbnail|dcraw -e -c {in} | vipsthumbnail stdin --size 1600 -o '{out}[Q=95]'
resize|PREVIEW_DNG|FreeImage alone: preview load + rescale + JPEG save (the full-size route)|{parts} preview 1600 5
resize|PREVIEW_DNG|dcraw -e → ImageMagick convert|dcraw -e -c {in} | CONVERT jpg:- -filter Lanczos -resize 1600x1600 -quality 95 -sampling-factor 1x1 {out}
overlays|PREVIEW_DNG|pixquillcmd (defaults)|{pq} -q -i {in} -o {dir}
overlays|PREVIEW_DNG|pixquillcmd + 40 px frame on four sides|{pq} -q -i {in} -o {dir} $FRAME
overlays|PREVIEW_DNG|pixquillcmd + text watermark|{pq} -q -i {in} -o {dir} $WATERMARK
overlays|PREVIEW_DNG|pixquillcmd --rotation=0 (a turn by 0 degrees: the same file through the whole-image path)|{pq} -q -i {in} -o {dir} --rotation=0
camera|CAMERA_CRW|pixquillcmd (defaults)|{pq} -q -i {in} -o {dir}
camera|CAMERA_CRW|dcraw -e → djpeg -dct fast -nosmooth → cjpeg|dcraw -e -c {in} | djpeg -dct fast -nosmooth | cjpeg -quality 95 -sample 1x1 > {out}
camera|CAMERA_CRW|dcraw -e → vips copy|dcraw -e -c {in} | vips copy stdin '{out}[Q=95]'
camera-full|CAMERA_CRW|pixquillcmd (--raw-load-as=24)|{pq} -q -i {in} -o {dir} --raw-load-as=24
camera-full|CAMERA_CRW|dcraw_emu → cjpeg|dcraw_emu -w -W -q 3 -Z - {in} | cjpeg -quality 95 -sample 1x1 > {out}
camera-full|CAMERA_CRW|dcraw → cjpeg|dcraw -c -w -W -q 3 {in} | cjpeg -quality 95 -sample 1x1 > {out}
camera-full|CAMERA_CRW|FreeImage parts: RAW 8-bit decode + JPEG save|{parts} 24
EOF
)

SCENARIO_TITLES=$(cat <<'EOF'
preview|24 MP DNG with a full-size JPEG preview → JPEG, quality 95, 4:4:4 (pixquillcmd's defaults use the preview)
full|24 MP DNG without a preview → JPEG, quality 95, 4:4:4: full 8-bit decode (AHD, camera white balance, BT.709 curve, no auto-brightening)
raw48|24 MP DNG without a preview → 16-bit full decode → 8 bits → JPEG quality 95, 4:4:4
shrink|24 MP DNG without a preview → full decode → 1600 px on the long side (the half-size decode), JPEG quality 95
resize|24 MP DNG preview → 1600 px on the long side, Lanczos, JPEG quality 95
overlays|24 MP DNG preview → JPEG, with a frame or a text watermark drawn on the full-size image
camera|Real camera file (Canon EOS D30 CRW, 2160 x 1440) → JPEG quality 95 from its embedded preview
camera-full|Real camera file (Canon EOS D30 CRW) → JPEG quality 95 from a full decode
EOF
)

# ---- measuring ---------------------------------------------------------------------------

# "median min max" of the numbers on standard input.
stats() {
  sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "nan nan nan"; exit }
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    print m, v[1], v[NR] }'
}

# Drops one file from the page cache (fadvise), so that the next read comes from storage.
# A file written moments ago is written back first: dirty pages cannot be dropped.
drop_from_cache() {
  sync "$1" 2>/dev/null || true
  dd if="$1" iflag=nocache count=0 status=none 2>/dev/null || true
}

# MB of the file now in the page cache.
cached_mb() { fincore --bytes --noheadings --output RES "$1" 2>/dev/null | awk '{ printf "%.1f", $1 / 1048576 }'; }

# The JPEG a command left in its folder (pixquillcmd names it after the input).
result_of() { find "$1" -maxdepth 1 -name '*.jpg' -newer "$2" | head -n 1; }

# One cold run of a command, with its input dropped from the page cache first: prints the
# MB of the input it read. The folder is emptied first.
cold_run() {
  local command="$1" input="$2" dir="$3"
  rm -rf "$dir" && mkdir -p "$dir"
  drop_from_cache "$input"
  bash -c "$command" >/dev/null 2>&1 || { echo "FAILED: $command" >&2; return 1; }
  cached_mb "$input"
}

# One timed run; appends "wall cpu rssMB" to $dir/.runs. A part-timer command counts the
# sum of the parts it reports.
timed_run() {
  local command="$1" dir="$2" parts="$3" wall user sys kb cpu
  rm -f "$dir"/*.jpg && touch "$dir/.stamp"
  /usr/bin/time -f '%e %U %S %M' -o "$dir/.time" bash -c "$command" >"$dir/.printed" 2>/dev/null ||
    { echo "FAILED: $command" >&2; return 1; }
  read -r wall user sys kb <"$dir/.time"
  if [ "$parts" = 1 ]; then
    read -r wall cpu < <(awk '{ w += $2; c += $3 } END { print w, c }' "$dir/.printed")
  else
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
  fi
  echo "$wall $cpu $((kb / 1024))" >>"$dir/.runs"
}

# Billions of instructions of every process of the command, under callgrind.
# "n/a" when a process of the command fails under valgrind (vips dies of an instruction
# valgrind does not know on some processors).
count_instructions() {
  local log status=0
  log=$(OMP_NUM_THREADS=1 valgrind --tool=callgrind --trace-children=yes --callgrind-out-file=/dev/null \
          bash -c "$1" 2>&1 >/dev/null) || status=$?
  if [ "$status" != 0 ]; then echo "n/a"; return; fi
  awk '/Collected :/ { n += $NF } END { printf "%.3f", n / 1e9 }' <<<"$log"
}

# "wall(median min max) cpu(median min max) rssMB" of the runs in $dir/.runs.
summarise_runs() {
  local dir="$1"
  echo "$(cut -d' ' -f1 "$dir/.runs" | stats) $(cut -d' ' -f2 "$dir/.runs" | stats) $(cut -d' ' -f3 "$dir/.runs" | stats | cut -d' ' -f1)"
}

# PSNR of one JPEG against another, "same" when identical, the size when they differ.
agreement() {
  local reference="$1" file="$2"
  [ "$reference" = "$file" ] && { echo "reference"; return; }
  if [ "$($IDENTIFY -format '%wx%h' "$reference")" != "$($IDENTIFY -format '%wx%h' "$file")" ]; then
    echo "size $($IDENTIFY -format '%wx%h' "$file")"
    return
  fi
  local psnr
  psnr=$($COMPARE -metric PSNR "$reference" "$file" null: 2>&1 || true)
  case "$psnr" in inf*) echo "same" ;; *) printf '%.1f dB\n' "$psnr" ;; esac
}

declare -A RESULT  # "scenario:row" -> "wallMedian cpuMedian rssMB outputFile"
declare -A COUNTS  # "scenario:row" -> billions of instructions (COUNT=1)
LOADS=()           # one-minute load average at the start of each scenario
declare -A SCENARIO_LOAD  # scenario -> one-minute load average at its start

run_scenario() {
  local name="$1" title rows input_var input
  LOADS+=("$(cut -d' ' -f1 /proc/loadavg)")
  SCENARIO_LOAD[$name]=${LOADS[-1]}
  title=$(grep "^$name|" <<<"$SCENARIO_TITLES" | cut -d'|' -f2-)
  rows=$(grep "^$name|" <<<"$SCENARIOS")
  input_var=$(head -n 1 <<<"$rows" | cut -d'|' -f2)
  input="${!input_var}"
  if [ ! -s "$input" ]; then
    printf '### %s: skipped, no input file %s\n\n' "$name" "$input"
    return
  fi
  printf '### %s: %s\n\nInput: %s, %s\n\n' "$name" "$title" "$(basename "$input")" \
         "$(awk -v b="$(stat -c %s "$input")" 'BEGIN { printf "%.1f MB", b / 1048576 }')"
  local counted=0
  [ "$COUNT" = 1 ] && [[ "$COUNTED_SCENARIOS" == *" $name "* ]] && counted=1
  if [ "$counted" = 1 ]; then
    echo "| tool | wall s | tool/pq | CPU s | tool/pq | G instructions | tool/pq | peak MB | input MB read | JPEG MB | agreement |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"
  else
    echo "| tool | wall s | tool/pq | CPU s | tool/pq | peak MB | input MB read | JPEG MB | agreement |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---|"
  fi
  # Every command once cold, then RUNS rounds in which each command runs once, so that a
  # change in the machine's load falls on all of them alike.
  local index=0 tool template command dir parts mode args
  local -a tools=() commands=() dirs=() partss=() reads=()
  while IFS='|' read -r _ _ tool template; do
    index=$((index + 1))
    dir="$WORK/out/$name/$index"
    parts=0
    command="$template"
    if [[ "$template" == "{parts} "* ]]; then
      parts=1
      read -r _ mode args <<<"$template"
      command="$CALL_TIMER $mode {in} {out}${args:+ $args}"
    fi
    command="${command//\{pq\}/$PQ}"
    command="${command//\{in\}/$input}"
    command="${command//\{dir\}/$dir}"
    command="${command//\{out\}/$dir/out.jpg}"
    command="${command//CONVERT/$CONVERT}"
    tools+=("$tool") commands+=("$command") dirs+=("$dir") partss+=("$parts")
    reads+=("$(cold_run "$command" "$input" "$dir" || echo failed)")
  done <<<"$rows"
  local i k runs=$RUNS
  [[ "$SHORT_SCENARIOS" == *" $name "* ]] && runs=$((RUNS * 3))
  for ((i = 0; i < runs; i++)); do
    for k in "${!commands[@]}"; do
      [ "${reads[$k]}" = failed ] || timed_run "${commands[$k]}" "${dirs[$k]}" "${partss[$k]}" || reads[$k]=failed
    done
  done
  local reference_wall="" reference_cpu="" reference_file="" reference_instructions=""
  for k in "${!commands[@]}"; do
    tool="${tools[$k]}"
    if [ "${reads[$k]}" = failed ]; then
      echo "| $tool | failed | | | | | | | |"
      continue
    fi
    local wall wall_min wall_max cpu cpu_min cpu_max rss file
    read -r wall wall_min wall_max cpu cpu_min cpu_max rss <<<"$(summarise_runs "${dirs[$k]}")"
    file=$(result_of "${dirs[$k]}" "${dirs[$k]}/.stamp")
    [ -n "$reference_file" ] || reference_wall=$wall reference_cpu=$cpu reference_file=$file
    RESULT["$name:$((k + 1))"]="$wall $cpu $rss $file"
    local size agree instructions=""
    size=$(awk -v b="$(stat -c %s "$file")" 'BEGIN { printf "%.2f", b / 1048576 }')
    agree=$(agreement "$reference_file" "$file")
    if [ "$counted" = 1 ]; then
      instructions=$(count_instructions "${commands[$k]}")
      [ -n "$reference_instructions" ] || reference_instructions=$instructions
      if [ "$instructions" = "n/a" ]; then
        instructions=" n/a | |"
      else
        instructions=$(awk -v n="$instructions" -v r="$reference_instructions" 'BEGIN { printf " %.3f | %.2f |", n, n / r }')
        COUNTS["$name:$((k + 1))"]="${instructions%% |*}"
      fi
    fi
    awk -v t="$tool" -v w="$wall" -v w0="$wall_min" -v w1="$wall_max" -v c="$cpu" -v c0="$cpu_min" -v c1="$cpu_max" \
        -v rw="$reference_wall" -v rc="$reference_cpu" -v n="$instructions" -v m="$rss" -v r="${reads[$k]}" -v s="$size" -v a="$agree" \
        'BEGIN { printf "| %s | %.2f (%.2f–%.2f) | %.2f | %.2f (%.2f–%.2f) | %.2f |%s %d | %s | %s | %s |\n",
                 t, w, w0, w1, w / rw, c, c0, c1, c / rc, n, m, r, s, a }'
  done
  echo
}

# Start-up: `pixquillcmd -v` against a program that loads the same libraries and only prints
# a version, and against one that loads none. Each run is timed by hyperfine without a shell
# in between (a shell's fork and wait would add a millisecond); the three commands alternate
# run by run, so that a change in the machine's load falls on all of them alike.
run_startup() {
  LOADS+=("$(cut -d' ' -f1 /proc/loadavg)")
  local runs=101 csv="$WORK/.startup.csv" i k
  local -a commands=("$PQ -v" "$STARTUP_FLOOR" /bin/true) names=("pixquillcmd -v" pixquill_startup_floor /bin/true)
  printf '### startup: the program'"'"'s own start-up cost (`pixquillcmd -v`), %d runs each (hyperfine)\n\n' "$runs"
  echo "| command | wall ms | CPU ms per run | peak MB |"
  echo "|---|---:|---:|---:|"
  for k in "${!commands[@]}"; do : >"$WORK/.startup.$k"; done
  for ((i = 0; i < runs; i++)); do
    for k in "${!commands[@]}"; do
      hyperfine -N --runs 1 --export-csv "$csv" "${commands[$k]}" >/dev/null 2>&1
      # command,mean,stddev,median,user,system,min,max
      tail -n 1 "$csv" | awk -F, '{ print $2 * 1000, ($5 + $6) * 1000 }' >>"$WORK/.startup.$k"
    done
  done
  local median low high cpu rss
  for k in "${!commands[@]}"; do
    read -r median low high < <(cut -d' ' -f1 "$WORK/.startup.$k" | stats)
    read -r cpu _ _ < <(cut -d' ' -f2 "$WORK/.startup.$k" | stats)
    /usr/bin/time -f '%M' -o "$WORK/.startup" ${commands[$k]} >/dev/null
    rss=$(awk '{ printf "%.1f", $1 / 1024 }' "$WORK/.startup")
    [ "$k" = 0 ] && STARTUP_MS=$median
    [ "$k" = 1 ] && STARTUP_FLOOR_MS=$median
    printf '| `%s` | %.2f (%.2f–%.2f) | %.2f | %s |\n' "${names[$k]}" "$median" "$low" "$high" "$cpu" "$rss"
  done
  echo
}

# Throughput: the same batch converted one file after another and two at a time
# (xargs -P 2), RUNS times each, alternating.
run_batch() {
  LOADS+=("$(cut -d' ' -f1 /proc/loadavg)")
  local batch="$WORK/in/batch" out="$WORK/out/batch" i
  rm -rf "$batch" && mkdir -p "$batch"
  for i in 1 2 3 4 5 6 7 8; do ln "$PREVIEW_DNG" "$batch/copy$i.dng"; done
  [ -d "$SAMPLES" ] && find "$SAMPLES" -maxdepth 1 -type f ! -name '*.md' -exec ln -s {} "$batch/" \;
  local files count
  files=$(find "$batch" -mindepth 1 -maxdepth 1 | sort)
  count=$(wc -l <<<"$files")
  printf '### batch: %d files (8 links to the 24 MP preview DNG and the real camera samples), defaults\n\n' "$count"
  echo "| how | wall s | CPU s | files per second | converted | speed-up |"
  echo "|---|---:|---:|---:|---:|---:|"
  printf '%s\n' "$files" >"$WORK/.batch"
  local sequential="while read -r f; do $PQ -q -i \"\$f\" -o $out; done <$WORK/.batch"
  local parallel="xargs -P 2 -I{} $PQ -q -i {} -o $out <$WORK/.batch"
  declare -A walls=() cpus=()
  local how
  for ((i = 0; i < RUNS; i++)); do
    for how in sequential parallel; do
      rm -rf "$out" && mkdir -p "$out"
      /usr/bin/time -f '%e %U %S' -o "$WORK/.batchtime" bash -c "${!how}" >/dev/null 2>&1 || true
      read -r wall user sys <"$WORK/.batchtime"
      walls[$how]+="$wall "
      cpus[$how]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') "
      CONVERTED[$how]=$(find "$out" -name '*.jpg' | wc -l)
    done
  done
  local sequential_wall=""
  for how in sequential parallel; do
    read -r wall low high < <(tr ' ' '\n' <<<"${walls[$how]}" | grep . | stats)
    read -r cpu _ _ < <(tr ' ' '\n' <<<"${cpus[$how]}" | grep . | stats)
    [ -n "$sequential_wall" ] || sequential_wall=$wall
    local label="one at a time"
    [ "$how" = parallel ] && label='`xargs -P 2`'
    awk -v l="$label" -v w="$wall" -v w0="$low" -v w1="$high" -v c="$cpu" -v n="$count" -v k="${CONVERTED[$how]}" -v s="$sequential_wall" \
        'BEGIN { printf "| %s | %.2f (%.2f–%.2f) | %.2f | %.2f | %d of %d | %.2f |\n", l, w, w0, w1, c, n / w, k, n, s / w }'
  done
  echo
}
declare -A CONVERTED

# Shrink-on-load changes pixel values only: every filter's resize from the preview decoded
# at a reduced size, against the same resize from the full-size decode (the library call
# timer's FreeImage-only route), as PSNR of the two JPEGs.
FILTERS="BOX:0 BILINEAR:2 BSPLINE:3 BICUBIC:1 CATMULLROM:4 LANCZOS:5"  # pixquillcmd's name : FreeImage's number
# input : longer side : load (preview, or the full decodes 24 and 48, which shrink to LibRaw's half size)
FILTER_CASES="PREVIEW_DNG:1600:preview PREVIEW_DNG:400:preview CAMERA_CRW:700:preview CAMERA_CRW:360:preview
  CAMERA_CRW:240:preview CAMERA_CRW:120:preview MOSAIC_DNG:1600:24 MOSAIC_DNG:400:24 CAMERA_CRW:700:24
  CAMERA_CRW:360:24 CAMERA_CRW:240:24 CAMERA_CRW:120:24 MOSAIC_DNG:1600:48 CAMERA_CRW:360:48"

run_filters() {
  LOADS+=("$(cut -d' ' -f1 /proc/loadavg)")
  local out="$WORK/out/filters" entry name number input_var side input psnr row load loadas
  printf '### filters: resize from the reduced decode against the full-size route, PSNR (dB) of the JPEGs\n\n'
  printf '| input → longer side |'; for entry in $FILTERS; do printf ' %s |' "${entry%%:*}"; done; echo
  printf '|---|'; for entry in $FILTERS; do printf -- '---:|'; done; echo
  PSNR_MIN=""
  for row in $FILTER_CASES; do
    IFS=: read -r input_var side load <<<"$row"
    input="${!input_var}"
    [ -s "$input" ] || continue
    loadas=()
    [ "$load" = preview ] || loadas=(--raw-load-as="$load")
    printf '| %s → %s px (%s) |' "$(basename "$input")" "$side" "$load"
    for entry in $FILTERS; do
      name=${entry%%:*} number=${entry##*:}
      rm -rf "$out" && mkdir -p "$out/pq"
      "$PQ" -q -i "$input" -o "$out/pq" "${loadas[@]}" --width="$side" --height="$side" --keep-aspect-ratio \
        --resize-algorithm="$name"
      "$CALL_TIMER" "$load" "$input" "$out/full.jpg" "$side" "$number" >/dev/null
      psnr=$($COMPARE -metric PSNR "$out/full.jpg" "$out"/pq/*.jpg null: 2>&1 || true)
      case "$psnr" in
        inf*) printf ' same |' ;;
        *) printf ' %.1f |' "$psnr"
           PSNR_MIN=$(awk -v a="$psnr" -v m="$PSNR_MIN" 'BEGIN { print (m == "" || a < m) ? a : m }') ;;
      esac
    done
    echo
  done
  echo
}

# ---- targets -----------------------------------------------------------------------------

field() { cut -d' ' -f"$2" <<<"${RESULT[$1]:-}"; }

ratio_row() {
  local what="$1" row="$2" reference="$3" limit="$4" column="$5"
  [ -n "${RESULT[$row]:-}" ] && [ -n "${RESULT[$reference]:-}" ] || return 0
  awk -v w="$what" -v a="$(field "$row" "$column")" -v b="$(field "$reference" "$column")" -v l="$limit" \
      -v wa="$(field "$row" 1)" -v wb="$(field "$reference" 1)" \
      'BEGIN { r = a / b; printf "| %s | %.2f s CPU / %.2f s CPU (wall %.2f / %.2f) | %.2f× | ≤ %.2f× | %s |\n",
               w, a, b, wa, wb, r, l, (r <= l ? "met" : "**not met**") }'
}

added_row() {
  local what="$1" row="$2" reference="$3"
  [ -n "${RESULT[$row]:-}" ] && [ -n "${RESULT[$reference]:-}" ] || return 0
  awk -v w="$what" -v a="$(field "$row" 1)" -v b="$(field "$reference" 1)" \
      -v ca="$(field "$row" 2)" -v cb="$(field "$reference" 2)" \
      'BEGIN { d = (a - b) * 1000; printf "| %s | %+.0f ms wall (%+.0f ms CPU) over the plain conversion on the whole-image path | | ≤ 100 ms | %s |\n",
               w, d, (ca - cb) * 1000, (d <= 100 ? "met" : "**not met**") }'
}

peak_ratio_row() {
  local what="$1" row="$2" reference="$3" limit="$4"
  [ -n "${RESULT[$row]:-}" ] && [ -n "${RESULT[$reference]:-}" ] || return 0
  awk -v w="$what" -v a="$(field "$row" 3)" -v b="$(field "$reference" 3)" -v l="$limit" \
      'BEGIN { r = a / b; printf "| %s | %d MiB / %d MiB | %.2f× | ≤ %.2f× | %s |\n", w, a, b, r, l, (r <= l ? "met" : "**not met**") }'
}

peak_row() {
  local what="$1" row="$2" limit="$3"
  [ -n "${RESULT[$row]:-}" ] || return 0
  awk -v w="$what" -v a="$(field "$row" 3)" -v l="$limit" \
      'BEGIN { printf "| %s | %d MiB | | ≤ %d MiB | %s |\n", w, a, l, (a <= l ? "met" : "**not met**") }'
}

# Wall times only count on an idle machine (one-minute load below 0.3 when the scenario began).
idle_wall_row() {
  local what="$1" row="$2" reference="$3" limit="$4" load="${SCENARIO_LOAD[${2%%:*}]:-}"
  [ -n "${RESULT[$row]:-}" ] && [ -n "${RESULT[$reference]:-}" ] || return 0
  awk -v w="$what" -v a="$(field "$row" 1)" -v b="$(field "$reference" 1)" -v l="$limit" -v load="$load" \
      'BEGIN { r = a / b; idle = load < 0.3;
               printf "| %s | %.2f s / %.2f s wall | %.2f× | ≤ %.2f× | %s |\n", w, a, b, r, l,
                      (!idle ? "not measurable: load " load : (r <= l ? "met" : "**not met**")) }'
}

print_targets() {
  echo "## Targets"
  echo
  echo "| target | pixquillcmd / reference | ratio | limit | |"
  echo "|---|---|---:|---:|---|"
  ratio_row "default conversion vs its floor (dcraw -e → djpeg -dct fast -nosmooth → cjpeg)" preview:1 preview:2 0.85 2
  idle_wall_row "default conversion vs its floor, wall time on an idle machine" preview:1 preview:2 0.75
  if [ -n "${COUNTS[preview:1]:-}" ] && [ -n "${COUNTS[preview:2]:-}" ]; then
    awk -v a="${COUNTS[preview:1]}" -v b="${COUNTS[preview:2]}" \
        'BEGIN { r = a / b; printf "| default conversion vs its floor, in instructions | %.3f G / %.3f G | %.2f× | ≤ 1.15× | %s |\n",
                 a, b, r, (r <= 1.15 ? "met" : "**not met**") }'
  fi
  peak_row "peak memory, default conversion (24 MP preview)" preview:1 30
  ratio_row "resize to 1600 px, Lanczos, vs dcraw -e → vipsthumbnail" resize:1 resize:2 0.80 2
  peak_row "peak memory, resize from the 24 MP preview" resize:1 40
  if [ -n "${PSNR_MIN:-}" ]; then
    awk -v p="$PSNR_MIN" 'BEGIN { printf "| resize from a reduced decode vs the full-size route, lowest PSNR of every filter (filters table) | %.1f dB | | ≥ 40 dB | %s |\n",
                                   p, (p >= 40 ? "met" : "**not met**") }'
  fi
  ratio_row "--raw-load-as=24 to 1600 px vs dcraw_emu → cjpeg at full size (24 MP)" shrink:1 shrink:3 0.25 2
  ratio_row "--raw-load-as=24 to 1600 px vs dcraw_emu -h → vipsthumbnail" shrink:1 shrink:2 1.00 2
  peak_row "peak memory, --raw-load-as=24 to 1600 px (24 MP)" shrink:1 110
  peak_ratio_row "peak memory, --raw-load-as=24 vs dcraw_emu (24 MP)" full:2 full:3 1.03
  peak_ratio_row "peak memory, --raw-load-as=48 --raw-tone-mapping=NONE vs dcraw_emu -6 (24 MP)" raw48:2 raw48:4 1.03
  ratio_row "--raw-load-as=24 vs dcraw_emu → cjpeg (24 MP)" full:2 full:3 1.10 2
  ratio_row "--raw-load-as=24 vs dcraw_emu → cjpeg (Canon CRW)" camera-full:1 camera-full:2 1.10 2
  if [ -n "${COUNTS[camera-full:1]:-}" ] && [ -n "${COUNTS[camera-full:2]:-}" ]; then
    awk -v a="${COUNTS[camera-full:1]}" -v b="${COUNTS[camera-full:2]}" \
        'BEGIN { r = a / b; printf "| --raw-load-as=24 vs dcraw_emu → cjpeg (Canon CRW), in instructions | %.3f G / %.3f G | %.2f× | ≤ 1.10× | %s |\n",
                 a, b, r, (r <= 1.10 ? "met" : "**not met**") }'
  fi
  ratio_row "--raw-load-as=48 vs the sum of its own parts" raw48:1 raw48:3 1.10 2
  added_row "40 px frame on 24 MP" overlays:2 overlays:4
  added_row "text watermark on 24 MP" overlays:3 overlays:4
  if [ -n "${STARTUP_MS:-}" ]; then
    awk -v s="$STARTUP_MS" -v f="${STARTUP_FLOOR_MS:-0}" \
        'BEGIN { printf "| `pixquillcmd -v` (its libraries alone: %.1f ms) | %.1f ms wall | | < 10 ms | %s |\n", f, s, (s < 10 ? "met" : "**not met**") }'
  fi
  echo
  echo "CPU time decides the ratios (the machine is shared; wall times move with its load, and"
  echo "count only when the machine was idle). Peak memory is in MiB (GNU time's maximum resident"
  echo "set), of the largest process of a pipeline."
  echo
}

# ---- main --------------------------------------------------------------------------------

install_packages
build_programs
make_inputs
mkdir -p "$WORK/out"

wanted=("$@")
[ ${#wanted[@]} -gt 0 ] || mapfile -t wanted < <({ cut -d'|' -f1 <<<"$SCENARIOS" | uniq; echo filters; echo startup; echo batch; })

start_load=$(cut -d' ' -f1-3 /proc/loadavg)
body="$WORK/.body"
: >"$body"
for scenario in "${wanted[@]}"; do
  # Not in a pipe: the scenarios leave their figures in RESULT for the targets table.
  shown=$(stat -c %s "$body")
  case "$scenario" in
    startup) run_startup ;;
    batch) run_batch ;;
    filters) run_filters ;;
    *) run_scenario "$scenario" ;;
  esac >>"$body"
  tail -c +"$((shown + 1))" "$body" >&2
done
end_load=$(cut -d' ' -f1-3 /proc/loadavg)

{
  echo "# Benchmark results"
  echo
  echo "Produced by \`$INVOCATION\` on $(date '+%Y-%m-%d %H:%M %Z')."
  echo
  echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores," \
       "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), Linux $(uname -r)."
  echo "Load average (1, 5, 15 min) at the start $start_load, at the end $end_load; one-minute load at the" \
       "start of each scenario: $(printf '%s\n' "${LOADS[@]}" | paste -sd' ')."
  echo "$RUNS timed runs per command after one cold run ($((RUNS * 3)) for the scenarios of short commands:$SHORT_SCENARIOS); times are \"median (min–max)\"."
  echo
  echo "Versions: $(dpkg-query -W -f='${Package} ${Version}; ' dcraw libraw-bin libjpeg-turbo-progs imagemagick libvips-tools libfreeimage3 libraw20 2>/dev/null)"
  echo
  print_targets
  echo "## Scenarios"
  echo
  cat "$body"
} >"$WORK/results.md"

# A run of every scenario replaces the figures in bench/RESULTS.md; the notes below the
# marker line there are written by hand and kept.
if [ $# -eq 0 ]; then
  marker="<!-- Notes below this line are kept when compare.sh rewrites the figures above. -->"
  notes=""
  [ -f "$RESULTS" ] && notes=$(sed -n "/^$marker\$/,\$p" "$RESULTS" | tail -n +2)
  { cat "$WORK/results.md"; echo "$marker"; [ -n "$notes" ] && echo "$notes"; } >"$RESULTS.new"
  mv "$RESULTS.new" "$RESULTS"
  echo "Written: $RESULTS" >&2
else
  echo "Written: $WORK/results.md" >&2
fi
