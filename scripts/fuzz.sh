#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer + UndefinedBehavior-
# Sanitizer) into build-fuzz/ and runs each for a bounded time.
#   FUZZ_SECONDS=60        time per target
#   FUZZ_TARGETS="A B"     only these targets (default: every fuzz/*.cpp)
#   FUZZ_JOBS=1            parallel fuzzing processes per target
#   FUZZ_SEEDS_ONLY=1      only build every target and run each once over its seed corpus
#                          (seconds; CI does this, so that a target that no longer builds or
#                          fails on its own seeds fails the run)
# Each target starts from its seed corpus fuzz/corpus/<target>/ and grows a working copy
# in fuzz/corpus-run/<target>/ (not versioned). Crashing inputs land in
# build-fuzz/artifacts/<target>/; the script then exits with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
./scripts/install-packages.sh "${FUZZ_PACKAGES[@]}"
# The project's own packages (FreeImage, cairo, ...) come from the normal set-up script.
[ -f /usr/include/FreeImage.h ] && [ -f /usr/include/libraw/libraw.h ] || ./scripts/setup.sh

BUILD=build-fuzz
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DPIXQUILL_FUZZ=ON -DPIXQUILL_TESTS=OFF -DPIXQUILL_PACKAGING=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)"

SECONDS_PER_TARGET="${FUZZ_SECONDS:-60}"
# Inputs longer than 4 KiB only slow most targets down; the metadata copy reads whole files,
# whose directories lie anywhere in them.
declare -A MAX_LEN=([MetadataCopyFuzz]=262144)
parallel=()
[ "${FUZZ_JOBS:-1}" -gt 1 ] && parallel=(-jobs="$FUZZ_JOBS" -workers="$FUZZ_JOBS")
if [ -n "${FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<<"$FUZZ_TARGETS"
else
  targets=()
  for source in fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
failed=()
if [ "${FUZZ_SEEDS_ONLY:-0}" = 1 ]; then
  for target in "${targets[@]}"; do
    echo "== $target: its seeds"
    log="$BUILD/$target-seeds.log"
    if ! "$BUILD/fuzz/$target" -runs=0 -rss_limit_mb=2048 "fuzz/corpus/$target" </dev/null >"$log" 2>&1; then
      tail -n 30 "$log"
      failed+=("$target")
    fi
  done
  [ ${#failed[@]} -eq 0 ] || { echo "Fuzz targets failed on their seeds: ${failed[*]}"; exit 1; }
  echo "Every fuzz target ran its seeds."
  exit 0
fi

# The real camera files beside the project, where there are any, seed the metadata copy too
# (the two leading bytes are the target's picture size).
if [ -d ../shared/samples/raw ]; then
  mkdir -p fuzz/corpus-run/MetadataCopyFuzz
  for sample in ../shared/samples/raw/*; do
    [ "$(stat -c %s "$sample")" -le 262142 ] || continue
    { printf '\x3f\x1f'; cat "$sample"; } >"fuzz/corpus-run/MetadataCopyFuzz/sample-$(basename "$sample")"
  done
fi

for target in "${targets[@]}"; do
  seeds="fuzz/corpus/$target"
  work="fuzz/corpus-run/$target"
  artifacts="$BUILD/artifacts/$target"
  mkdir -p "$seeds" "$work" "$artifacts"
  dictionary=()
  [ -f "fuzz/$target.dict" ] && dictionary=(-dict="fuzz/$target.dict")
  echo "== $target: ${SECONDS_PER_TARGET}s"
  # Standard input is closed so that no input can make a target wait for the terminal;
  # 2 GB of memory and 10 s per input bound what one input may take.
  if ! "$BUILD/fuzz/$target" "$work" "$seeds" "${dictionary[@]}" \
      -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 -max_len="${MAX_LEN[$target]:-4096}" \
      "${parallel[@]}" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" </dev/null; then
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]} (inputs in $BUILD/artifacts/)"
  exit 1
fi
echo "No faults found."
