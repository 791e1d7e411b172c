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
cp "$here/$name.stdout" "$scen/stdout"
for extra in log expect; do
  [ -f "$here/$name.$extra" ] && cp "$here/$name.$extra" "$scen/$extra"
done
IFS=, read -ra place <<< "$places"
IFS=, read -ra conf <<< "$confs"
for i in "${!conf[@]}"; do
  [ "${conf[i]}" = - ] && continue
  src=$here/confs/${conf[i]}
  [ -f "$src" ] || src=$here/../data/httpd/${conf[i]}
  case $src in *.gz) get="gzip -dc" ;; *.sh) get=bash ;; *) get=cat ;; esac
  to="\"\$OVERLAY${place[i]}\""
  echo "mkdir -p \"\$(dirname $to)\" && $get '$src' > $to" >> "$scen/setup"
done
for what in user group root scripts; do
  value=${!what}
  [ "$value" = '!' ] && printf 'got.%s file - - =none\nfail.%s file - - =true\n' $what $what
  [ "$value" = '!' ] && continue
  [[ $value == md5:* ]] || value="=$value"
  printf 'got.%s file - - %s\nfail.%s file - - =false\n' $what "$value" $what
  etc=$scen/overlay/etc value=${value#=}
  case $what in
    user) getent passwd "$value" > /dev/null ||
      echo "$value:x:2001:2001::/nonexistent:/usr/sbin/nologin" >> "$etc/passwd.add" ;;
    group) getent group "$value" > /dev/null || echo "$value:x:2001:" >> "$etc/group.add" ;;
  esac
done >> "$scen/expect"
bash "$here/../run_scenario.sh" "$1" "$scen"
