#!/usr/bin/env bash
# Whether the C++ sources follow .clang-format: prints what clang-format would change, as a
# diff, and fails when it would change anything. With --count it prints only how many lines
# it would change, and succeeds. Reads the tracked files of the tree it stands in; writes
# nothing.
# usage: format_check.sh [--count]
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_cmd clang-format clang-format
cd "$(dirname "$0")/.." || exit 1
lines=0 files=0
while IFS= read -r -d '' f; do
  d=$(clang-format --style=file "$f" | diff -u --label "$f" --label "$f (formatted)" "$f" -) && continue
  files=$((files + 1)) lines=$((lines + $(grep -c '^-' <<<"$d") - 1))  # less the --- header
  [ "${1:-}" = --count ] || printf '%s\n' "$d"
done < <(git ls-files -z -- '*.cpp' '*.h' '*.h.in')
echo "clang-format would change $lines lines in $files files"
[ "${1:-}" = --count ] || [ "$files" = 0 ]
