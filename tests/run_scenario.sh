#!/usr/bin/env bash
# Runs one end-to-end scenario against the real installer binary.
#
# usage: run_scenario.sh INSTALL-BINARY SCENARIO-DIR
#
# A scenario is a folder:
#   product/   the companion files (and any product data), copied into a scratch folder
#              that becomes the working directory
#   args       optional: the command-line arguments, one per line
#   argv0      optional: the name the installer is started under (default: install)
#   input      optional: what the user types; without it standard input is empty
#   stdout     the exact console transcript expected
#   status     optional: the exit status expected (default 0)
#   log        optional: lines that must appear in the log, in this order; each is compared
#              with the part of a log line after its "] " ("Error: ...", "Debug: ..."). Other
#              lines may come between them, except inside a stretch that a line "--- exact"
#              opens and a line "--- end" (or the end of the file) closes: its lines must be
#              consecutive lines of the log, so a line too many or out of place fails
#   expect     optional: what the run leaves, one row a line: PATH KIND MODE OWNER CONTENT.
#              KIND: file, dir, link, none (nothing there), or grep (MODE is then how many
#              lines of PATH hold CONTENT). MODE is octal; OWNER user:group by name or number;
#              either may be "-". CONTENT, the rest of the row: "-" any, "=TEXT" these bytes
#              (printf %b escapes, no line end added), "same:PATH", "md5:DIGEST", or
#              "tree:A B ..." every path below the folder, sorted.
#   setup      optional: bash run in the working directory before the installer
#   check      optional: bash run in the working directory afterwards; non-zero fails
#   overlay/   optional: etc/, usr/ or opt/ trees mounted over the system's own in a private
#              mount namespace (etc/passwd.add and etc/group.add are appended to the
#              system's passwd and group); setup may add to $OVERLAY as well. Every run
#              has such a namespace, and the host's own httpd.conf files are hidden in it.
#              In it /dev is private (tests/sandbox.sh) and only the scratch folder, the
#              overlays and what setup mounts can be written.
# INSTALL_NSSWITCH, when set, names a file that becomes the run's /etc/nsswitch.conf.
# In stdout, log, expect and overlay files @WORK@ stands for the working directory and
# @SCRATCH@ for the scratch folder that holds it; in expect @YEAR@ for this year. setup and
# check see WORK, SCRATCH, SCEN, OVERLAY.
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_root

bin=$(readlink -f "$1")
scen=$(readlink -f "$2")
name=$(basename "$scen")
[ -d "$scen" ] || { echo "FAIL $name: no such scenario folder"; exit 1; }
[ -x "$bin" ] || { echo "FAIL $name: no installer binary $bin"; exit 1; }
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/scenario.$name.XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT
WORK=$SCRATCH/work
OVERLAY=$SCRATCH/overlay
mkdir -p "$WORK" "$OVERLAY"
export WORK SCRATCH OVERLAY SCEN=$scen

fail() { echo "FAIL $name: $*"; exit 1; }
subst() { sed -e "s|@WORK@|$WORK|g" -e "s|@SCRATCH@|$SCRATCH|g" -e "s|@YEAR@|$(date +%Y)|g"; }

[ -d "$scen/product" ] && cp -a "$scen/product/." "$WORK/"
argv0=install
[ -f "$scen/argv0" ] && argv0=$(head -n1 "$scen/argv0")
cp "$bin" "$WORK/$argv0"
args=()
[ -f "$scen/args" ] && mapfile -t args < "$scen/args"
input=/dev/null
[ -f "$scen/input" ] && input=$scen/input
if [ -d "$scen/overlay" ]; then
  cp -a "$scen/overlay/." "$OVERLAY/"
  find "$OVERLAY" -type f ! -name '*.bin' -exec sed -i -e "s|@WORK@|$WORK|g" -e "s|@SCRATCH@|$SCRATCH|g" {} +
fi

if [ -n "${INSTALL_NSSWITCH:-}" ]; then
  # A run that is to meet systemd's name service module must not pass without it.
  ! grep -q '^[^#]*systemd' "$INSTALL_NSSWITCH" ||
    compgen -G '/usr/lib/*/libnss_systemd.so.2' >/dev/null ||
    need_fail "needs libnss_systemd.so.2 (Debian package libnss-systemd)"
  mkdir -p "$OVERLAY/etc" && cp "$INSTALL_NSSWITCH" "$OVERLAY/etc/nsswitch.conf"
fi

[ -f "$scen/expect" ] && subst < "$scen/expect" > "$SCRATCH/expect"

# Everything that may need the overlay runs in one shell: setup, the installer, the checks.
cat > "$SCRATCH/run.sh" <<'INNER'
set -uo pipefail
# One row of the expect table: the kind of entry, its mode, owner and content.
expect() {
  local p=$1 kind=$2 mode=$3 owner=$4 content=$5 fmt=%U:%G
  case $kind in
    file) [ -f "$p" ] && [ ! -L "$p" ] ;;
    dir) [ -d "$p" ] && [ ! -L "$p" ] ;;
    link) [ -L "$p" ] ;;
    none) [ ! -e "$p" ] && [ ! -L "$p" ] ;;
    grep) [ "$(grep -cF -- "$content" "$p")" = "$mode" ] || echo "$p: not $mode lines with $content"
          return ;;
  esac || { echo "$p: not $kind"; return; }
  [[ $owner =~ ^[0-9]+:[0-9]+$ ]] && fmt=%u:%g
  [ "$mode" = - ] || [ "$(stat -c %a "$p")" = "$mode" ] || echo "$p: mode $(stat -c %a "$p")"
  [ "$owner" = - ] || [ "$(stat -c "$fmt" "$p")" = "$owner" ] ||
    echo "$p: owner $(stat -c "$fmt" "$p")"
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
. "$TESTS/sandbox.sh"
sandbox "$SCRATCH" || { echo "cannot set up the sandbox (see above)" > "$SCRATCH/why"; exit 0; }
if [ -f "$SCEN/setup" ]; then bash "$SCEN/setup" || { echo "setup failed" > "$SCRATCH/why"; exit 0; }; fi
# A host's own httpd.conf at one of the places the installer searches would leak into the
# scenario: every such place the scenario does not fill is hidden behind a whiteout.
for conf in /etc/apache/httpd.conf /etc/httpd/conf/httpd.conf /etc/httpd/httpd.conf \
            /usr/local/apache/conf/httpd.conf /usr/local/httpd/conf/httpd.conf \
            /usr/local/apache/etc/httpd.conf /usr/internet/httpd/public/conf/httpd.conf \
            /opt/apache/conf/httpd.conf; do
  [ -e "$OVERLAY$conf" ] && continue
  mkdir -p "$(dirname "$OVERLAY$conf")" && mknod "$OVERLAY$conf" c 0 0
