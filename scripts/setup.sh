#!/usr/bin/env bash
# Installs every Debian package the project needs and builds it.
# Safe to run again: packages already present are not fetched a second time.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  g++ cmake make pkg-config
  libfreeimage-dev libtiff-dev libjpeg-dev libraw-dev
  libcairo2-dev libfontconfig-dev libfreetype-dev
  libexiv2-dev
  fonts-liberation2 fonts-dejavu-core
  parallel rsync
  libgtest-dev python3-pil
  help2man
)

./scripts/install-packages.sh "${PACKAGES[@]}"

# PACKAGES_ONLY=1: install and stop; callers that build their own targets (bench/) use it.
[ "${PACKAGES_ONLY:-0}" = 1 ] && exit 0

BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" ${CMAKE_EXTRA:-} >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
