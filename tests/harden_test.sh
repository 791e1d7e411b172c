#!/usr/bin/env bash
# The project's own code is built hardened, as Debian builds its packages: every object
# file of the library, the installers and the tools asks for a non-executable stack, the
# stack protector guards them (a static binary carries the C library's own
# __stack_chk_fail, so only the objects can show it), and an optimised build calls the
# C library's checked functions (_FORTIFY_SOURCE). Each program is position-independent,
# with full RELRO, bind-now where it links dynamically, and a non-executable stack.
# usage: harden_test.sh BUILD-DIR FORTIFIED(0|1)
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_cmd readelf binutils
need_cmd nm binutils
build=$(readlink -f "$1") fortified=$2
bad=0
fail() { echo "FAIL: $*"; bad=1; }

# Objects, by the part they belong to; a part with no objects is not built here (the
# tarball's static install-check is built only for a release).
for part in installer_core installer_lib installer_files_lib install_bin install_static \
            install_check_static tools/install_check; do
  dir=$build/CMakeFiles/$part.dir
  [[ $part == */* ]] && dir=$build/${part%/*}/CMakeFiles/${part#*/}.dir
  mapfile -t objs < <(find "$dir" -name '*.o' 2>/dev/null | sort)
  [ ${#objs[@]} -gt 0 ] || continue
  [ "$part" = installer_core ] && core=1
  guarded=0 checked=0
  for o in "${objs[@]}"; do
    note=$(readelf -SW "$o" | grep -F .note.GNU-stack)
    [ -n "$note" ] || fail "${o#"$build"/}: no .note.GNU-stack (an executable stack)"
    [[ $note =~ \ X[A-Z]*\  ]] && fail "${o#"$build"/}: asks for an executable stack"
    undefined=$(nm -u "$o")
    grep -q ' __stack_chk_fail$' <<< "$undefined" && guarded=$((guarded + 1))
    grep -Eq ' __[a-z0-9_]+_chk$' <<< "$(grep -v __stack_chk_fail <<< "$undefined")" &&
      checked=$((checked + 1))
  done
  [ $guarded -gt 0 ] || fail "$part: no object calls the stack protector"
  echo "$part: ${#objs[@]} objects, $guarded guarded by the stack protector," \
       "$checked calling checked functions"
  total_checked=$((${total_checked:-0} + checked))
done
[ -n "${core:-}" ] || fail "no object files of the library in $build"
if [ "$fortified" = 1 ] && [ "${total_checked:-0}" = 0 ]; then
  fail "no object calls a checked function: built without _FORTIFY_SOURCE"
fi

for bin in install static/install tools/install-check static/install-check; do
  f=$build/$bin
  [ -f "$f" ] || continue
  headers=$(readelf -lW "$f") dynamic=$(readelf -dW "$f")
  grep -q 'GNU_RELRO' <<< "$headers" || fail "$bin: no RELRO"
  grep -Eq 'GNU_STACK.* RW ' <<< "$headers" || fail "$bin: the stack is not RW only"
  grep -q 'Type: *DYN' <<< "$(readelf -hW "$f")" || fail "$bin: not position-independent"
  if grep -q 'program interpreter' <<< "$headers"; then
    grep -Eq 'BIND_NOW|Flags:.* NOW' <<< "$dynamic" || fail "$bin: no bind-now"
  fi
  echo "$bin: checked"
done
[ $bad = 0 ] && echo "PASS: hardened"
exit $bad