done
for top in etc usr opt; do
  for db in passwd group; do
    if [ "$top" = etc ] && [ -f "$OVERLAY/etc/$db.add" ]; then
      cat "/etc/$db" "$OVERLAY/etc/$db.add" > "$OVERLAY/etc/$db"
      rm -f "$OVERLAY/etc/$db.add"
    fi
  done
  mount -t overlay overlay -o "lowerdir=$OVERLAY/$top:/$top" "/$top" ||
    { echo "cannot mount the overlay on /$top" > "$SCRATCH/why"; exit 0; }
done
timeout 30 "./$ARGV0" "${ARGS[@]}" < "$INPUT" > "$SCRATCH/stdout" 2> "$SCRATCH/stderr"
echo $? > "$SCRATCH/status"
if [ -f "$SCRATCH/expect" ]; then
  while read -r p kind mode owner content; do
    [[ -z $p || $p == \#* ]] || expect "$p" "$kind" "$mode" "$owner" "$content"
  done < "$SCRATCH/expect" > "$SCRATCH/check.out" 2>&1
  [ -s "$SCRATCH/check.out" ] && echo "expected files differ" > "$SCRATCH/why"
fi
if [ -f "$SCEN/check" ]; then
  bash "$SCEN/check" >> "$SCRATCH/check.out" 2>&1 || echo "check failed" > "$SCRATCH/why"
fi
INNER
export ARGV0=$argv0 INPUT=$input TESTS=$(dirname "$(readlink -f "$0")")
declare -p args | sed 's/^declare -a args=/ARGS=/' > "$SCRATCH/args.sh"
# Always in a private mount namespace: whatever setup puts into $OVERLAY can only ever be
# mounted there, never over the host's own folders.
unshare -m bash -c "source '$SCRATCH/args.sh'; source '$SCRATCH/run.sh'"

if [ -f "$SCRATCH/why" ]; then
  cat "$SCRATCH/check.out" 2>/dev/null
  fail "$(cat "$SCRATCH/why")"
fi
status=$(cat "$SCRATCH/status")
want_status=0
[ -f "$scen/status" ] && want_status=$(head -n1 "$scen/status")
[ "$status" = 124 ] && fail "the installer did not finish within 30 seconds"
if [ -s "$SCRATCH/stderr" ]; then cat "$SCRATCH/stderr"; fi
[ "$status" = "$want_status" ] || fail "exit status $status, expected $want_status"

if [ -f "$scen/stdout" ]; then
  subst < "$scen/stdout" > "$SCRATCH/stdout.want"
  if ! cmp -s "$SCRATCH/stdout.want" "$SCRATCH/stdout"; then
    diff -u "$SCRATCH/stdout.want" "$SCRATCH/stdout" | cat -A | head -n 60
    fail "console transcript differs (- expected, + actual; \$ marks a line end)"
  fi
fi

if [ -f "$scen/log" ]; then
  logfile=$WORK/${argv0%%.*}.log
  [ -f "$logfile" ] || fail "no log file $logfile"
  sed -e 's/^[^]]*\] //' "$logfile" > "$SCRATCH/log.got"
  subst < "$scen/log" > "$SCRATCH/log.want"
  # Each wanted line must appear after the one before it; the lines of an exact stretch
  # must also follow one another with nothing between. Taking each stretch at its earliest
  # place is what leaves the most room to the ones after it.
  if ! awk 'FILENAME == ARGV[1] {
              if ($0 == "--- exact") {
                exact = 1; start[++blocks] = n + 1; exactly[blocks] = 1; next
              }
              if ($0 == "--- end") { exact = 0; next }
              want[++n] = $0
              if (!exact) { start[++blocks] = n; exactly[blocks] = 0 }
              stop[blocks] = n
              next
            }
            { got[++m] = $0 }
            END {
              at = 1
              for (b = 1; b <= blocks; b++) {
                if (stop[b] < start[b]) continue
                for (; at <= m; at++) {
                  k = 0
                  while (start[b] + k <= stop[b] && at + k <= m &&
                         got[at + k] == want[start[b] + k]) k++
                  if (start[b] + k > stop[b]) break
                }
                if (at > m) {
                  what = exactly[b] ? "missing from the log, as consecutive lines, in order:" \
                                    : "missing from the log, in order:"
                  print what
                  for (i = start[b]; i <= stop[b]; i++) print "  " want[i]
                  exit 1
                }
                at += stop[b] - start[b] + 1
              }
            }' "$SCRATCH/log.want" "$SCRATCH/log.got"; then
    cat "$SCRATCH/log.got" | head -n 80
    fail "log lines differ"
  fi
fi
echo "PASS $name"
