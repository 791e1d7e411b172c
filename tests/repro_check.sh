#!/usr/bin/env bash
# Two release builds of this tree (its last commit with any uncommitted changes to tracked
# files) must give the same bytes, though they differ as two hosts' would (see build's
# arguments below; the second builds on a tmpfs). diffoscope, if installed, shows the change.
# usage: repro_check.sh [JOBS]
set -uo pipefail
. "$(dirname "$0")/need.sh"
need_cmd git && need_cmd setpriv util-linux
need_root  # the second build: on a tmpfs of its own mount namespace, as nobody
jobs=${1:-2}
src=$(cd "$(dirname "$0")/.." && pwd)
scratch repro && R=$T && chmod 755 "$R"

commit=$(git -C "$src" stash create) && [ -n "$commit" ] || commit=HEAD
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct HEAD) || fail "no git history in $src"
git -C "$src" archive --format=tar --prefix=cgi-install/ "$commit" > "$R/tree.tar" || fail "git archive failed"
artefacts='*.tar.gz *.deb install static/install static/install-check tools/install-check install-trial'

# One build: FOLDER USER UMASK TZ LOCALE; its artefacts go to $R/out-USER.
build() {
  rm -rf "$1" && mkdir -p "$1" && tar -xf "$R/tree.tar" -C "$1" && chown -R "$2:" "$1" || return 1
  local as=()
  [ "$(id -un)" = "$2" ] || as=(setpriv --reuid="$2" --regid="$(id -g "$2")" --clear-groups)
  "${as[@]}" env -i PATH="$PATH" HOME="$1" SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" TZ="$4" LC_ALL="$5" \
    sh -c 'umask "$1" && cd "$2/cgi-install" && make release JOBS="$3"' sh "$3" "$1" "$jobs" \
    > "$1.log" 2>&1 || { tail -n 40 "$1.log"; return 1; }
  mkdir -p "$R/out-$2" && (cd "$1/cgi-install/build/release" &&
    for f in $artefacts; do cp "$f" "$R/out-$2/${f//\//_}" || exit 1; done)
}
build "$src/build/repro-a" root 022 UTC C.UTF-8 || fail "the first build failed"
rm -rf "$src/build/repro-a"

mkdir "$R/mnt"
export R jobs artefacts
export -f build
unshare -m bash -c 'mount -t tmpfs -o mode=755 tmpfs "$R/mnt" &&
  build "$R/mnt/some/other/place" nobody 002 XYZ-12:45 POSIX' || fail "the second build failed"

for a in "$R"/out-root/*; do
  cmp -s "$a" "$R/out-nobody/${a##*/}" && { echo "same: ${a##*/}"; continue; }
  bad "differs: ${a##*/}"
  command -v diffoscope >/dev/null && diffoscope --text - "$a" "$R/out-nobody/${a##*/}" | head -n 80
done
passed "two release builds, bit for bit the same"
