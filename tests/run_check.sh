#!/usr/bin/env bash
# Runs install-check on one product folder and compares its findings with the expected ones.
#
# usage: run_check.sh INSTALL-CHECK CASE-DIR
# A case is a folder: product/ (the product, or a link to one), expect (the exact finding
# lines) and status (the exit status expected, 0 without it).
set -uo pipefail
tool=$(readlink -f "$1")
case_dir=$(readlink -f "$2")
name=$(basename "$case_dir")
got=$(cd "$case_dir" && "$tool" product)
status=$?
want=0
[ -f "$case_dir/status" ] && want=$(head -n1 "$case_dir/status")
if ! diff -u "$case_dir/expect" <(printf '%s' "$got" | sed '$a\') ; then
  echo "FAIL $name: findings differ (- expected, + actual)"; exit 1
fi
[ "$status" = "$want" ] || { echo "FAIL $name: exit status $status, expected $want"; exit 1; }
echo "PASS $name"
