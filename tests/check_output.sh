#!/usr/bin/env bash
# install-check's conventions, on the planted-mistakes product: every output format holds the
# same findings and the JSON and SARIF ones match their schemas; the paths printed open from
# where the tool ran; --fail-on picks the severities that fail; every code has an
# explanation, a place in the manual page and a planted case that shows it.
#
# usage: check_output.sh INSTALL-CHECK SOURCE-DIR
set -uo pipefail
tool=$(readlink -f "$1")
src=$(readlink -f "$2")
. "$src/tests/need.sh"
need_cmd python3
python3 -c 'import jsonschema' 2>/dev/null || need_fail "needs python3-jsonschema"
cases=$src/tests/check
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail=0
bad() { echo "FAIL: $*"; fail=1; }

# One product, named from a folder above it, in the four formats.
cd "$cases"
"$tool" mistakes/product > "$scratch/text" 2> "$scratch/count"
for f in gcc json sarif; do "$tool" --format $f mistakes/product > "$scratch/$f" 2>/dev/null; done
n=$(wc -l < "$scratch/text")
[ "$(grep -c '^mistakes/product/' "$scratch/text")" = "$n" ] ||
  bad "a path printed does not start from where the tool ran"
while IFS=: read -r file _; do
  [ -f "$file" ] || bad "printed path '$file' does not open from where the tool ran"
done < "$scratch/text"
# gcc: the same lines with a column, in the compilers' shape.
diff <(sed -E 's/^([^:]+:[0-9]+):/\1:1:/' "$scratch/text") "$scratch/gcc" >/dev/null ||
  bad "--format gcc is not the default lines with a column"
grep -Evq '^[^:]+:[0-9]+:1: (error|warning|note): .+ \[IC[0-9]{3}\]$' "$scratch/gcc" &&
  bad "a --format gcc line out of shape"

python3 - "$scratch" "$src/tests/data" <<'EOF' || fail=1
import json, re, sys, jsonschema
scratch, data = sys.argv[1], sys.argv[2]
ok = True
def check(cond, what):
    global ok
    if not cond:
        print("FAIL: " + what); ok = False
text = []
for line in open(scratch + "/text"):
    m = re.match(r"^([^:]+):(\d+): (error|warning|note): (.*) \[(IC\d{3})\]$", line.rstrip("\n"))
    check(m is not None, "default line out of shape: " + line)
    if m: text.append((m[1], int(m[2]), m[3], m[5], m[4]))
found = json.load(open(scratch + "/json"))
jsonschema.validate(found, json.load(open(data + "/findings.schema.json")))
check([(f["file"], f["line"], f["severity"], f["code"], f["message"]) for f in found["findings"]]
      == text, "JSON findings differ from the default lines")
counts = open(scratch + "/count").read().strip()
check(counts == "%d errors, %d warnings, %d notes" % (found["errors"], found["warnings"], found["notes"]),
      "summary '%s' differs from the JSON counts" % counts)
sarif = json.load(open(scratch + "/sarif"))
jsonschema.validate(sarif, json.load(open(data + "/sarif-2.1.0.json")))
run = sarif["runs"][0]
rules = run["tool"]["driver"]["rules"]
got = []
for r in run["results"]:
    loc = r["locations"][0]["physicalLocation"]
    check(rules[r["ruleIndex"]]["id"] == r["ruleId"], "ruleIndex does not point at its rule")
    got.append((loc["artifactLocation"]["uri"], loc["region"]["startLine"], r["level"], r["ruleId"],
                r["message"]["text"]))
check(got == text, "SARIF results differ from the default lines")
sys.exit(0 if ok else 1)
EOF

# --fail-on: the worst severity of the shell product's unsuppressed notes decides.
status() { "$tool" "$@" > /dev/null 2>&1; echo $?; }
[ "$(status upgrade/product)" = 0 ] || bad "notes alone fail by default"
[ "$(status --fail-on warning upgrade/product)" = 0 ] || bad "notes fail --fail-on warning"
[ "$(status --fail-on note upgrade/product)" = 1 ] || bad "notes pass --fail-on note"
[ "$(status --fail-on nothing upgrade/product)" = 2 ] || bad "a bad --fail-on is no usage error"
[ "$(status --format xml upgrade/product)" = 2 ] || bad "a bad --format is no usage error"

# Every code: explained, in the manual page, shown by a planted case; and no other codes.
"$tool" --explain IC000 > /dev/null 2> "$scratch/codes" && bad "--explain of a code that does not exist"
codes=$(grep -oE '^  IC[0-9]{3}' "$scratch/codes" | tr -d ' ')
[ -n "$codes" ] || bad "--explain lists no codes"
man_codes=$(grep -oE '^\.B IC[0-9]{3}' "$src/man/install-check.1" | cut -c4-)
[ "$codes" = "$man_codes" ] || bad "the manual page's codes differ from the tool's"
for code in $codes; do
  "$tool" --explain "$code" | grep -q "^Example: " || bad "--explain $code gives no example"
  "$tool" --explain "$code" | grep -q "^Fix: " || bad "--explain $code gives no fix"
  grep -q "\[$code\]$" "$cases"/*/expect || bad "no planted case shows $code"
done

[ $fail = 0 ] && echo PASS
exit $fail
