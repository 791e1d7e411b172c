#!/usr/bin/env bash
# Runs a benchmark that runs the installer. As root it runs in a private mount namespace
# where only a scratch folder can be written, as the tests that run the installer as root
# do (tests/sandbox.sh); its temporary folder is then inside that scratch folder.
# usage: boxed.sh SCRIPT ARGS...
set -uo pipefail
[ "$(id -u)" = 0 ] || exec bash "$@"
S=$(mktemp -d "${TMPDIR:-/tmp}/bench.XXXXXX")
trap 'rm -rf "$S"' EXIT
unshare -m bash -c '. "$1/sandbox.sh" && sandbox "$2" && shift 2 && bash "$@"' boxed \
  "$(cd "$(dirname "$0")/../tests" && pwd)" "$S" "$@"
