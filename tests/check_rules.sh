#!/usr/bin/env bash
# install-check's suppressions and its output at the edges, on small products made in a
# temporary folder: each suppression form leaves out exactly what it names; an empty result
# is still valid JSON and SARIF; names with blanks and templates outside the product keep
# paths that open; a previous release that cannot be read is a usage error.
#
# usage: check_rules.sh INSTALL-CHECK SOURCE-DIR
set -uo pipefail
tool=$(readlink -f "$1")
src=$(readlink -f "$2")
. "$src/tests/need.sh"
need_cmd python3
python3 -c 'import jsonschema' 2>/dev/null || need_fail "needs python3-jsonschema"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
bad() { echo "FAIL: $*"; fail=1; }

# A product with one unused setting per line of install.dat (IC204), a template with a
# reference to no setting on each line (IC210), and whatever suppression the case adds.
make_product() {  # DIR
  mkdir -p "$1"
  printf 'product  P\n' > "$1/install.dat"
  : > "$1/install.int"
  printf '[install]\n[upgrade]\n[remove]\n' > "$1/install.q"
  printf '[install]\nIni  $(current_dir)/t.in  $(current_dir)/out\n[upgrade]\n[remove]\n' \
    > "$1/install.cpy"
  printf 'a=$(pwd)\nb=$(date)\nc=$(whoami)\n' > "$1/t.in"
}
# The codes and lines found, one "FILE:LINE CODE" a line.
found() { "$tool" "$@" 2>/dev/null | sed -E 's/^([^:]+:[0-9]+):.*\[(IC[0-9]+)\]$/\1 \2/'; }
expect() {  # WHAT EXPECTED-LINES... -- ARGS
  local what=$1; shift
  local want=()
  while [ "$1" != -- ]; do want+=("$1"); shift; done
  shift
  diff <(printf '%s\n' "${want[@]}" | sed '/^$/d') <(found "$@") > "$work/diff" ||
    { bad "$what"; cat "$work/diff"; }
}

cd "$work"
make_product p
cat >> p/install.dat <<'EOF'
one   1
# install-check: disable=IC204
two   2
# install-check: disable=IC101,IC204
# another comment between
three 3
four  4
EOF
expect "a comment leaves out the next line that is not a comment, and only it" \
  "p/install.dat:2 IC204" "p/install.dat:8 IC204" \
  "p/t.in:1 IC210" "p/t.in:2 IC210" "p/t.in:3 IC210" -- p

sed -i '1i # install-check: disable=IC204' p/install.dat
expect "a comment on the first line leaves the code out of the whole file" \
  "p/t.in:1 IC210" "p/t.in:2 IC210" "p/t.in:3 IC210" -- p

printf 'IC210 t.in:2\n# a comment\nt.in:3\nIC999,IC210 nosuch.in\n' > p/.install-check
expect ".install-check: a code at a line, every code at a line, nothing for another file" \
  "p/t.in:1 IC210" -- p
printf 'IC204,IC210   ./t.in\n' > p/.install-check
expect ".install-check: codes in a whole file, the path written from ./" -- p

# Nothing found: valid JSON and SARIF all the same, status 0, the count says so.
"$tool" --format json p > empty.json 2> count || bad "a clean product fails"
[ "$(cat count)" = "0 errors, 0 warnings, 0 notes" ] || bad "count of nothing: $(cat count)"
"$tool" --format sarif p > empty.sarif 2>/dev/null
python3 - "$src/tests/data" <<'EOF' || bad "empty JSON or SARIF does not match its schema"
import json, sys, jsonschema
d = sys.argv[1]
jsonschema.validate(json.load(open("empty.json")), json.load(open(d + "/findings.schema.json")))
s = json.load(open("empty.sarif"))
jsonschema.validate(s, json.load(open(d + "/sarif-2.1.0.json")))
assert s["runs"][0]["results"] == [] and json.load(open("empty.json"))["findings"] == []
EOF

# A product folder with a blank in its name, named with a trailing '/', and a template
# outside it: the printed paths open from here, the SARIF ones are URIs.
make_product "my product"
mkdir -p shared
printf 'x=$(nosuch)\n' > shared/t.in
sed -i "s|\$(current_dir)/t.in|$work/shared/t.in|" "my product/install.cpy"
"$tool" "my product/" > out 2>/dev/null
[ "$(cut -d: -f1 out)" = "$work/shared/t.in" ] || bad "a template outside the product: $(cat out)"
"$tool" --format sarif "my product/" > out.sarif 2>/dev/null
python3 - "$work" <<'EOF' || bad "SARIF location of a template outside the product"
import json, sys
r = json.load(open("out.sarif"))["runs"][0]["results"]
assert [x["locations"][0]["physicalLocation"]["artifactLocation"]["uri"] for x in r] == \
    ["file://" + sys.argv[1] + "/shared/t.in"], r
EOF
printf 'unused  1\n' >> "my product/install.dat"
"$tool" --format sarif "my product" 2>/dev/null | grep -q '"uri": "my%20product/install.dat"' ||
  bad "a blank in a SARIF path is not written %20"
"$tool" "my product/" 2>/dev/null | grep -q '^my product/install.dat:2: ' ||
  bad "a trailing '/' on the folder doubles in the paths printed"

# The previous release must be there.
"$tool" --from nosuch p > /dev/null 2>&1
[ $? = 2 ] || bad "an unreadable --from is no usage error"
"$tool" --from p --plan install p > /dev/null 2>&1
[ $? = 2 ] || bad "--from with --plan is no usage error"

[ $fail = 0 ] && echo PASS
exit $fail
