#!/usr/bin/env bash
# Runs one end-to-end scenario (the folder's format: tests/scenarios/README) against the real
# installer binary. usage: run_scenario.sh INSTALL-BINARY SCENARIO-DIR
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_root

bin=$(readlink -f "$1") scen=$(readlink -f "$2") name=${scen##*/}
fail() { echo "FAIL $name: $*"; exit 1; }
subst() { sed -e "s|@WORK@|$WORK|g" -e "s|@SCRATCH@|$SCRATCH|g" -e "s|@YEAR@|$(date +%Y)|g"; }
[ -d "$scen" ] || fail "no such scenario folder"
[ -x "$bin" ] || fail "no installer binary $bin"
scratch "scenario.$name" && SCRATCH=$T
WORK=$SCRATCH/work OVERLAY=$SCRATCH/overlay ARGV0=install INPUT=$scen/input args=()
mkdir -p "$WORK" "$OVERLAY"
[ -d "$scen/product" ] && cp -a "$scen/product/." "$WORK/"
[ -f "$scen/argv0" ] && ARGV0=$(head -n1 "$scen/argv0")
cp "$bin" "$WORK/$ARGV0"
[ -f "$scen/args" ] && mapfile -t args < "$scen/args"
[ -f "$INPUT" ] || INPUT=/dev/null
# The special sections the arguments name, for the plans.
SPECIALS=$(printf '%s\n' "${args[@]}" | sed -n '/^-special$/{n;s/^/special:/p}')
export WORK SCRATCH OVERLAY SCEN=$scen PLAN=${PLAN_DIFF:-} ARGV0 INPUT SPECIALS
export TESTS=$(dirname "$(readlink -f "$0")")
[ ! -d "$scen/overlay" ] || { cp -a "$scen/overlay/." "$OVERLAY/" && find "$OVERLAY" -type f ! -name '*.bin' \
  -exec sed -i -e "s|@WORK@|$WORK|g" -e "s|@SCRATCH@|$SCRATCH|g" {} +; }

if [ -n "${INSTALL_NSSWITCH:-}" ]; then
  # A run that is to meet systemd's name service module must not pass without it.
  ! grep -q '^[^#]*systemd' "$INSTALL_NSSWITCH" ||
    compgen -G '/usr/lib/*/libnss_systemd.so.2' >/dev/null ||
    need_fail "needs libnss_systemd.so.2 (Debian package libnss-systemd)"
  mkdir -p "$OVERLAY/etc" && cp "$INSTALL_NSSWITCH" "$OVERLAY/etc/nsswitch.conf"
fi

[ -f "$scen/expect" ] && subst < "$scen/expect" > "$SCRATCH/expect"

# Everything that may need the overlay runs in one shell: setup, the installer, the checks.
# What stops it is written to $SCRATCH/why.
cat > "$SCRATCH/run.sh" <<'INNER'
set -uo pipefail
stop() { echo "$*" > "$SCRATCH/why"; exit 0; }
expect() {
  local p=$1 kind=$2 mode=$3 owner=$4 content=$5 fmt=%U:%G
  case $kind in
    file | dir | char) [ ! -L "$p" ] && test "-${kind:0:1}" "$p" ;;  # -f, -d, -c
    link) [ -L "$p" ] ;;
    none) [ ! -e "$p" ] && [ ! -L "$p" ] ;;
    grep) [ -e "$p" ] && [ "$(grep -rhF -- "$content" "$p" | wc -l)" = "$mode" ] ||
            echo "$p: not $mode lines with $content"; return ;;
  esac || { echo "$p: not $kind"; return; }
  [[ $owner =~ ^[0-9]+:[0-9]+$ ]] && fmt=%u:%g
  [ "$mode" = - ] || [ "$(stat -c %a "$p")" = "$mode" ] || echo "$p: mode $(stat -c %a "$p")"
  [ "$owner" = - ] || [ "$(stat -c "$fmt" "$p")" = "$owner" ] || echo "$p: owner $(stat -c "$fmt" "$p")"
  case $content in
    -) ;;
    =*) printf %b "${content#=}" | cmp -s - "$p" ;;
    same:*) cmp -s "${content#same:}" "$p" ;;
    md5:*) [ "$(md5sum < "$p")" = "${content#md5:}  -" ] ;;
    tree:*) [ "$(cd "$p" && find . -mindepth 1 | cut -c3- | sort | xargs)" = "${content#tree:}" ] ;;
  esac || echo "$p: content differs: $(head -c 300 "$p" 2>/dev/null | cat -A)"
}
cd "$WORK"
# A private /dev, and nothing of the host writable but the scratch folder.
. "$TESTS/need.sh" && . "$TESTS/sandbox.sh"
sandbox "$SCRATCH" || stop "cannot set up the sandbox (see above)"
[ ! -f "$SCEN/setup" ] || bash "$SCEN/setup" || stop "setup failed"
# A host's own httpd.conf at one of the places the installer searches would leak into the
# scenario: every such place the scenario does not fill is hidden behind a whiteout.
for conf in "${HTTPD_PLACES[@]}"; do
  [ -e "$OVERLAY$conf" ] || { mkdir -p "$(dirname "$OVERLAY$conf")" && mknod "$OVERLAY$conf" c 0 0; }
done
for db in passwd group; do
  [ -f "$OVERLAY/etc/$db.add" ] &&
    cat "/etc/$db" "$OVERLAY/etc/$db.add" > "$OVERLAY/etc/$db" && rm -f "$OVERLAY/etc/$db.add"
