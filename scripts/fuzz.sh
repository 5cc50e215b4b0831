#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer + UndefinedBehavior-
# Sanitizer) into build-fuzz/ and runs each for a bounded time.
#   FUZZ_SECONDS=60        time per target
#   FUZZ_TARGETS="A B"     only these targets (default: every fuzz/*.cpp)
#   FUZZ_JOBS=1            parallel fuzzing processes per target
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
      -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
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
