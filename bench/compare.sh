#!/usr/bin/env bash
# Times pixquillcmd against general RAW and JPEG tools doing the same work on the same
# files, and prints one Markdown table per scenario.
#
#   bench/compare.sh                 every scenario
#   bench/compare.sh preview full    only these scenarios
#
#   RUNS=5           timed runs per command after one untimed warm-up; medians are shown
#   BUILD_DIR=build-bench   where the Release build of pixquillcmd goes
#   SAMPLES=...      folder of real camera files (default ../shared/samples/raw)
#   PIXQUILL=...     time this pixquillcmd binary instead of building one
#
# Columns: wall and CPU (user + system, all processes of the command) in seconds, peak
# resident memory of the largest process, MB of the input file that the command read from
# storage (measured once with the file dropped from the page cache), size of the JPEG
# written, and its agreement with pixquillcmd's JPEG of the same scenario (PSNR in dB;
# "same" when identical). "tool/pq" is the tool's time divided by pixquillcmd's: above 1
# means pixquillcmd is faster. The machine is shared, so CPU time is the steadier figure.
#
# Generated inputs and outputs go to bench/work/ (not versioned); the last report is
# bench/work/results.md.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
WORK="$ROOT/bench/work"
RUNS="${RUNS:-5}"
BUILD_DIR="${BUILD_DIR:-build-bench}"
SAMPLES="${SAMPLES:-$ROOT/../shared/samples/raw}"

# ---- tools -------------------------------------------------------------------------------

# Debian packages of the tools measured against; installed when missing.
PEER_PACKAGES=(dcraw libraw-bin libjpeg-turbo-progs imagemagick libvips-tools)

