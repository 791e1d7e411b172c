#!/usr/bin/env bash
# The Debian package that the build makes from its install rules (target deb): lintian finds
# nothing to say of it (pedantic and informational tags included; what it says anyway is
# overridden in the package, each override with its reason), every entry is root's with
# mode 0755 or 0644, the manual pages are compressed; and it installs and purges cleanly:
# dpkg runs in a private mount namespace with writable overlays over /usr, /etc and /var
# (and a private /dev, the rest of the host read-only: tests/sandbox.sh), and afterwards
# the overlays hold nothing but dpkg's own records.
# usage: deb_test.sh BUILD-DIR
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_root
need_cmd dpkg
need_cmd dpkg-shlibdeps dpkg-dev
need_cmd lintian
build=$(readlink -f "$1")
scratch deb-test
cmake --build "$build" --target deb > "$T/build.log" 2>&1 ||
  { cat "$T/build.log"; fail "the package could not be built"; }
deb=$(grep -o '/[^ ]*\.deb$' "$T/build.log" | tail -n 1)
[ -f "$deb" ] || { cat "$T/build.log"; fail "the build made no .deb"; }
dpkg-deb -c "$deb" > "$T/list"
awk '$1 !~ /^d/ { print substr($6, 2) }' "$T/list" > "$T/files"
grep -qx /usr/lib/cgi-install/install "$T/files" || fail "no installer in the package"
awk '$2 != "root/root" || $1 !~ /^(drwxr-xr-x|-rwxr-xr-x|-rw-r--r--)$/' "$T/list" | grep . &&
  fail "entries above are not root's with mode 0755 or 0644"
grep '/share/man/.*[1-8]$' "$T/files" && fail "manual pages above are not compressed"
lintian --pedantic -I "$deb" 2>&1 | grep -v 'running with root privileges' &&
  fail "lintian has something to say of the package"

unshare -m bash -s "$T" "$deb" "$(dirname "$(readlink -f "$0")")" <<'IN' || fail "see above"
T=$1
. "$3/sandbox.sh" && sandbox "$T" || exit 1
for d in usr etc var; do
  mkdir -p "$T/up/$d" "$T/work/$d"
  mount -t overlay overlay -o "lowerdir=/$d,upperdir=$T/up/$d,workdir=$T/work/$d" "/$d" || exit 1
done
dpkg -i "$2" > "$T/dpkg.log" 2>&1 || { cat "$T/dpkg.log"; echo "dpkg -i failed"; exit 1; }
while read -r f; do [ -e "$f" ] || { echo "$f is not installed"; exit 1; }; done < "$T/files"
out=$(cd "$T" && /usr/lib/cgi-install/install -version) && [ "$out" = "Installer version 1.0d" ] ||
  { echo "the installed installer says: $out"; exit 1; }
dpkg --purge cgi-install > "$T/dpkg.log" 2>&1 || { cat "$T/dpkg.log"; echo "dpkg --purge failed"; exit 1; }
IN

# Left behind: anything in the overlays but dpkg's database and log, or the man page index
# that man-db's trigger refreshes, and the folders that were there before.
cd "$T/up" && find . -mindepth 1 | sed 's|^\.||' | grep -Ev '^/var/(lib/dpkg|log/dpkg\.log|cache/man)(/|$)' |
  while read -r p; do [ -d "$T/up$p" ] && [ -d "$p" ] || echo "$p"; done | grep . &&
  fail "the purge left the files above behind"
echo "PASS: $(basename "$deb") installed and purged cleanly"
