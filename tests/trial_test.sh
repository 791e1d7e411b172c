#!/usr/bin/env bash
# install-trial under a real Apache, in two parts.
# sample: the sample's 1.2 installed, upgraded to 1.3 with typed answers (data/apache-answers),
#   backed up and removed; the report as data/apache-report says. Without its script's run
#   bit every page answers 500, which fails the trial with Apache's reason beside it.
# hostile: tests/hostile leaves the machine as it was and each of its writes is named in the
#   report. The trial runs in an outer mount namespace whose /etc, /home, /opt, /root, /srv,
#   /tmp, /usr and /var are overlays: a sandbox that leaks harms only those, where it shows.
# usage: trial_test.sh sample INSTALL-TRIAL INSTALL-BINARY PRODUCT-DIR
#        trial_test.sh hostile INSTALL-TRIAL
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/need.sh"
need_trial
part=$1 trial=$(readlink -f "$2")
wanted() { for w; do grep -Eq -- "$w" "$T/report" || bad "not in the report: $w"; done; }
verdict() { [ "${failures:-0}" = 0 ] || { echo "---- the report:"; cat "$T/report"; exit 1; }; }

sample() {  # INSTALL-BINARY PRODUCT-DIR
  # 1.2 as a site adapts it (defaults the page shows, editor leftovers not to publish).
  cp -a "$2" "$T/old"
  sed -i -e 's/^title .*/title  Apache test notes/' -e 's/^show_env .*/show_env  yes/' "$T/old/install.dat"
  touch "$T/old/htdocs/old.bak" "$T/old/htdocs/index.html~"
  cp -a "$T/old" "$T/new"
  sed -i 's/^version .*/version  1.3/' "$T/new/install.dat"
  echo "# release 1.3" >> "$T/new/cgi/webnotes.cgi"
  "$trial" --installer "$1" --from "$T/old" --answers "$here/data/apache-answers" --special backup \
    --url /cgi-bin/webnotes/webnotes.cgi --url /webnotes/ --lines 40 "$T/new" > "$T/report" 2>&1; status=$?
  # Wanted lines in order; a "!" line must not match between its neighbours' matches.
  out=$(awk 'FILENAME == ARGV[1] { if (/^#/ || /^$/) next
                   if (sub(/^!/, "")) { no[++m] = $0; slot[m] = n } else want[++n] = $0; next }
       i < n && $0 ~ want[i + 1] { i++; next }
       { for (j = 1; j <= m; j++) if (slot[j] == i && $0 ~ no[j]) print "not wanted here: " $0 }
       END { if (i < n) print "missing, after the lines before it: " want[i + 1] }' \
    "$here/data/apache-report" "$T/report")
  [ -z "$out" ] || bad "$out"
  scratch=$(sed -n 's/^scratch folder //p' "$T/report")
  [ "$status" = 0 ] || bad "install-trial ended with status $status"
  [ -n "$scratch" ] && [ ! -e "$scratch" ] || bad "scratch folder left: $scratch"
  ! pgrep -f "${scratch:-/nonexistent}/" >/dev/null || bad "a process of the trial is left"
  verdict

  cp -a "$T/new" "$T/broken"
  sed -i '/^Chmod .*\.cgi/d' "$T/broken/install.cpy"
  chmod 644 "$T/broken/cgi/webnotes.cgi"
  "$trial" --installer "$1" --url /cgi-bin/webnotes/webnotes.cgi "$T/broken" > "$T/report" 2>&1; status=$?
  [ "$status" = 1 ] || bad "install-trial ended with status $status on a broken product"
  wanted '^-- install: FAILED \(a page answered 500 /cgi-bin/webnotes/webnotes\.cgi\)' \
    '^-- error log: .*webnotes\.cgi' '^== summary: install FAILED .*\[500 /cgi-bin/webnotes/webnotes\.cgi\]'
  verdict
  echo "PASS the sample's trial under Apache"
}

hostile() {  # in the outer namespace
  mount -t tmpfs outer "$T/outer" || fail "cannot mount a tmpfs"
  # /tmp last: the tmpfs holding the upper layers is in it, and hidden once it is overlaid.
  for d in etc home opt root srv usr var tmp; do
    [ -d "/$d" ] || continue
    mkdir -p "$T/outer/up/$d" "$T/outer/work/$d"
    chmod --reference="/$d" "$T/outer/up/$d"  # the overlay's top takes the upper layer's mode
    mount -t overlay overlay -o "lowerdir=/$d,upperdir=$T/outer/up/$d,workdir=$T/outer/work/$d" "/$d" ||
      fail "cannot overlay /$d"
  done
  mkdir -p /tmp/hostile-victim && echo keep > /tmp/hostile-victim/file
  # What the product goes for: these folders whole, and its names in /tmp.
  look() {
    find /etc /home /root /srv /tmp/hostile-* /tmp/cgi-marker -xdev \
      -printf '%p %y %m %u %g %s %T@\n' 2>/dev/null | LC_ALL=C sort
  }
  look > "$T/look.before"
  "$trial" --url /cgi-bin/hostile/hostile.cgi --lines 5 --seconds 30 "$T/product" > "$T/report" 2>&1
  echo "install-trial: status $?" >> "$T/report"
  diff "$T/look.before" <(look) > "$T/look.diff" || bad "the machine changed: $(head -c 600 "$T/look.diff")"
  [ ! -e /tmp/hostile-install-ran ] || bad "the product's own install ran"
  ! grep -q 'hostile-install-ran' "$T/report" || bad "the product's own install ran in the sandbox"
  ! pgrep -f 'sleep 4242' > /dev/null || bad "a process of the product outlived the trial"
  # Each write named, as the sandbox saw it.
  wanted '^created .* /root/\.ssh$' '^created .* /root/\.ssh/authorized_keys$' \
    '^created .* /home/hostile-marker$' '^created .* /srv/hostile$' '^created .* /tmp/hostile-marker$' \
    '^created .* /etc/hostile-marker$' '^removed .* /tmp/hostile-victim$' \
    '^removed .* /tmp/hostile-victim/file$' '^created .* product/stolen\.txt$' \
    '^-- written by the CGI while the pages were fetched: 1 created' '^created .* /tmp/cgi-marker$' \
    '^-- GET /cgi-bin/hostile/hostile\.cgi: 200$' '^> shadow: *$' '^install-trial: status [01]$'
  # The secret never reaches the report: not even the first field of root's line.
  ! grep -q '^> shadow: .*root:' "$T/report" || bad "/etc/shadow reached the report"
  verdict
  echo "PASS the hostile product changed nothing outside the sandbox"
}

case $part in
  sample) [ $# = 4 ] || fail "usage: trial_test.sh sample INSTALL-TRIAL INSTALL-BINARY PRODUCT-DIR"
    scratch trial-sample && sample "${@:3}" ;;
  hostile) scratch trial-hostile && cp -a "$here/hostile" "$T/product" && mkdir "$T/outer"
    # The scratch folder is made and removed out here, where /tmp is the host's.
    T=$T unshare -m --propagation private bash "$0" outer "$2" ;;
  outer) hostile ;;
  *) fail "usage: trial_test.sh sample|hostile INSTALL-TRIAL ..." ;;
esac
