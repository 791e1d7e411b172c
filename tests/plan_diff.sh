#!/usr/bin/env bash
# The plan against the run, on every scenario product with a copy script: run_scenario.sh
# with PLAN_DIFF set has install-check plan each action, runs the installer, and
# plan_diff.py compares the run's entries with the plan of the flow whose copy step ran.
# usage: plan_diff.sh INSTALL INSTALL-CHECK SCENARIOS-FOLDER [NAME...]
# plan_diff.skip lists the products whose plan and run cannot agree, each with the reason.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/need.sh"
need_root
need_cmd python3
bin=$1 scenarios=$3
export INSTALL_CHECK=$(readlink -f "$2") PLAN_DIFF=1
shift 3
for scen in "$scenarios"/*/; do
  name=$(basename "$scen")
  [ $# = 0 ] || [[ " $* " == *" $name "* ]] || continue
  compgen -G "$scen/product/*.cpy" > /dev/null || continue
  why=$(awk -v n="$name" '$1 == n { sub(/^[^ ]+ /, ""); print }' "$here/plan_diff.skip")
  [ -z "$why" ] || { echo "SKIP $name: $why"; continue; }
  out=$(bash "$here/run_scenario.sh" "$bin" "$scen" 2>&1) && tail -n 1 <<< "$out" ||
    { head -n 30 <<< "$out"; echo "FAIL $name"; failures=1; }
done
passed
