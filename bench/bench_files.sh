#!/bin/bash
# Automated runs, in a temporary folder, on companion files of N lines: defaults each referring
# to the one before, init commands each creating a setting, question entries (a computed entry
# and a question per setting). Usage: bench_files.sh [installer] [lines, 100,000 by default]
set -eu
bin=$(realpath "${1:-build/gcc/install}")
n=${2:-100000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for kind in defaults init questions; do
  mkdir "$work/$kind" && cd "$work/$kind"
  printf 'product Bench\n' >install.dat && : >install.int && printf '[install]\n' >install.q
  printf '[install]\nMkDir %s/made\n' "$PWD" >install.cpy
  case $kind in
    defaults) awk -v n="$n" 'BEGIN { print "d0 start"
      for (i = 1; i < n; i++) printf "d%d $(D%d)x\n", i, i - 1 }' >>install.dat ;;
    init) awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) printf "Copy i%d product - -\n", i }' \
      >install.int ;;
    questions) awk -v n="$n" 'BEGIN { for (i = 0; i < n / 2; i++)
      printf "Copy q%d - - h product\nText q%d - - h Question %d\n", i, i, i }' >>install.q ;;
  esac
  start=$(date +%s%N)
  "$bin" -automate >/dev/null </dev/null
  [ -d made ] || echo "$kind: the run did not reach the copy step" >&2
  printf '%-10s %d lines  %6d ms\n' "$kind" "$n" $((($(date +%s%N) - start) / 1000000))
done
