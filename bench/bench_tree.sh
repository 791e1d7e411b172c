#!/bin/bash
# The installer's tree work beside the system's tools, in one run on this machine: CopyDir
# against cp -r into a new tree; upgrades, CopyDir into a tree that already holds the files
# with none, 5% or all of them changed, against cp -r and rsync -a --checksum into the same
# tree; Chown, Chmod and RmDir against chown -R, chmod -R and rm -r, with a change to make
# and with nothing to change. Each set of commands runs alternately RUNS times (7 by
# default) and the median of installer time / tool time is shown; then peak memory copying
# 100 and 100,000 files, and start-up to the menu. All in a temporary folder.
# Usage: bench_tree.sh [installer] [runs]
set -eu
bin=$(realpath "${1:-build/gcc/install}")
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# A product with one -special section per job and no init commands.
printf 'product Bench\n' >install.dat && : >install.int
printf '[copy]\n[chown]\n[chmod]\n[rm]\n[chown-same]\n[chmod-same]\n' >install.q
printf '[copy]\nCopyDir %s/src/tree - %s/dst\n[chown]\nChown %s - nobody:nogroup\n[chmod]
Chmod %s - 750\n[rm]\nRmDir %s -\n[chown-same]\nChown %s - root:root\n[chmod-same]
Chmod %s - 755\n' "$work" "$work" "$work/dst/tree" "$work/dst/tree" "$work/dst/tree" \
  "$work/dst/tree" "$work/dst/tree" >install.cpy

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

# Changes the first byte of every Nth file of dst/tree (1: all of them) to differ from the
# source's, keeping sizes, so an upgrade has that share of files to write.
dirty() {
  python3 - "$1" <<'PY'
import os, sys
every = int(sys.argv[1])
names = sorted(os.path.join(d, f) for d, _, fs in os.walk("src/tree") for f in fs)
for i, src in enumerate(names):
    if i % every:
        continue
    with open(src, "rb") as f:
        first = f.read(1)
    with open("dst" + src[3:], "r+b") as f:
        f.write(bytes([first[0] ^ 0xFF]))
PY
}
unchanged() { :; }
dirty_some() { dirty 20; }
dirty_all() { dirty 1; }

upgrade() {  # NAME PREPARE: CopyDir, cp -r and rsync -a --checksum into the existing tree
  local name=$1 prep=$2 a=() b=() c=() rb=() rc=()
  for ((i = 0; i < runs; i++)); do
    $prep && sync && a+=("$(us "$bin" -automate -special copy)")
    $prep && sync && b+=("$(us cp -r src/tree dst/)")
    $prep && sync && c+=("$(us rsync -a --checksum src/tree dst/)")
    rb+=("$(awk "BEGIN { printf \"%.3f\", ${a[i]} / ${b[i]} }")")
    rc+=("$(awk "BEGIN { printf \"%.3f\", ${a[i]} / ${c[i]} }")")
  done
  printf '%-30s installer %6d ms  cp %6d ms  rsync %6d ms  median ratios %s, %s\n' "$name" \
    $(($(median "${a[@]}") / 1000)) $(($(median "${b[@]}") / 1000)) \
    $(($(median "${c[@]}") / 1000)) "$(median "${rb[@]}")" "$(median "${rc[@]}")"
}

upgrades() {  # the three upgrades of the tree in src/tree
  filled
  upgrade "  upgrade, nothing changed" unchanged
  upgrade "  upgrade, 5% of files changed" dirty_some
  upgrade "  upgrade, every file changed" dirty_all
}

command -v rsync >/dev/null || { echo "bench_tree.sh: the upgrades need rsync" >&2; exit 1; }
echo "Ratios: installer / cp -r, installer / rsync -a --checksum (upgrades); else / the tool"
tree 50 100 36864
compare "CopyDir 5,000 files / 180 MB" fresh copy cp -r src/tree dst/
upgrades
tree 4 50 2097152
compare "CopyDir 200 files / 400 MB" fresh copy cp -r src/tree dst/
upgrades
tree 100 109 16 && filled
if [ "$(id -u)" = 0 ]; then
  compare "Chown 11,000 entries" keep chown chown -R root:root dst/tree
  chown -R root:root dst/tree
  compare "  nothing to change" keep chown-same chown -R root:root dst/tree
fi
compare "Chmod 11,000 entries" keep chmod chmod -R 755 dst/tree
chmod -R 755 dst/tree
compare "  nothing to change" keep chmod-same chmod -R 755 dst/tree
compare "RmDir 11,000 entries" filled rm rm -r dst/tree

for shape in "1 100" "100 1000"; do
  tree $shape 16 && fresh
  kib=$(/usr/bin/time -f %M "$bin" -automate -special copy 2>&1 >/dev/null </dev/null | tail -1)
  printf 'Peak memory copying %6d files: %s KiB\n' $((${shape% *} * ${shape#* })) "$kib"
done
t=()  # no input: the menu takes the end of input as exit
for ((i = 0; i < 21; i++)); do t+=("$(us "$bin")"); done
printf 'Start-up to the menu and exit: median %d us\n' "$(median "${t[@]}")"
