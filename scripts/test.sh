#!/usr/bin/env bash
# Builds the project and runs the whole test suite through CTest.
# SANITIZE=1 builds into build-asan with AddressSanitizer + UndefinedBehaviorSanitizer
# (LeakSanitizer included) and runs the same suite there.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${SANITIZE:-0}" = 1 ]; then
  export BUILD_DIR=build-asan BUILD_TYPE=RelWithDebInfo CMAKE_EXTRA="-DPIXQUILL_SANITIZE=ON"
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
fi
./scripts/setup.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j"$(nproc)"
