#!/usr/bin/env bash
# Every manual page formats without a single warning from groff or man: their exit status
# says nothing about warnings, so any line they print fails the test.
# usage: man_test.sh MAN-DIR
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_cmd groff groff-base
need_cmd man man-db
export LC_ALL=C.UTF-8 MANWIDTH=80
compgen -G "$1/*.[1-8]" > /dev/null || fail "no manual pages in $1"
for page in "$1"/*.[1-8]; do
  out=$({ groff -ww -z -man "$page"; man --warnings=w -l "$page" > /dev/null; } 2>&1)
  [ -z "$out" ] && echo "ok   ${page##*/}" || { bad "${page##*/}:"; echo "$out"; }
done
passed
