#!/usr/bin/env bash
# The main job: makes a small camera RAW file (a DNG with an embedded preview and EXIF) with
# the project's own generator, converts it to JPEG and shows where the JPEG went.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
demo="$(pwd)/$BUILD_DIR/demo"
mkdir -p "$demo"
"$BUILD_DIR/tests/make_test_dng" "$demo/sample.dng" --width 1200 --height 800 --preview
"$BUILD_DIR/pixquillcmd" -i "$demo/sample.dng" -o "$demo" --jpg-quality=90
echo "JPEG written to: $demo/sample.jpg ($(stat -c %s "$demo/sample.jpg") bytes)"
