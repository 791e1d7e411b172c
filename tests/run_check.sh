#!/usr/bin/env bash
# Runs install-check on one product folder and compares its findings with the expected ones.
# usage: run_check.sh INSTALL-CHECK CASE-DIR
# A case is a folder: product/ (the product, or a link to one), expect (the exact lines
# printed, the count on standard error last), status (the exit status expected, 0 without
# it) and args (more arguments, one line, optional). The host's name in a finding reads
# HOST in expect, so that the data holds on every machine.
set -uo pipefail
tool=$(readlink -f "$1") case_dir=$(readlink -f "$2") args=() want=0
name=$(basename "$case_dir")
[ -f "$case_dir/args" ] && read -r -a args < "$case_dir/args"
[ -f "$case_dir/status" ] && want=$(head -n1 "$case_dir/status")
got=$(cd "$case_dir" && "$tool" "${args[@]}" product 2>&1)
status=$?
diff -u "$case_dir/expect" <(printf '%s\n' "$got" | sed "s/host '$(uname -n)'/host 'HOST'/g") ||
  { echo "FAIL $name: findings differ (- expected, + actual)"; exit 1; }
[ "$status" = "$want" ] || { echo "FAIL $name: exit status $status, expected $want"; exit 1; }
echo "PASS $name"
