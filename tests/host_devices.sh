#!/usr/bin/env bash
# The host's /dev/null, /dev/zero and /dev/full, before and after the whole suite: a test
# that reached them (through a link the installer followed, or a broken build) shows here.
# usage: host_devices.sh save FILE | host_devices.sh check FILE
set -uo pipefail
devices() { stat -c '%n %F %t:%T %u:%g %a' /dev/null /dev/zero /dev/full; }
case ${1:-} in
  save) devices > "$2" ;;
  check) d=$(devices | diff -u "$2" -) ||
    { echo "FAIL: the host's devices changed while the suite ran (- before, + after):"
      tail -n +3 <<< "$d"; exit 1; }
    echo "PASS: the host's /dev/null, /dev/zero and /dev/full are as they were" ;;
  *) echo "usage: host_devices.sh save FILE | check FILE"; exit 2 ;;
esac
