#!/usr/bin/env bash
# The plan against the run, on every scenario product with a copy script: in the namespace
# the scenario runner sets up, install-check plans each action the run could take, then the
# installer runs (run_scenario.sh with PLAN_DIFF set, plan_diff.py). The flow whose copy step
# ran picks the plan; the entries the run created, changed and removed (kind, mode, owner
# and group included) must be the plan's, in the working folder and in the upper folders of
# writable overlays over /etc, /usr, /opt and /var.
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
