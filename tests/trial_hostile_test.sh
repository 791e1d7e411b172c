#!/usr/bin/env bash
# A hostile product (tests/hostile) under install-trial must leave the machine as it was
# and have each of its writes named in the report. The trial itself runs inside an outer
# private mount namespace whose /etc, /home, /opt, /root, /srv, /tmp, /usr and /var are
# overlays: a sandbox that leaks harms only those, and the test sees the leak there.
#
# usage: trial_hostile_test.sh INSTALL-TRIAL
# Needs root, Debian's apache2-bin, curl and ip.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/need.sh"
need_root
need_apache
need_cmd curl
need_cmd ip iproute2
[ $# -ge 1 ] || fail "usage: trial_hostile_test.sh INSTALL-TRIAL"
trial=$(readlink -f "$1")
scratch trial-hostile
cp -a "$here/hostile" "$T/product"
mkdir -p "$T/outer"
cat > "$T/outer.sh" <<'OUTER'
set -uo pipefail
mount -t tmpfs outer "$T/outer" || exit 2
# /tmp last: the tmpfs holding the upper layers is in it, and hidden once it is overlaid.
for d in etc home opt root srv usr var tmp; do
  [ -d "/$d" ] || continue
  mkdir -p "$T/outer/up/$d" "$T/outer/work/$d"
  chmod --reference="/$d" "$T/outer/up/$d"  # the overlay's top takes the upper layer's mode
  mount -t overlay overlay -o "lowerdir=/$d,upperdir=$T/outer/up/$d,workdir=$T/outer/work/$d" "/$d" ||
    { echo "cannot overlay /$d"; exit 2; }
done
victim=/tmp/hostile-victim
mkdir -p "$victim" && echo keep > "$victim/file"
# What the product goes for: these folders whole, and its names in /tmp.
look() {
  find /etc /home /root /srv /tmp/hostile-* /tmp/cgi-marker -xdev \
    -printf '%p %y %m %u %g %s %T@\n' 2>/dev/null | LC_ALL=C sort
}
look > "$T/look.before"
"$trial" --url /cgi-bin/hostile/hostile.cgi --lines 5 --seconds 30 "$T/product" > "$T/report" 2>&1
echo "install-trial: status $?" >> "$T/report"
look > "$T/look.after"
why=''
diff "$T/look.before" "$T/look.after" > "$T/look.diff" ||
  why="$why; the machine changed: $(head -c 600 "$T/look.diff")"
[ ! -e /tmp/hostile-install-ran ] || why="$why; the product's own install ran"
! grep -q 'hostile-install-ran' "$T/report" || why="$why; the product's own install ran in the sandbox"
! pgrep -f 'sleep 4242' > /dev/null || why="$why; a process of the product outlived the trial"
# Each write named, as the sandbox saw it.
for want in '^created .* /root/\.ssh$' '^created .* /root/\.ssh/authorized_keys$' \
            '^created .* /home/hostile-marker$' '^created .* /srv/hostile$' \
            '^created .* /tmp/hostile-marker$' '^created .* /etc/hostile-marker$' \
            '^removed .* /tmp/hostile-victim$' '^removed .* /tmp/hostile-victim/file$' \
            '^created .* product/stolen\.txt$' \
            '^-- written by the CGI while the pages were fetched: 1 created' \
            '^created .* /tmp/cgi-marker$' '^-- GET /cgi-bin/hostile/hostile\.cgi: 200$' \
            '^> shadow: *$' '^install-trial: status [01]$'; do
  grep -Eq -- "$want" "$T/report" || why="$why; not in the report: $want"
done
# The secret never reaches the report: not even the first field of root's line.
! grep -q '^> shadow: .*root:' "$T/report" || why="$why; /etc/shadow reached the report"
if [ -n "$why" ]; then cat "$T/report"; echo "FAIL${why}"; exit 1; fi
echo "PASS the hostile product changed nothing outside the sandbox"
OUTER
T=$T trial=$trial unshare -m --propagation private bash "$T/outer.sh"
