#!/usr/bin/env bash
# The plan against the run, on every scenario product that has a copy script: in a private
# namespace set up as the scenario runner sets it up (its overlay, its setup, its
# arguments and typed input), install-check plans each action the run could take, then
# the installer runs. The flow whose copy step ran picks the plan; the entries the run
# created, changed and removed (kind, mode, owner and group included) must be the plan's.
# Changes land in writable overlays over /etc, /usr, /opt and /var, so the run's writes
# there are found in their upper folders.
#
# usage: plan_diff.sh INSTALL INSTALL-CHECK SCENARIOS-FOLDER [NAME...]
# plan_diff.skip lists the products whose plan and run cannot agree, each with the reason.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/need.sh"
need_root
need_cmd python3
bin=$(readlink -f "$1") check=$(readlink -f "$2") scenarios=$(readlink -f "$3")
shift 3
export TESTS=$here BIN=$bin CHECK=$check

# One scenario in its namespace; prints what differs, and a last line SKIP or PASS.
inner() {
  set -uo pipefail
  cd "$WORK" || exit 1
  . "$TESTS/sandbox.sh"
  sandbox "$SCRATCH" || exit 1
  if [ -f "$SCEN/setup" ]; then bash "$SCEN/setup" > /dev/null 2>&1 || { echo "setup failed"; exit 1; }; fi
  for db in passwd group; do
    if [ -f "$OVERLAY/etc/$db.add" ]; then
      cat "/etc/$db" "$OVERLAY/etc/$db.add" > "$OVERLAY/etc/$db" && rm -f "$OVERLAY/etc/$db.add"
    fi
  done
  for top in etc usr opt var; do
    mkdir -p "$OVERLAY/$top" "$SCRATCH/low/$top" "$SCRATCH/up/$top" "$SCRATCH/wk/$top"
    mount --bind "/$top" "$SCRATCH/low/$top" &&
      mount -t overlay overlay -o "lowerdir=$OVERLAY/$top:$SCRATCH/low/$top,upperdir=$SCRATCH/up/$top,workdir=$SCRATCH/wk/$top" "/$top" ||
      { echo "cannot mount the overlay on /$top"; exit 1; }
  done
  local base=${ARGV0%%.*} action
  for action in install upgrade remove $SPECIALS; do
    timeout 60 "$CHECK" --plan "$action" --name "$base" --format json > "$SCRATCH/plan.$action" 2> /dev/null
    [ $? -le 1 ] || { echo "install-check --plan $action failed"; exit 1; }
  done
  python3 "$TESTS/plan_diff.py" snap "$WORK" > "$SCRATCH/before"
  timeout 30 "./$ARGV0" ${ARGS[@]+"${ARGS[@]}"} < "$INPUT" > "$SCRATCH/stdout" 2>&1
  python3 "$TESTS/plan_diff.py" compare "$WORK" "$SCRATCH"
}
export -f inner

skipped() { awk -v n="$1" '$1 == n { $1 = ""; sub(/^ /, ""); print; found = 1 } END { exit !found }' "$here/plan_diff.skip"; }

failed=0
for scen in "$scenarios"/*/; do
  scen=${scen%/}
  name=$(basename "$scen")
  [ $# = 0 ] || [[ " $* " == *" $name "* ]] || continue
  compgen -G "$scen/product/*.cpy" > /dev/null || continue
  if why=$(skipped "$name"); then echo "SKIP $name: $why"; continue; fi
  SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/plan-diff.$name.XXXXXX")
  WORK=$SCRATCH/work OVERLAY=$SCRATCH/overlay
  mkdir -p "$WORK" "$OVERLAY"
  cp -a "$scen/product/." "$WORK/"
  ARGV0=install
  [ -f "$scen/argv0" ] && ARGV0=$(head -n1 "$scen/argv0")
  cp "$bin" "$WORK/$ARGV0"
  args=()
  [ -f "$scen/args" ] && mapfile -t args < "$scen/args"
  SPECIALS=$(for ((i = 0; i + 1 < ${#args[@]}; i++)); do
               [ "${args[i]}" = -special ] && echo "special:${args[i + 1]}"; done)
  INPUT=/dev/null
  [ -f "$scen/input" ] && INPUT=$scen/input
  if [ -d "$scen/overlay" ]; then
    cp -a "$scen/overlay/." "$OVERLAY/"
    find "$OVERLAY" -type f ! -name '*.bin' -exec sed -i -e "s|@WORK@|$WORK|g" -e "s|@SCRATCH@|$SCRATCH|g" {} +
  fi
  export SCRATCH WORK OVERLAY ARGV0 INPUT SPECIALS SCEN=$scen
  declare -p args > "$SCRATCH/args.sh"
  out=$(unshare -m bash -c 'source "$SCRATCH/args.sh"; ARGS=("${args[@]}"); inner' 2>&1)
  last=$(tail -n1 <<< "$out")
  case $last in
    PASS:*|SKIP:*) echo "${last%%:*} $name: ${last#*: }" ;;
    *) head -n 30 <<< "$out"; echo "FAIL $name"; failed=1 ;;
  esac
  rm -rf "$SCRATCH"
done
exit $failed
