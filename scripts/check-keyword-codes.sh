#!/usr/bin/env bash
# Fails when a keyword code is written as a bare number outside the keyword tables: every
# code has a name in src/settings/Keywords.h, and code and tests use that name.
set -euo pipefail
cd "$(dirname "$0")/.."

# The settings fields that hold keyword codes: those marked "// kind N" in the record.
fields=$(grep -oP '^\s*\w+ \K\w+(?= = \w+;\s*// kind \d+)' src/settings/ConversionSettings.h | paste -sd'|')
[ -n "$fields" ] || { echo "check-keyword-codes: no keyword fields found" >&2; exit 2; }

# The code names, from the enums of the keyword header.
codes=$(sed -n '/^enum \w*Code\b/,/};/p' src/settings/Keywords.h | grep -oP '\bk\w+(?= = )' | paste -sd'|')
[ -n "$codes" ] || { echo "check-keyword-codes: no code names found" >&2; exit 2; }

patterns=(
  # a field set to or compared with a number: rawLoadAs = 5, doFrame != 1
  "\\b($fields)\\s*(==|!=|=)\\s*-?[0-9]\\b"
  # a field's expected value as a number in a test: EXPECT_EQ(S.doWatermark, 1)
  "EXPECT_EQ\\(\\w+\\.($fields), -?[0-9]+\\)"
  # a local redeclaration of a named code: constexpr int kUnitPercent = 1
  "constexpr\\s+\\w+\\s+($codes)\\s*="
  # a table row that maps a bare code to a library constant
  "\\{\\s*[0-9]+,\\s*(FILTER_|FID_|BMP_|EXR_|JPEG_|PNG_Z|TARGA_|TIFF_|RAW_)"
  "\\{\\s*[0-9]+,\\s*\\[\\]\\(FIBITMAP"
)

status=0
for pattern in "${patterns[@]}"; do
  if grep -rnP --include='*.cpp' --include='*.h' "$pattern" src tests bench fuzz |
       grep -v '^src/settings/Keywords\.'; then
    status=1
  fi
done
[ "$status" -eq 0 ] || echo "check-keyword-codes: use the code names of src/settings/Keywords.h" >&2
exit "$status"
