#!/usr/bin/env bash
# Fails when a C++ file of the repository is not formatted as .clang-format says. Tables
# whose alignment carries meaning sit between "// clang-format off" and "// clang-format on".
# To fix: git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-packages.sh clang-format
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "Every C++ file is formatted."
