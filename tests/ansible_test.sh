#!/usr/bin/env bash
# The Ansible collection (contrib/ansible) rolls the sample product out to six simulated
# hosts (tests/fleet.sh), through the steps numbered below.
# usage: ansible_test.sh INSTALL INSTALL-CHECK
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/need.sh"
. "$here/fleet.sh"
fleet_need
fleet_enter "$@"
fleet_init "$1" "$2" "$here/.."
shown() { tail -n 60 "$FLEET/out"; bad "$@"; }  # a failure that Ansible's output explains
play() { fleet_play -e release="$FLEET/releases/webnotes-$1.tar.gz" -e action="$2" "${@:3}"; }

GOOD=(h1 h2 h3 h4 h5)
for n in 1 2 3 4 5; do
  # h2's scripts go to a folder of the administrator's choice, not the one httpd.conf names.
  more=() && [ $n = 2 ] && more=("cgi_dir: /srv/site2/other-cgi")
  fleet_host h$n $n "title: Notes of h$n" "set_owner: yes" "show_env: no" "${more[@]}" ||
    fail "cannot make host h$n"
done
fleet_host h6 6 "welcome_file: /nonexistent/welcome.txt" || fail "cannot make host h6"
printf '      vars:\n        webnotes_upgrade_answers:\n          go_on: yes
        webnotes_remove_answers:\n          keep_conf: no\n' >> "$FLEET/inventory.yml"
root() { echo "$FLEET/hosts/$1/root"; }

# What a host holds but the product's own paths and Ansible's temporary files, the same
# before the install and after the remove; a folder the overlay copied up unchanged is none.
state() {
  (cd "$FLEET/hosts/$1/upper" && find . \( -path ./root/.ansible -o -path ./opt/cgi-install \
     -o -path ./var/lib/cgi-install \) -prune -o -type d -printf '%p d %m %U:%G\n' \
     -o -printf '%p %y %m %U:%G %s\n' | sort | while read -r p y rest; do
       [ $y = d ] && [ "$(stat -c '%a %u:%g' "/$p" 2>/dev/null)" = "$rest" ] || echo "$p $y $rest"
     done)
}
for h in "${GOOD[@]}" h6; do state $h > "$FLEET/$h.before"; done

# row PATH TYPE MODE UID:GID [LINE]: owners by number, the host's users being its own.
row() {
  [ "$(stat -c '%F %a %u:%g' "$1" 2>&1)" = "$2 $3 $4" ] ||
    bad "$1: $(stat -c '%F %a %u:%g' "$1" 2>&1), expected $2 $3 $4"
  [ -z "${5:-}" ] || grep -qxF -- "$5" "$1" || bad "$1: no line '$5'"
}
# The product on each good host as the install (1.2) and the upgrade (1.3) leave it.
product_rows() {  # VERSION
  for h in "${GOOD[@]}"; do
    n=${h#h} r=$(root $h) cgi=/srv/site${h#h}/cgi-bin id=$((20000 + ${h#h})):$((20000 + ${h#h}))
    [ $h = h2 ] && cgi=/srv/site2/other-cgi
    row "$r$cgi/webnotes/webnotes.cgi" "regular file" 755 "$id"
    row "$r$cgi/webnotes/webnotes.conf" "regular file" 640 "$id" "title=Notes of h$n"
    [ "$(cat "$r/var/lib/cgi-install/webnotes/cgi_dir")" = "$cgi" ] || bad "$h: CGI folder not kept"
    [ "$1" = 1.3 ] && { [ "$(cat "$r$cgi/webnotes/VERSION" 2>&1)" = 1.3 ] || bad "$h: not upgraded"; continue; }
    row "$r/srv/site$n/html/webnotes/index.html" "regular file" 644 "$id"
    row "$r/var/lib/cgi-install/webnotes" directory 700 0:0
    row "$r/var/lib/cgi-install/webnotes/cgi_dir" "regular file" 600 0:0
    row "$r/opt/cgi-install/webnotes-1.2/install.q" "regular file" 644 0:0
    [ -e "$r/opt/cgi-install/webnotes-1.2/install.log" ] && bad "$h: the installer's log is in the product"
    # The answers reach the host only through what the product installs.
    left=$(grep -rlF "Notes of h$n" "$FLEET/hosts/$h/upper" | grep -vF "/upper$cgi/webnotes/")
    [ -z "$left" ] || bad "$h: its answers were left in $left"
  done
}

# 1. Install, three hosts a batch: h6's welcome file does not exist, so it fails alone.
play 1.2 install -e batch=3 -e max_fail=40
for h in "${GOOD[@]}"; do
  [ "$(fleet_count $h failed)" = 0 ] && [ "$(fleet_count $h changed)" -ge 1 ] ||
    shown "install: $h should have changed and not failed"
done
[ "$(fleet_count h6 failed)" = 1 ] || bad "install: h6 should have failed"
grep -q "the answer for 'welcome_file' was refused: File '/nonexistent/welcome.txt' must exist" \
  "$FLEET/out" || shown "install: h6's reason is not given"
product_rows 1.2
[ -e "$(root h2)/srv/site2/cgi-bin/webnotes" ] && bad "h2: httpd.conf's CGI folder won over the answer"
[ -e "$(root h6)/srv/site6/cgi-bin/webnotes" ] || [ -e "$(root h6)/var/lib/cgi-install" ] &&
  bad "h6: its failed install copied something"

# 2. The same playbook again changes nothing.
play 1.2 install --limit 'webservers:!h6'
for h in "${GOOD[@]}"; do
  [ "$(fleet_count $h changed)" = 0 ] && [ "$(fleet_count $h failed)" = 0 ] ||
    shown "re-run: $h reports changed or failed"
done

# 3. A new release: the upgrade asks the inventory only go_on, and keeps the install's answers.
play 1.3 upgrade --limit 'webservers:!h6' || shown "upgrade failed"
product_rows 1.3

# 4. Check mode: the plan of a remove as a diff, and nothing touched.
for h in "${GOOD[@]}"; do state $h > "$FLEET/$h.upgraded"; done
play 1.3 remove --limit h1 --check --diff
grep -q '^changed: \[h1\]' "$FLEET/out" && grep -q "/srv/site1/cgi-bin/webnotes/webnotes.cgi" "$FLEET/out" ||
  shown "check mode: no planned removal shown"
state h1 | cmp -s - "$FLEET/h1.upgraded" || bad "check mode changed h1"

# 5. An answer the run would not use fails the host before anything is copied: h6's web
#    user, with its files not given away (the user's question is then not asked).
play 1.2 install --limit h6 -e '{"webnotes_install_answers": {"set_owner": "no", "web_user": "nobody"}}'
grep -q "answer for 'web_user' was not used: its question was not asked (it is asked only when set_owner=true)" \
  "$FLEET/out" || shown "an unused answer was not reported"
[ -e "$(root h6)/var/lib/cgi-install" ] && bad "h6: the refused run copied something"

# 6. Remove: every host as it was before the install, but for the product's own paths.
play 1.3 remove
for h in "${GOOD[@]}" h6; do
  [ "$(fleet_count $h failed)" = 0 ] || shown "remove failed on $h"
  state $h | diff "$FLEET/$h.before" - || bad "$h differs after the remove"
done

# 7. A special section whose Error entry fires (nothing left to back up) fails the host.
play 1.3 special -e tag=backup --limit h1
[ "$(fleet_count h1 failed)" = 1 ] && grep -q 'Error: There is no WebNotes configuration' "$FLEET/out" ||
  shown "special: the backup's error was not reported"
passed "ansible: 6 hosts"