done
# Read-only overlays, but a writable one on /var where the scenario fills it (a product keeps
# its state there); for a plan, writable ones whose upper folders hold the run's writes, with
# the system's own folders bound where the comparison can see what lay below.
for top in etc usr opt $([ -n "$PLAN" ] || [ -d "$OVERLAY/var" ] && echo var); do
  if [ -n "$PLAN" ] || [ $top = var ]; then
    mkdir -p "$OVERLAY/$top" "$SCRATCH/low/$top" "$SCRATCH/up/$top" "$SCRATCH/wk/$top"
    mount --bind "/$top" "$SCRATCH/low/$top" && mount -t overlay overlay -o \
      "lowerdir=$OVERLAY/$top:$SCRATCH/low/$top,upperdir=$SCRATCH/up/$top,workdir=$SCRATCH/wk/$top" "/$top"
  else
    mount -t overlay overlay -o "lowerdir=$OVERLAY/$top:/$top" "/$top"
  fi || stop "cannot mount the overlay on /$top"
done
if [ -n "$PLAN" ]; then
  for action in install upgrade remove $SPECIALS; do
    timeout 60 "$INSTALL_CHECK" --plan "$action" --name "${ARGV0%%.*}" --format json \
      > "$SCRATCH/plan.$action" 2> /dev/null
    [ $? -le 1 ] || stop "install-check --plan $action failed"
  done
  python3 "$TESTS/plan_diff.py" snap "$WORK" > "$SCRATCH/before"
fi
# A run that writes without end stops at 1 GiB a file rather than filling the disk.
(ulimit -f 1048576; exec timeout 30 "./$ARGV0" "$@") \
  < "$INPUT" > "$SCRATCH/stdout" 2> "$SCRATCH/stderr"
echo $? > "$SCRATCH/status"
if [ -n "$PLAN" ]; then
  python3 "$TESTS/plan_diff.py" compare "$WORK" "$SCRATCH" > "$SCRATCH/check.out" 2>&1 ||
    stop "the plan and the run differ"
  exit 0
fi
if [ -f "$SCRATCH/expect" ]; then
  while read -r p kind mode owner content; do
    [[ -z $p || $p == \#* ]] || expect "$p" "$kind" "$mode" "$owner" "$content"
  done < "$SCRATCH/expect" > "$SCRATCH/check.out" 2>&1
  [ -s "$SCRATCH/check.out" ] && echo "expected files differ" > "$SCRATCH/why"
fi
[ ! -f "$SCEN/check" ] || bash "$SCEN/check" >> "$SCRATCH/check.out" 2>&1 ||
  echo "check failed" > "$SCRATCH/why"
INNER
# Always in a private mount namespace: what setup puts into $OVERLAY is mounted only there.
unshare -m bash "$SCRATCH/run.sh" "${args[@]}"

[ -f "$SCRATCH/why" ] && { cat "$SCRATCH/check.out" 2>/dev/null; fail "$(cat "$SCRATCH/why")"; }
# A plan's verdict, "PASS: ..." or "SKIP: ...", is given with the scenario's name.
[ -z "$PLAN" ] || { tail -n 1 "$SCRATCH/check.out" | sed "s/:/ $name:/"; exit 0; }
status=$(cat "$SCRATCH/status") want_status=$(head -n1 "$scen/status" 2>/dev/null || echo 0)
[ "$status" = 124 ] && fail "the installer did not finish within 30 seconds"
cat "$SCRATCH/stderr"
[ "$status" = "$want_status" ] || fail "exit status $status, expected $want_status"

if [ -f "$scen/stdout" ] && ! subst < "$scen/stdout" | cmp -s - "$SCRATCH/stdout"; then
  diff -u <(subst < "$scen/stdout") "$SCRATCH/stdout" | cat -A | head -n 60
  fail "console transcript differs (- expected, + actual; \$ marks a line end)"
fi

if [ -f "$scen/log" ]; then
  logfile=$WORK/${ARGV0%%.*}.log
  [ -f "$logfile" ] || fail "no log file $logfile"
  sed -e 's/^[^]]*\] //' "$logfile" > "$SCRATCH/log.got"
  # Each stretch of wanted lines (a lone line, or an exact stretch) is taken at the earliest
  # place after the one before it: that leaves the most room to the ones after it.
  if ! awk 'FILENAME == ARGV[1] {
              if ($0 == "--- exact") { ex = 1; exact[++n] = 1 } else if ($0 == "--- end") ex = 0
              else { if (!ex) exact[++n] = 0; want[n, ++len[n]] = $0 }
              next
            }
            { got[++m] = $0 }
            END {
              for (b = 1; b <= n; b++) {
                for (k = 0; k < len[b] && at + k < m; )
                  if (got[at + k + 1] == want[b, k + 1]) k++; else { at++; k = 0 }
                if (k < len[b]) {
                  print "missing from the log" (exact[b] ? ", as consecutive lines," : ",") " in order:"
                  for (k = 1; k <= len[b]; k++) print "  " want[b, k]
                  exit 1
                }
                at += len[b]
              }
            }' <(subst < "$scen/log") "$SCRATCH/log.got"; then
    head -n 80 "$SCRATCH/log.got"
    fail "log lines differ"
  fi
fi
echo "PASS $name"
