#!/usr/bin/env bash
# Runs install-check on one product folder and compares its findings with the expected ones.
# usage: run_check.sh INSTALL-CHECK CASE-DIR (the folder's format: tests/check/README)
set -uo pipefail
tool=$(readlink -f "$1") case_dir=$(readlink -f "$2") name=${case_dir##*/} args=() want=0
[ -f "$case_dir/args" ] && read -r -a args < "$case_dir/args"
[ -f "$case_dir/status" ] && want=$(head -n1 "$case_dir/status")
got=$(cd "$case_dir" && "$tool" "${args[@]}" product 2>&1)
status=$?
diff -u "$case_dir/expect" <(printf '%s\n' "$got" | sed "s/host '$(uname -n)'/host 'HOST'/g") ||
  { echo "FAIL $name: findings differ (- expected, + actual)"; exit 1; }
[ "$status" = "$want" ] || { echo "FAIL $name: exit status $status, expected $want"; exit 1; }
echo "PASS $name"
