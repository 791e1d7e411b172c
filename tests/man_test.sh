#!/usr/bin/env bash
# Every manual page formats without a single warning from groff or man: their exit status
# says nothing about warnings, so any line they print fails the test.
# usage: man_test.sh MAN-DIR
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_cmd groff groff-base
need_cmd man man-db
export LC_ALL=C.UTF-8 MANWIDTH=80
pages=("$1"/*.[1-8])
[ -e "${pages[0]}" ] || { echo "FAIL: no manual pages in $1"; exit 1; }
bad=0
for page in "${pages[@]}"; do
  out=$({ groff -ww -z -man "$page"; man --warnings=w -l "$page" > /dev/null; } 2>&1)
  if [ -n "$out" ]; then echo "FAIL ${page##*/}:"; echo "$out"; bad=1; else echo "ok   ${page##*/}"; fi
done
exit "$bad"
