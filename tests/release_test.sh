#!/usr/bin/env bash
# The release's pieces, one part a test.
# static-chroot: the static installer links none of the C library's name service (in a
#   static program it loads the host's modules, and a second C library, at run time), links
#   again without a warning, and starts in a bare root whose own users it finds.
# deb: what lintian (overrides aside), the entries and dpkg, installing and purging it in
#   the sandbox over writable overlays, say of the package that target deb makes.
# hardening, as Debian builds packages (a static binary has the C library's own stack
#   protector; only an optimised build has _FORTIFY_SOURCE's checked functions).
# man: no manual page draws a single line from groff or man (their status tells nothing).
# usage: release_test.sh static-chroot STATIC-INSTALLER DATA-DIR [BUILD-DIR]
#        release_test.sh deb BUILD-DIR | hardening BUILD-DIR FORTIFIED(0|1) | man MAN-DIR
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/need.sh"
part=$1 && shift

static_chroot() {
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

  mkdir "$T/etc" && cp "$data/passwd" "$data/group" "$T/etc/" && cp -a "$data/product" "$T/product" &&
    cp "$bin" "$T/product/install"
  # The bare root is the test's scratch folder, and the host stays read-only (tests/sandbox.sh).
  unshare -m bash -c '. "$1/sandbox.sh" && sandbox "$2" || exit 97
    exec unshare --root="$2" --wd=/product /product/install -automate' \
    sandbox "$here" "$T" < /dev/null > "$T/out" 2>&1
  status=$? owner=$(stat -c %u:%g "$T/product/site/page.txt" 2>&1)
  [ "$status" = 0 ] && grep -q '^Success' "$T/out" && [ "$owner" = 4321:4322 ] ||
    { cat "$T/out" "$T/product/install.log"
      fail "exit status $status, the page's owner $owner: 0, Success and the bare root's 4321:4322 wanted"; }
  echo "PASS: the static installer ran in a bare root and gave the page to its user and group"
}

deb() {
  build=$(readlink -f "$1")
  scratch deb-test
  cmake --build "$build" --target deb > "$T/build.log" 2>&1 &&
    deb=$(grep -o '/[^ ]*\.deb$' "$T/build.log" | tail -n 1) && [ -f "$deb" ] ||
    { cat "$T/build.log"; fail "the build made no package"; }
  dpkg-deb -c "$deb" > "$T/list"
  awk '$1 !~ /^d/ { print substr($6, 2) }' "$T/list" > "$T/files"
  grep -qx /usr/lib/cgi-install/install "$T/files" || fail "no installer in the package"
  awk '$2 != "root/root" || $1 !~ /^(drwxr-xr-x|-rwxr-xr-x|-rw-r--r--)$/' "$T/list" | grep . &&
    fail "entries above are not root's with mode 0755 or 0644"
  grep '/share/man/.*[1-8]$' "$T/files" && fail "manual pages above are not compressed"
  lintian --pedantic -I "$deb" 2>&1 | grep -v 'running with root privileges' &&
    fail "lintian has something to say of the package"

  unshare -m bash -s "$T" "$deb" "$here" <<'IN' || fail "see above"
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
}

hardening() {
  build=$(readlink -f "$1") fortified=$2 checked=0

  # Objects by part; one not built here (the tarball's static install-check) is passed over.
  for part in installer_core installer_lib installer_files_lib install_bin install_static \
              install_check_static tools/install_check; do
    dir=$build/$(dirname "$part")/CMakeFiles/$(basename "$part").dir
    mapfile -t objs < <(find "$dir" -name '*.o' 2>/dev/null | sort)
    [ ${#objs[@]} -gt 0 ] || continue
    [ "$part" = installer_core ] && core=1
    guarded=0 calls=0
    for o in "${objs[@]}"; do
      note=$(readelf -SW "$o" | grep -F .note.GNU-stack) || bad "${o#"$build"/}: no .note.GNU-stack (an executable stack)"
      [[ $note =~ \ X[A-Z]*\  ]] && bad "${o#"$build"/}: asks for an executable stack"
      guarded=$((guarded + $(nm -u "$o" | grep -c ' __stack_chk_fail$')))
      calls=$((calls + $(nm -u "$o" | grep -m 1 -cE ' __[a-z0-9_]+_chk$')))
    done
    [ $guarded -gt 0 ] || bad "$part: no object calls the stack protector"
    echo "$part: ${#objs[@]} objects, $guarded guarded by the stack protector, $calls calling checked functions"
    checked=$((checked + calls))
  done
  [ -n "${core:-}" ] || bad "no object files of the library in $build"
  [ "$fortified" = 1 ] && [ $checked = 0 ] && bad "no object calls a checked function: built without _FORTIFY_SOURCE"

  for bin in install static/install tools/install-check static/install-check; do
    f=$build/$bin
    [ -f "$f" ] || continue
    headers=$(readelf -lW "$f")
    grep -q 'GNU_RELRO' <<< "$headers" || bad "$bin: no RELRO"
    grep -Eq 'GNU_STACK.* RW ' <<< "$headers" || bad "$bin: the stack is not RW only"
    grep -q 'Type: *DYN' <<< "$(readelf -hW "$f")" || bad "$bin: not position-independent"
    grep -q 'program interpreter' <<< "$headers" && ! grep -Eq 'BIND_NOW|Flags:.* NOW' <<< "$(readelf -dW "$f")" &&
      bad "$bin: no bind-now"
    echo "$bin: checked"
  done
  passed hardened
}

man_pages() {
  export LC_ALL=C.UTF-8 MANWIDTH=80
  compgen -G "$1/*.[1-8]" > /dev/null || fail "no manual pages in $1"
  for page in "$1"/*.[1-8]; do
    out=$({ groff -ww -z -man "$page"; man --warnings=w -l "$page" > /dev/null; } 2>&1)
    [ -z "$out" ] && echo "ok   ${page##*/}" || { bad "${page##*/}:"; echo "$out"; }
  done
  passed
}

case $part in
  static-chroot | hardening) need_cmd readelf binutils && need_cmd nm binutils ;;&
  static-chroot) static_chroot "$@" ;;
  hardening) hardening "$@" ;;
  deb) need_root && need_cmd dpkg && need_cmd dpkg-shlibdeps dpkg-dev && need_cmd lintian && deb "$@" ;;
  man) need_cmd groff groff-base && need_cmd man man-db && man_pages "$@" ;;
  *) fail "usage: release_test.sh static-chroot|deb|hardening|man ..." ;;
esac
