#!/bin/bash
# install-check's cost: the sample product (the mean of many runs, and the peak memory), and
# generated products whose copy script has N lines (10,000 by default), in a temporary folder.
# Usage: bench_check.sh [install-check] [source folder] [lines]
set -eu
tool=$(realpath "${1:-build/gcc/tools/install-check}")
src=$(realpath "${2:-.}")
n=${3:-10000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Milliseconds of one run and its peak resident memory (KiB), findings thrown away.
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/rss" "$tool" "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo "$(((end - start) / 1000000)) $(tail -n1 "$work/rss")"
}

runs=50
start=$(date +%s%N)
for _ in $(seq $runs); do "$tool" "$src/examples/webapp" >/dev/null 2>&1; done
mean=$((($(date +%s%N) - start) / runs / 100000))
read -r _ rss < <(measure "$src/examples/webapp")
printf '%-28s %5d.%d ms per check (mean of %d)  %6d KiB peak\n' "sample product" \
  $((mean / 10)) $((mean % 10)) $runs "$rss"

# A copy script of n lines, a correct one: folders made, a script copied into each with a
# Chmod after it, a template written; or folders only. Every fifth line a comment.
product() {  # KIND
  local dir=$work/$1
  mkdir -p "$dir/cgi" "$dir/templates"
  printf 'product Bench\ncgi_dir $(current_dir)/cgi-bin\nno_cgi false\nname bench\n' \
    >"$dir/install.dat"
  printf 'HTTP_Scripts cgi_dir no_cgi - -\n' >"$dir/install.int"
  printf '[install]\n[upgrade]\n[remove]\n' >"$dir/install.q"
  printf '#!/bin/sh\n' >"$dir/cgi/run.cgi"
  printf 'name=$(name)\n' >"$dir/templates/conf.in"
  awk -v n="$n" -v kind="$1" 'BEGIN {
    print "[install]"
    for (d = 0; d < n / 5; d++) {
      printf "# folder %d\n", d
      if (kind == "mkdir") {
        for (i = 0; i < 4; i++) printf "MkDir $(cgi_dir)/d%d/e%d\n", d, i
        continue
      }
      printf "MkDir $(cgi_dir)/d%d\n", d
      printf "CopyFile $(current_dir)/cgi/*.cgi - $(cgi_dir)/d%d\n", d
      printf "Chmod $(cgi_dir)/d%d/*.cgi - 755\n", d
      printf "Ini $(current_dir)/templates/conf.in $(cgi_dir)/d%d/c.conf\n", d
    }
    print "[upgrade]"
    print "[remove]"
    print "RmDir $(cgi_dir)/d0 -"
  }' >"$dir/install.cpy"
  echo "$dir"
}

for kind in mixed mkdir; do
  dir=$(product $kind)
  read -r ms rss < <(measure "$dir")
  printf '%-28s %5d ms  %6d KiB peak\n' "$n-line copy script ($kind)" "$ms" "$rss"
done
