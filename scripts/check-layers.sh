#!/usr/bin/env bash
# Fails when a file under src/ includes a header of a higher layer. From the bottom up:
# platform; formats and settings; pipeline; convert; cli; batch (the batch front end, which
# drives the console program). A folder may include its own headers and those of any lower
# layer, never those of a higher one or of a folder on its own level. There are no exceptions.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A LEVEL=([platform]=0 [formats]=1 [settings]=1 [pipeline]=2 [convert]=3 [cli]=4 [batch]=5)

status=0
while IFS=: read -r file line include; do
  from=${file#src/}
  from=${from%%/*}
  header=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$include")
  to=${header%%/*}
  [ "$from" = "$to" ] && continue
  [ -n "${LEVEL[$from]:-}" ] || continue  # src/main.cpp stands above every layer
  if [ -z "${LEVEL[$to]:-}" ] || [ "${LEVEL[$to]}" -ge "${LEVEL[$from]}" ]; then
    echo "$file:$line: $from/ may not include $to/: $include" >&2
    status=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' src)
[ "$status" = 0 ] && echo "Layers point one way."
exit "$status"
