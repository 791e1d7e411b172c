#!/usr/bin/env bash
# make bench: the Ansible collection rolls the sample product out to simulated hosts (20 by
# default), then the same playbook runs again and finds nothing to do. Prints the seconds of
# each run and per host. Measures only; nothing is asserted but that both runs succeed.
#
# usage: bench_ansible.sh INSTALL INSTALL-CHECK [HOSTS]
set -uo pipefail
here=$(cd "$(dirname "$0")/../tests" && pwd)
. "$here/need.sh"
. "$here/fleet.sh"
fleet_need
fleet_enter "$@"
hosts=${3:-20}
fleet_init "$1" "$2" "$here/.."
for n in $(seq 1 "$hosts"); do
  fleet_host "h$n" "$n" "title: Notes of h$n" || exit 1
done

timed() {  # LABEL: one roll-out of the whole fleet in one batch
  local start end
  start=$(date +%s.%N)
  fleet_play -e release="$FLEET/releases/webnotes-1.2.tar.gz" -e action=install -e batch="$hosts" ||
    { tail -n 40 "$FLEET/out"; echo "bench: the $1 failed"; exit 1; }
  end=$(date +%s.%N)
  awk -v l="$1" -v s="$start" -v e="$end" -v n="$hosts" \
    'BEGIN { printf "%-8s %3d hosts  %7.1f s  %5.2f s per host\n", l, n, e - s, (e - s) / n }'
}
echo "ansible roll-out: $(nproc) cores ($(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -n1)), $ANSIBLE_FORKS forks"
timed install
timed re-run
grep -q 'changed=[1-9]' "$FLEET/out" && echo "bench: the re-run changed something" && exit 1
exit 0
