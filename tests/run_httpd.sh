#!/usr/bin/env bash
# Runs one row of httpd/cases as a scenario (see there) through run_scenario.sh.
# usage: run_httpd.sh INSTALL-BINARY CASE
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")/httpd
read -r name places confs user group root scripts < <(grep "^$2 " "$here/cases")
[ "$name" = "$2" ] || { echo "FAIL httpd-$2: no such case"; exit 1; }
scen=$(mktemp -d "${TMPDIR:-/tmp}/httpd.XXXXXX")/httpd-$name
trap 'rm -rf "${scen%/*}"' EXIT
mkdir -p "$scen/overlay/etc"
cp -a "$here/product" "$here/input" "$scen/"
for x in stdout log expect; do [ ! -f "$here/$name.$x" ] || cp "$here/$name.$x" "$scen/$x"; done
IFS=, read -ra place <<< "$places"
IFS=, read -ra conf <<< "$confs"
for i in "${!conf[@]}"; do
  src=$here/confs/${conf[i]}
  [ -f "$src" ] || src=$here/../data/httpd/${conf[i]}
  case $src in *.gz) get="gzip -dc" ;; *.sh) get=bash ;; *) get=cat ;; esac
  [ "${conf[i]}" = - ] || echo "mkdir -p \"\$(dirname \"\$OVERLAY${place[i]}\")\" && $get '$src' > \"\$OVERLAY${place[i]}\""
done > "$scen/setup"
etc=$scen/overlay/etc
for what in user group root scripts; do
  value=${!what}
  [ "$value" = '!' ] && printf 'got.%s file - - =none\nfail.%s file - - =true\n' $what $what && continue
  [[ $value == md5:* ]] || value="=$value"
  printf 'got.%s file - - %s\nfail.%s file - - =false\n' $what "$value" $what
  [ $what = user ] && ! getent passwd "${value#=}" > /dev/null &&
    echo "${value#=}:x:2001:2001::/nonexistent:/usr/sbin/nologin" >> "$etc/passwd.add"
  [ $what = group ] && ! getent group "${value#=}" > /dev/null && echo "${value#=}:x:2001:" >> "$etc/group.add"
done >> "$scen/expect"
bash "$here/../run_scenario.sh" "$1" "$scen"
