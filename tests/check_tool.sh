#!/usr/bin/env bash
# install-check's conventions, in two parts: output, on the planted-mistakes product (its
# --fail-on and suppressions are cases of tests/check); rules, at the edges.
# usage: check_tool.sh output|rules INSTALL-CHECK SOURCE-DIR
set -uo pipefail
part=$1 tool=$(readlink -f "$2") src=$(readlink -f "$3")
. "$src/tests/need.sh"
need_cmd python3
python3 -c 'import jsonschema' 2>/dev/null || need_fail "needs python3-jsonschema"
scratch check-tool
valid() {  # JSON SARIF: each matches its schema
  python3 -c 'import json, sys, jsonschema
for f, s in zip(sys.argv[1:3], ("findings.schema.json", "sarif-2.1.0.json")):
    jsonschema.validate(json.load(open(f)), json.load(open(sys.argv[3] + "/" + s)))' \
    "$1" "$2" "$src/tests/data"
}

output() {
  # One product, named from a folder above it, in the four formats.
  cd "$src/tests/check"
  "$tool" mistakes/product > "$T/text" 2> "$T/count"
  for f in gcc json sarif; do "$tool" --format $f mistakes/product > "$T/$f" 2>/dev/null; done
  for f in $(cut -d: -f1 "$T/text"); do  # (no blanks in these paths)
    [[ $f == mistakes/product/* ]] && [ -f "$f" ] || bad "printed path '$f' is not one from here"
  done
  # gcc: the same lines with a column, in the compilers' shape.
  diff <(sed -E 's/^([^:]+:[0-9]+):/\1:1:/' "$T/text") "$T/gcc" >/dev/null ||
    bad "--format gcc is not the default lines with a column"
  valid "$T/json" "$T/sarif" || bad "the JSON or SARIF findings do not match their schemas"
  python3 - "$T" <<'PY' || bad "the formats disagree"
import json, re, sys
t = sys.argv[1]
text = [re.fullmatch(r"([^:]+):(\d+): (error|warning|note): (.+) \[(IC\d{3})\]", line.rstrip("\n"))
        for line in open(t + "/text")]
assert all(text), "a default line out of shape"
text = [(m[1], int(m[2]), m[3], m[5], m[4]) for m in text]
found = json.load(open(t + "/json"))
assert [(f["file"], f["line"], f["severity"], f["code"], f["message"])
        for f in found["findings"]] == text, "JSON findings differ from the default lines"
counts = open(t + "/count").read().strip()
assert counts == "%(errors)d errors, %(warnings)d warnings, %(notes)d notes" % found, \
    "summary '%s' differs from the JSON counts" % counts
run = json.load(open(t + "/sarif"))["runs"][0]
rules, loc = run["tool"]["driver"]["rules"], lambda r: r["locations"][0]["physicalLocation"]
assert all(rules[r["ruleIndex"]]["id"] == r["ruleId"] for r in run["results"]), \
    "a ruleIndex does not point at its rule"
assert [(loc(r)["artifactLocation"]["uri"], loc(r)["region"]["startLine"], r["level"], r["ruleId"],
         r["message"]["text"]) for r in run["results"]] == text, "SARIF results differ from the default lines"
PY

  # Every code: explained, in the manual page, shown by a planted case; and no other codes.
  "$tool" --explain IC000 > /dev/null 2> "$T/codes" && bad "--explain of a code that does not exist"
  codes=$(grep -oE '^  IC[0-9]{3}' "$T/codes" | tr -d ' ')
  [ -n "$codes" ] || bad "--explain lists no codes"
  [ "$codes" = "$(grep -oE '^\.B IC[0-9]{3}' "$src/man/install-check.1" | cut -c4-)" ] ||
    bad "the manual page's codes differ from the tool's"
  for code in $codes; do
    "$tool" --explain "$code" > "$T/explain"
    grep -q "^Example: " "$T/explain" || bad "--explain $code gives no example"
    grep -q "^Fix: " "$T/explain" || bad "--explain $code gives no fix"
    grep -q "\[$code\]$" ./*/expect || bad "no planted case shows $code"
  done
}

rules() {
  # Nothing found: valid JSON and SARIF all the same, status 0, the count says so.
  cd "$T" && cp -a "$src/tests/check/suppress-all/product" p
  "$tool" --format json p > empty.json 2> count || bad "a clean product fails"
  [ "$(cat count)" = "0 errors, 0 warnings, 0 notes" ] || bad "count of nothing: $(cat count)"
  "$tool" --format sarif p > empty.sarif 2>/dev/null
  valid empty.json empty.sarif || bad "empty JSON or SARIF does not match its schema"
  grep -q '"findings": \[\]' empty.json && grep -q '"results": \[\]' empty.sarif || bad "empty JSON or SARIF holds findings"

  # A product folder with a blank in its name, named with a trailing '/', and a template
  # outside it: the printed paths open from here, the SARIF ones are URIs.
  rm p/.install-check && mv p "my product" && mkdir shared
  printf 'x=$(nosuch)\n' > shared/t.in
  sed -i "s|\$(current_dir)/t.in|$T/shared/t.in|" "my product/install.cpy"
  printf 'product  P\n' > "my product/install.dat"
  "$tool" "my product/" > out 2>/dev/null
  [ "$(cut -d: -f1 out)" = "$T/shared/t.in" ] || bad "a template outside the product: $(cat out)"
  "$tool" --format sarif "my product/" > out.sarif 2>/dev/null
  [ "$(grep -c '"uri"' out.sarif)" = 1 ] && grep -qF "\"uri\": \"file://$T/shared/t.in\"" out.sarif ||
    bad "SARIF location of a template outside the product"
  printf 'unused  1\n' >> "my product/install.dat"
  "$tool" --format sarif "my product" 2>/dev/null | grep -q '"uri": "my%20product/install.dat"' ||
    bad "a blank in a SARIF path is not written %20"
  "$tool" "my product/" 2>/dev/null | grep -q '^my product/install.dat:2: ' ||
    bad "a trailing '/' on the folder doubles in the paths printed"
}

case $part in
  output | rules) $part ;;
  *) fail "usage: check_tool.sh output|rules INSTALL-CHECK SOURCE-DIR" ;;
esac
passed
