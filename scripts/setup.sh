#!/usr/bin/env bash
# Installs every Debian package the project needs and builds it.
# Safe to run again: packages already present are not fetched a second time.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  g++ cmake make pkg-config
  libfreeimage-dev libtiff-dev libjpeg-dev libraw-dev
  libcairo2-dev libfontconfig-dev libfreetype-dev
  fonts-liberation2 fonts-dejavu-core
  libgtest-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# PACKAGES_ONLY=1: install and stop; callers that build their own targets (bench/) use it.
[ "${PACKAGES_ONLY:-0}" = 1 ] && exit 0

BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" ${CMAKE_EXTRA:-} >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
