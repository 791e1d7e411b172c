#!/usr/bin/env bash
# Whether the tracked C++ sources follow .clang-format: the diff clang-format would make,
# failing if there is one. Writes nothing.
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_cmd clang-format clang-format
cd "$(dirname "$0")/.." || exit 1
lines=0 files=0
while IFS= read -r -d '' f; do
  d=$(clang-format --style=file "$f" | diff -u --label "$f" --label "$f (formatted)" "$f" -) && continue
  files=$((files + 1)) lines=$((lines + $(grep -c '^-' <<<"$d") - 1))  # less the --- header
  printf '%s\n' "$d"
done < <(git ls-files -z -- '*.cpp' '*.h' '*.h.in')
echo "clang-format would change $lines lines in $files files"
[ "$files" = 0 ]
