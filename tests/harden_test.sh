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
build=$(readlink -f "$1") fortified=$2 checked=0

# Objects, by the part they belong to; a part with no objects is not built here (the
# tarball's static install-check is built only for a release).
for part in installer_core installer_lib installer_files_lib install_bin install_static \
            install_check_static tools/install_check; do
  dir=$build/CMakeFiles/$part.dir
  [[ $part == */* ]] && dir=$build/${part%/*}/CMakeFiles/${part#*/}.dir
  mapfile -t objs < <(find "$dir" -name '*.o' 2>/dev/null | sort)
  [ ${#objs[@]} -gt 0 ] || continue
  [ "$part" = installer_core ] && core=1
  guarded=0 calls=0
  for o in "${objs[@]}"; do
    note=$(readelf -SW "$o" | grep -F .note.GNU-stack) || bad "${o#"$build"/}: no .note.GNU-stack (an executable stack)"
    [[ $note =~ \ X[A-Z]*\  ]] && bad "${o#"$build"/}: asks for an executable stack"
    undefined=$(nm -u "$o")
    grep -q ' __stack_chk_fail$' <<< "$undefined" && guarded=$((guarded + 1))
    grep -Eq ' __[a-z0-9_]+_chk$' <<< "$(grep -v __stack_chk_fail <<< "$undefined")" && calls=$((calls + 1))
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
