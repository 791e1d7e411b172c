#!/usr/bin/env bash
# The sample product under a real Apache, through install-trial: a site's copy of release
# 1.2 installed unattended, upgraded to 1.3 and removed with typed answers
# (data/apache-answers), backed up in between. The trial's report must hold the lines of
# data/apache-report in order, and none of that file's "!" lines where they stand. Then the
# same product with its script left without a run bit: every page of it answers 500, and
# that fails the trial, with Apache's reason beside it.
#
# usage: apache_test.sh INSTALL-TRIAL INSTALL-BINARY PRODUCT-DIR
# Needs root, Debian's apache2-bin and curl.
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_root
need_apache
[ $# -ge 3 ] || fail "usage: apache_test.sh INSTALL-TRIAL INSTALL-BINARY PRODUCT-DIR"
data=$(dirname "$(readlink -f "$0")")/data
scratch apache-test
trial() { "$1" --installer "$2" "${@:4}" > "$T/report" 2>&1; status=$?; }
verdict() { [ -z "$why" ] || { cat "$T/report"; echo "----"; fail "$why"; }; }
nl=$'\n'

# Release 1.2 as a site adapts it: defaults the page must show, editor leftovers the
# install must not publish. Release 1.3 has a changed script.
cp -a "$3" "$T/old"
sed -i -e 's/^title .*/title  Apache test notes/' -e 's/^show_env .*/show_env  yes/' "$T/old/install.dat"
touch "$T/old/htdocs/old.bak" "$T/old/htdocs/index.html~"
cp -a "$T/old" "$T/new"
sed -i 's/^version .*/version  1.3/' "$T/new/install.dat"
echo "# release 1.3" >> "$T/new/cgi/webnotes.cgi"
trial "$@" --from "$T/old" --answers "$data/apache-answers" --special backup \
  --url /cgi-bin/webnotes/webnotes.cgi --url /webnotes/ --lines 40 "$T/new"
# Wanted lines in order; a "!" line must not match between its neighbours' matches.
why=$(awk 'FILENAME == ARGV[1] { if (/^#/ || /^$/) next
                       if (sub(/^!/, "")) { no[++m] = $0; slot[m] = n } else want[++n] = $0; next }
           i < n && $0 ~ want[i + 1] { i++; next }
           { for (j = 1; j <= m; j++) if (slot[j] == i && $0 ~ no[j]) print "not wanted here: " $0 }
           END { if (i < n) print "missing, after the lines before it: " want[i + 1] }' \
        "$data/apache-report" "$T/report")
scratch=$(sed -n 's/^scratch folder //p' "$T/report")
[ "$status" = 0 ] || why="$why${why:+$nl}install-trial ended with status $status"
[ -n "$scratch" ] && [ ! -e "$scratch" ] || why="$why${why:+$nl}scratch folder left: $scratch"
! pgrep -f "${scratch:-/nonexistent}/" >/dev/null || why="$why${why:+$nl}a process of the trial is left"
verdict

cp -a "$T/new" "$T/broken"
sed -i '/^Chmod .*\.cgi/d' "$T/broken/install.cpy"
chmod 644 "$T/broken/cgi/webnotes.cgi"
trial "$@" --url /cgi-bin/webnotes/webnotes.cgi "$T/broken"
[ "$status" = 1 ] || why="install-trial ended with status $status on a broken product"
for want in '^-- install: FAILED \(a page answered 500 /cgi-bin/webnotes/webnotes\.cgi\)' \
            '^-- error log: .*webnotes\.cgi' \
            '^== summary: install FAILED .*\[500 /cgi-bin/webnotes/webnotes\.cgi\]'; do
  grep -Eq -- "$want" "$T/report" || why="$why${why:+$nl}not in the broken product's report: $want"
done
verdict
echo "PASS the sample's trial under Apache"
