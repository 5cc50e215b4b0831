#!/usr/bin/env bash
# Fails when a C++ file of the repository is not formatted as .clang-format says. Tables
# whose alignment carries meaning sit between "// clang-format off" and "// clang-format on".
# To fix: find src tests bench fuzz packaging -name '*.cpp' -o -name '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-packages.sh clang-format
find src tests bench fuzz packaging \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run -Werror
echo "Every C++ file is formatted."
