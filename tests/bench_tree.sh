#!/bin/bash
# The installer's tree work beside the system's tools, in one run on this machine: CopyDir
# against cp -r (into a new, then into the existing tree), Chown, Chmod and RmDir against
# chown -R, chmod -R and rm -r, each pair run alternately RUNS times (7 by default), with the
# median of installer time / tool time; then peak memory copying 100 and 100,000 files, and
# start-up to the menu. All in a temporary folder. Usage: bench_tree.sh [installer] [runs]
set -eu
bin=$(realpath "${1:-build/gcc/install}")
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# A product with one -special section per job and no init commands.
printf 'product Bench\n' >install.dat && : >install.int
printf '[copy]\n[chown]\n[chmod]\n[rm]\n' >install.q
printf '[copy]\nCopyDir %s/src/tree - %s/dst\n[chown]\nChown %s - nobody:nogroup\n[chmod]
Chmod %s - 750\n[rm]\nRmDir %s -\n' "$work" "$work" "$work/dst/tree" "$work/dst/tree" \
  "$work/dst/tree" >install.cpy

tree() {  # DIRS FILES-PER-DIR BYTES-PER-FILE: a fresh src/tree of random files
  rm -rf src && mkdir -p src/tree
  for ((d = 0; d < $1; d++)); do
    mkdir src/tree/d$d && head -c $(($2 * $3)) /dev/urandom | split -b "$3" -a 5 - src/tree/d$d/f
  done
}
us() { local t=$(date +%s%N); "$@" >/dev/null 2>&1 </dev/null; echo $((($(date +%s%N) - t) / 1000)); }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
fresh() { rm -rf dst && mkdir dst; }
filled() { fresh && cp -a src/tree dst/; }
keep() { :; }

compare() {  # NAME PREPARE SECTION TOOL...
  local name=$1 prep=$2 section=$3 a=() b=() r=()
  shift 3
  for ((i = 0; i < runs; i++)); do
    $prep && sync && a+=("$(us "$bin" -automate -special "$section")")
    $prep && sync && b+=("$(us "$@")")
    r+=("$(awk "BEGIN { printf \"%.3f\", ${a[i]} / ${b[i]} }")")
  done
  printf '%-30s installer %6d ms  tool %6d ms  median ratio %s\n' "$name" \
    $(($(median "${a[@]}") / 1000)) $(($(median "${b[@]}") / 1000)) "$(median "${r[@]}")"
}

tree 50 100 36864
compare "CopyDir 5,000 files / 180 MB" fresh copy cp -r src/tree dst/
compare "  into the existing tree" keep copy cp -r src/tree dst/
tree 4 50 2097152
compare "CopyDir 200 files / 400 MB" fresh copy cp -r src/tree dst/
compare "  into the existing tree" keep copy cp -r src/tree dst/
tree 100 109 16 && filled
[ "$(id -u)" = 0 ] && compare "Chown 11,000 entries" keep chown chown -R root:root dst/tree
compare "Chmod 11,000 entries" keep chmod chmod -R 755 dst/tree
compare "RmDir 11,000 entries" filled rm rm -r dst/tree

for shape in "1 100" "100 1000"; do
  tree $shape 16 && fresh
  kib=$(/usr/bin/time -f %M "$bin" -automate -special copy 2>&1 >/dev/null </dev/null | tail -1)
  printf 'Peak memory copying %6d files: %s KiB\n' $((${shape% *} * ${shape#* })) "$kib"
done
t=()  # no input: the menu takes the end of input as exit
for ((i = 0; i < 21; i++)); do t+=("$(us "$bin")"); done
printf 'Start-up to the menu and exit: median %d us\n' "$(median "${t[@]}")"