install_peers() {
  local missing=() p
  for p in "${PEER_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

build_pixquill() {
  if [ -n "${PIXQUILL:-}" ]; then
    PQ="$PIXQUILL"
  else
    cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$BUILD_DIR" -j"$(nproc)" --target pixquillcmd make_test_dng >/dev/null
    PQ="$ROOT/$BUILD_DIR/pixquillcmd"
  fi
  MAKE_DNG="$ROOT/$BUILD_DIR/tests/make_test_dng"
  [ -x "$MAKE_DNG" ] || cmake --build "$BUILD_DIR" --target make_test_dng >/dev/null
}

# ImageMagick's own convert, even where another program of that name comes first on PATH.
CONVERT=/usr/bin/convert

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
# The first row of a scenario is pixquillcmd, the reference of the ratios.
SCENARIOS=$(cat <<'EOF'
preview|PREVIEW_DNG|pixquillcmd (defaults)|{pq} -q -i {in} -o {dir}
preview|PREVIEW_DNG|dcraw -e → djpeg → cjpeg|dcraw -e -c {in} | djpeg | cjpeg -quality 95 -sample 1x1 > {out}
preview|PREVIEW_DNG|dcraw -e → ImageMagick convert|dcraw -e -c {in} | CONVERT jpg:- -quality 95 -sampling-factor 1x1 {out}
preview|PREVIEW_DNG|dcraw -e → vips copy|dcraw -e -c {in} | vips copy stdin '{out}[Q=95]'
preview|PREVIEW_DNG|dcraw -e alone (copies, no re-encode)|dcraw -e -c {in} > {out}
full|MOSAIC_DNG|pixquillcmd (defaults)|{pq} -q -i {in} -o {dir}
full|MOSAIC_DNG|dcraw_emu → cjpeg|dcraw_emu -w -W -q 3 -Z - {in} | cjpeg -quality 95 -sample 1x1 > {out}
full|MOSAIC_DNG|dcraw → cjpeg|dcraw -c -w -W -q 3 {in} | cjpeg -quality 95 -sample 1x1 > {out}
full|MOSAIC_DNG|dcraw_emu → ImageMagick convert|dcraw_emu -w -W -q 3 -Z - {in} | CONVERT ppm:- -quality 95 -sampling-factor 1x1 {out}
full|MOSAIC_DNG|dcraw_emu → vips copy|dcraw_emu -w -W -q 3 -Z - {in} | vips copy stdin '{out}[Q=95]'
resize|PREVIEW_DNG|pixquillcmd (1600 px, Lanczos)|{pq} -q -i {in} -o {dir} --width=1600 --height=1600 --keep-aspect-ratio --resize-algorithm=LANCZOS
resize|PREVIEW_DNG|dcraw -e → vipsthumbnail|dcraw -e -c {in} | vipsthumbnail stdin --size 1600 -o '{out}[Q=95]'
resize|PREVIEW_DNG|dcraw -e → ImageMagick convert|dcraw -e -c {in} | CONVERT jpg:- -filter Lanczos -resize 1600x1600 -quality 95 -sampling-factor 1x1 {out}
camera|CAMERA_CRW|pixquillcmd (defaults)|{pq} -q -i {in} -o {dir}
camera|CAMERA_CRW|dcraw -e → djpeg → cjpeg|dcraw -e -c {in} | djpeg | cjpeg -quality 95 -sample 1x1 > {out}
camera|CAMERA_CRW|dcraw -e → vips copy|dcraw -e -c {in} | vips copy stdin '{out}[Q=95]'
camera-full|CAMERA_CRW|pixquillcmd (--raw-load-as=24)|{pq} -q -i {in} -o {dir} --raw-load-as=24
camera-full|CAMERA_CRW|dcraw_emu → cjpeg|dcraw_emu -w -W -q 3 -Z - {in} | cjpeg -quality 95 -sample 1x1 > {out}
camera-full|CAMERA_CRW|dcraw → cjpeg|dcraw -c -w -W -q 3 {in} | cjpeg -quality 95 -sample 1x1 > {out}
EOF
)

SCENARIO_TITLES=$(cat <<'EOF'
preview|24 MP DNG with a full-size JPEG preview → JPEG, quality 95, 4:4:4 (pixquillcmd's defaults use the preview)
full|24 MP DNG without a preview → JPEG, quality 95, 4:4:4: full decode (AHD, camera white balance, BT.709 curve, no auto-brightening)
resize|24 MP DNG preview → 1600 px on the long side, Lanczos, JPEG quality 95
camera|Real camera file (Canon EOS D30 CRW, 2160 x 1440) → JPEG quality 95 from its embedded preview
camera-full|Real camera file (Canon EOS D30 CRW) → JPEG quality 95 from a full decode
EOF
)

# ---- measuring ---------------------------------------------------------------------------

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Drops one file from the page cache (fadvise), so that the next read comes from storage.
drop_from_cache() { dd if="$1" iflag=nocache count=0 status=none 2>/dev/null || true; }

# MB of the file now in the page cache.
cached_mb() { fincore --bytes --noheadings --output RES "$1" 2>/dev/null | awk '{ printf "%.1f", $1 / 1048576 }'; }

# The JPEG a command left in its folder (pixquillcmd names it after the input).
result_of() { find "$1" -maxdepth 1 -name '*.jpg' -newer "$2" | head -n 1; }

# Runs one command RUNS times and prints "wall cpu rssMB inputMB outputFile".
measure() {
  local command="$1" input="$2" dir="$3"
  local timing="$dir/.time" stamp="$dir/.stamp" walls=() cpus=() rss=() i
  rm -rf "$dir" && mkdir -p "$dir"
  # One cold run: how much of the input the command reads.
  drop_from_cache "$input"
  bash -c "$command" >/dev/null 2>&1 || { echo "FAILED: $command" >&2; return 1; }
  local read_mb
  read_mb=$(cached_mb "$input")
  for ((i = 0; i < RUNS; i++)); do
    rm -f "$dir"/*.jpg && touch "$stamp"
    /usr/bin/time -f '%e %U %S %M' -o "$timing" bash -c "$command" >/dev/null 2>&1
    read -r wall user sys kb <"$timing"
    walls+=("$wall")
    cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')")
    rss+=("$((kb / 1024))")
  done
  echo "$(printf '%s\n' "${walls[@]}" | median) $(printf '%s\n' "${cpus[@]}" | median)" \
       "$(printf '%s\n' "${rss[@]}" | median) $read_mb $(result_of "$dir" "$stamp")"
}

# PSNR of one JPEG against another, "same" when identical, "size differs" when the
# dimensions disagree.
agreement() {
  local reference="$1" file="$2"
  [ "$reference" = "$file" ] && { echo "reference"; return; }
  if [ "$(identify -format '%wx%h' "$reference")" != "$(identify -format '%wx%h' "$file")" ]; then
    echo "size $(identify -format '%wx%h' "$file")"
    return
  fi
  local psnr
  psnr=$(compare -metric PSNR "$reference" "$file" null: 2>&1 || true)
  case "$psnr" in inf*) echo "same" ;; *) printf '%.1f dB\n' "$psnr" ;; esac
}

run_scenario() {
  local name="$1" title reference_wall="" reference_cpu="" reference_file=""
  title=$(grep "^$name|" <<<"$SCENARIO_TITLES" | cut -d'|' -f2-)
  local rows
  rows=$(grep "^$name|" <<<"$SCENARIOS")
  local input_var input
  input_var=$(head -n 1 <<<"$rows" | cut -d'|' -f2)
  input="${!input_var}"
  if [ ! -s "$input" ]; then
    echo "### $name: skipped, no input file $input"
    echo
    return
  fi
  echo "### $name: $title"
  echo
  echo "Input: $(basename "$input"), $(awk -v b="$(stat -c %s "$input")" 'BEGIN { printf "%.1f MB", b / 1048576 }')"
  echo
  echo "| tool | wall s | tool/pq | CPU s | tool/pq | peak MB | input MB read | JPEG MB | agreement |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---|"
  local index=0 tool template command dir result
  while IFS='|' read -r _ _ tool template; do
    index=$((index + 1))
    dir="$WORK/out/$name/$index"
    command="${template//\{pq\}/$PQ}"
    command="${command//\{in\}/$input}"
    command="${command//\{dir\}/$dir}"
    command="${command//\{out\}/$dir/out.jpg}"
    command="${command//CONVERT/$CONVERT}"
    if ! result=$(measure "$command" "$input" "$dir"); then
      echo "| $tool | failed | | | | | | | |"
      continue
    fi
    read -r wall cpu rss read_mb file <<<"$result"
    if [ -z "$reference_file" ]; then
      reference_wall=$wall reference_cpu=$cpu reference_file=$file
    fi
    local size agree
    size=$(awk -v b="$(stat -c %s "$file")" 'BEGIN { printf "%.2f", b / 1048576 }')
    agree=$(agreement "$reference_file" "$file")
    awk -v t="$tool" -v w="$wall" -v c="$cpu" -v rw="$reference_wall" -v rc="$reference_cpu" \
        -v m="$rss" -v r="$read_mb" -v s="$size" -v a="$agree" \
        'BEGIN { printf "| %s | %.2f | %.2f | %.2f | %.2f | %d | %s | %s | %s |\n", t, w, w / rw, c, c / rc, m, r, s, a }'
  done <<<"$rows"
  echo
}

# ---- main --------------------------------------------------------------------------------

install_peers
build_pixquill
make_inputs
mkdir -p "$WORK/out"

wanted=("$@")
[ ${#wanted[@]} -gt 0 ] || mapfile -t wanted < <(cut -d'|' -f1 <<<"$SCENARIOS" | uniq)

{
  echo "## pixquillcmd against general tools ($(date '+%Y-%m-%d %H:%M'))"
  echo
  echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo);" \
       "load average at start $(cut -d' ' -f1-3 /proc/loadavg); $RUNS runs per command, medians."
  echo "Versions: $(dpkg-query -W -f='${Package} ${Version}; ' dcraw libraw-bin libjpeg-turbo-progs imagemagick libvips-tools libfreeimage3 2>/dev/null)"
  echo
  for scenario in "${wanted[@]}"; do run_scenario "$scenario"; done
  echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
} | tee "$WORK/results.md"
