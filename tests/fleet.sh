# Simulated hosts for the Ansible collection's test and benchmark (sourced after need.sh):
# each an overlay over / whose changes go to a tmpfs, reached through community.general.chroot,
# all mounted in the caller's private mount namespace (fleet_enter): the host is never written.
# fleet_init INSTALL INSTALL-CHECK SOURCE-TREE makes $FLEET; fleet_host NAME N [ANSWER...] a
# host (web$N, webgrp$N, site$N) with install answers "NAME: VALUE"; fleet_play ARGS... runs
# the playbook into $FLEET/out, whose recap fleet_count HOST changed|failed|ok reads.
. "$(dirname "${BASH_SOURCE[0]}")/sandbox.sh"

fleet_need() {
  need_root
  need_cmd ansible-playbook ansible
  [ -d /usr/lib/python3/dist-packages/ansible_collections/community/general ] ||
    need_fail "needs community.general (Debian package ansible)"
  [ -x /usr/bin/python3 ] || need_fail "needs /usr/bin/python3 on the hosts"
  # A host's root is an overlay over /: the kernel must allow it here. Tried on a tmpfs in a
  # mount namespace of its own, so the host's mount table never shows it.
  unshare -m sh -c 'mount -t tmpfs none /tmp && mkdir /tmp/u /tmp/w /tmp/r &&
    mount -t overlay overlay -o lowerdir=/,upperdir=/tmp/u,workdir=/tmp/w /tmp/r' 2>/dev/null ||
    need_fail "cannot mount an overlay over / here"
}

fleet_enter() {
  [ -n "${FLEET_NS:-}" ] || FLEET_NS=1 exec unshare -m --propagation private bash "$0" "$@"
}

fleet_init() {
  FLEET_INSTALL=$(readlink -f "$1") FLEET_CHECK=$(readlink -f "$2") FLEET_SRC=$(readlink -f "$3")
  FLEET=$(mktemp -d "${TMPDIR:-/tmp}/fleet.XXXXXX")
  trap 'cd /; umount -R -l "$FLEET/hosts" 2>/dev/null; rm -rf --one-file-system "$FLEET"' EXIT
  mkdir -p "$FLEET/hosts" "$FLEET/home" "$FLEET/local" "$FLEET/collections/ansible_collections/cgi_install"
  mount -t tmpfs -o mode=0700 fleet "$FLEET/hosts"
  ln -s "$FLEET_SRC/contrib/ansible" "$FLEET/collections/ansible_collections/cgi_install/deploy"
  export HOME=$FLEET/home ANSIBLE_LOCAL_TEMP=$FLEET/local ANSIBLE_COLLECTIONS_PATH=$FLEET/collections
  export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_HOST_KEY_CHECKING=0
  export ANSIBLE_FORKS=${ANSIBLE_FORKS:-6} ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3
  export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
  # Releases as a product author ships them: one folder, the product and its installer,
  # packed with the packager's own owner (which the role must not keep).
  local v d
  for v in 1.2 1.3; do
    d=$FLEET/releases/webnotes-$v
    mkdir -p "$d" && cp -a "$FLEET_SRC/examples/webapp/." "$d/" && cp "$FLEET_INSTALL" "$d/install"
    sed -i "s/^version .*/version           $v/" "$d/install.dat"
    tar --owner=4321 --group=4321 -czf "$d.tar.gz" -C "$FLEET/releases" "webnotes-$v"
  done
  printf 'all:\n  children:\n    webservers:\n      hosts:\n' > "$FLEET/inventory.yml"
}

fleet_host() {
  local h=$1 n=$2 d=$FLEET/hosts/$1 r=$FLEET/hosts/$1/root conf
  mkdir -p "$d/upper" "$d/work" "$r"
  mount -t overlay overlay -o "lowerdir=/,upperdir=$d/upper,workdir=$d/work" "$r" &&
    mount -t proc proc "$r/proc" && sandbox_dev "$r" && mount -t tmpfs -o mode=1777 tmp "$r/tmp" || return 1
  for conf in "${HTTPD_PLACES[@]}"; do rm -f "$r$conf"; done
  conf=${HTTPD_PLACES[n % 8]}
  mkdir -p "$(dirname "$r$conf")" "$r/srv/site$n/html" "$r/srv/site$n/cgi-bin" "$r/srv/site$n/other-cgi"
  printf 'User web%d\nGroup webgrp%d\nDocumentRoot "/srv/site%d/html"\nScriptAlias /cgi-bin/ "/srv/site%d/cgi-bin/"\n' \
    "$n" "$n" "$n" "$n" > "$r$conf"
  echo "web$n:x:$((20000 + n)):$((20000 + n))::/nonexistent:/usr/sbin/nologin" >> "$r/etc/passwd"
  echo "webgrp$n:x:$((20000 + n)):" >> "$r/etc/group"
  cp "$FLEET_CHECK" "$r/usr/local/bin/install-check"
  printf '        %s:\n          ansible_connection: community.general.chroot\n          ansible_host: %s\n' \
    "$h" "$r" >> "$FLEET/inventory.yml"
  [ $# -lt 3 ] || printf '          webnotes_install_answers:\n%s\n' "$(printf '            %s\n' "${@:3}")" \
    >> "$FLEET/inventory.yml"
}

fleet_play() { ansible-playbook -i "$FLEET/inventory.yml" cgi_install.deploy.rollout "$@" > "$FLEET/out" 2>&1; }
fleet_count() { sed -n "s/^$1 *:.* $2=\([0-9]*\).*/\1/p" "$FLEET/out"; }
