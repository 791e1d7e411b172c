#!/usr/bin/env bash
# The static installer in a root that holds nothing but /etc/passwd, /etc/group and the
# product folder: it must start (no interpreter, no shared library) and find the product's
# user and group, known only to that root, in those two files.
# Before that, without root: it must never enter the C library's name service, which in a
# static program loads the host's modules (and a second C library) at run time. Neither the
# name service's look-ups nor its module loading are linked in, and linking it again (from
# the build folder's link command, where there is one) warns of nothing.
# usage: static_chroot.sh STATIC-INSTALLER DATA-DIR [BUILD-DIR]
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_cmd readelf binutils
need_cmd nm binutils
bin=$(readlink -f "$1") data=$(readlink -f "$2")
readelf -lW "$bin" | grep -q 'program interpreter' && fail "$bin asks for a program interpreter"
readelf -dW "$bin" | grep NEEDED && fail "$bin needs the shared libraries above"
nss='getpw(nam|uid|ent)(_r)?|getgr(nam|gid|ent)(_r)?|getgrouplist|initgroups'
nss+='|__nss_lookup(_function)?|__nss_module_[a-z_]+|__nss_database_[a-z_]+|__nss_next2?'
nm "$bin" | grep -Ew "$nss" && fail "$bin links the name service's calls above"
scratch bare-root
link=$(readlink -f "${3:-.}")/CMakeFiles/install_static.dir/link.txt
if [ -n "${3:-}" ] && [ -f "$link" ]; then
  (cd "$3" && sh -c "$(sed -E 's/ -o [^ ]+/ -o "$1"/' "$link")" sh "$T/relinked") > "$T/link.log" 2>&1 ||
    { cat "$T/link.log"; fail "the static installer does not link again"; }
  [ -s "$T/link.log" ] && { cat "$T/link.log"; fail "linking the static installer warns"; }
  rm "$T/relinked" "$T/link.log"
fi
need_root

mkdir "$T/etc"
cp "$data/passwd" "$data/group" "$T/etc/"
cp -a "$data/product" "$T/product"
cp "$bin" "$T/product/install"
# The bare root is the test's scratch folder, and the host stays read-only (tests/sandbox.sh).
unshare -m bash -c '. "$1/sandbox.sh" && sandbox "$2" || exit 97
  exec unshare --root="$2" --wd=/product /product/install -automate' \
  sandbox "$(dirname "$(readlink -f "$0")")" "$T" < /dev/null > "$T/out" 2>&1
status=$?
show() { cat "$T/out"; echo "---- install.log:"; cat "$T/product/install.log"; }
[ "$status" = 0 ] || { show; fail "exit status $status"; }
grep -q '^Success' "$T/out" || { show; fail "the install did not succeed"; }
owner=$(stat -c %u:%g "$T/product/site/page.txt")
[ "$owner" = 4321:4322 ] || { show; fail "the page belongs to $owner, not to the bare root's 4321:4322"; }
echo "PASS: the static installer ran in a bare root and gave the page to its user and group"
