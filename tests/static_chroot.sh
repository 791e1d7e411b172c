#!/usr/bin/env bash
# The static installer in a root that holds nothing but /etc/passwd, /etc/group and the
# product folder: it must start (no interpreter, no shared library) and find the product's
# user and group, known only to that root, in those two files.
# usage: static_chroot.sh STATIC-INSTALLER DATA-DIR
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_root
need_cmd readelf binutils
bin=$(readlink -f "$1") data=$(readlink -f "$2")
fail() { echo "FAIL: $*"; exit 1; }
readelf -lW "$bin" | grep -q 'program interpreter' && fail "$bin asks for a program interpreter"
readelf -dW "$bin" | grep NEEDED && fail "$bin needs the shared libraries above"

R=$(mktemp -d "${TMPDIR:-/tmp}/bare-root.XXXXXX")
trap 'rm -rf "$R"' EXIT
mkdir "$R/etc"
cp "$data/passwd" "$data/group" "$R/etc/"
cp -a "$data/product" "$R/product"
cp "$bin" "$R/product/install"
# The bare root is the test's scratch folder, and the host stays read-only (tests/sandbox.sh).
unshare -m bash -c '. "$1/sandbox.sh" && sandbox "$2" || exit 97
  exec unshare --root="$2" --wd=/product /product/install -automate' \
  sandbox "$(dirname "$(readlink -f "$0")")" "$R" < /dev/null > "$R/out" 2>&1
status=$?
show() { cat "$R/out"; echo "---- install.log:"; cat "$R/product/install.log"; }
[ "$status" = 0 ] || { show; fail "exit status $status"; }
grep -q '^Success' "$R/out" || { show; fail "the install did not succeed"; }
owner=$(stat -c %u:%g "$R/product/site/page.txt")
[ "$owner" = 4321:4322 ] || { show; fail "the page belongs to $owner, not to the bare root's 4321:4322"; }
echo "PASS: the static installer ran in a bare root and gave the page to its user and group"
