#!/usr/bin/env bash
# Runs the installer on a sample product the way an administrator would, but inside a
# scratch folder: the product and the installer (as ./install) are copied there, and an
# httpd.conf whose document root and CGI folder lie in the scratch folder is shown to the
# installer at /etc/apache/httpd.conf through an overlay in a private mount namespace. The
# sample keeps its answers in /var/lib/cgi-install/webnotes: a writable overlay over /var,
# whose changes land in the scratch folder, takes them. Nothing outside the scratch folder
# is touched.
#
# usage: demo.sh INSTALL-BINARY PRODUCT-DIR
#   DEMO_ARGS="-automate"   extra arguments for the installer (default: none, interactive)
set -euo pipefail

die() { echo "demo: $*" >&2; exit 1; }

[ $# -ge 2 ] || die "usage: demo.sh INSTALL-BINARY PRODUCT-DIR"
bin=$(readlink -f "$1")
product=$(readlink -f "$2")
[ -x "$bin" ] || die "no installer binary at $1 (build it first: make build)"
[ -f "$product/install.dat" ] || die "$2 does not look like a product folder (no install.dat)"
read -r -a extra <<< "${DEMO_ARGS:-}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/install-demo.XXXXXX")
# The web server's user must be able to reach the installed files.
chmod 755 "$scratch"
work=$scratch/product
mkdir -p "$work" "$scratch/www/html" "$scratch/www/cgi-bin" "$scratch/etc/apache" \
         "$scratch/var/upper" "$scratch/var/work"
cp -a "$product/." "$work/"
cp "$bin" "$work/install"

user=www-data group=www-data
if ! getent passwd "$user" >/dev/null; then user=nobody; fi
if ! getent group "$group" >/dev/null; then
  group=$(id -gn "$user" 2>/dev/null || echo nogroup)
fi
cat > "$scratch/etc/apache/httpd.conf" <<CONF
# The demo's web server configuration: only what the installer reads from it.
User $user
Group $group
DocumentRoot "$scratch/www/html"
ScriptAlias /cgi-bin/ "$scratch/www/cgi-bin/"
CONF

echo "demo: scratch folder $scratch"
echo "demo: running ./install ${extra[*]:-} in $work"
echo

status=0
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
  unshare -m bash -c '
    mount -t overlay overlay -o "lowerdir=$1:/etc" /etc || exit 97
    mount -t overlay overlay -o "lowerdir=/var,upperdir=$3/upper,workdir=$3/work" /var || exit 97
    cd "$2" || exit 98
    shift 3
    exec ./install "$@"' demo "$scratch/etc" "$work" "$scratch/var" "${extra[@]}" || status=$?
else
  # Without a private namespace the installer would read the host's own httpd.conf, if
  # there is one, and install into the host's web folders. Only go on when there is none:
  # the installer then falls back to folders inside the product folder.
  for conf in /etc/apache/httpd.conf /etc/httpd/conf/httpd.conf /etc/httpd/httpd.conf \
              /usr/local/apache/conf/httpd.conf /usr/local/httpd/conf/httpd.conf \
              /usr/local/apache/etc/httpd.conf /usr/internet/httpd/public/conf/httpd.conf \
              /opt/apache/conf/httpd.conf; do
    [ -e "$conf" ] && die "not root, so no private mount namespace, and this host has $conf: stopping rather than installing into the host's web folders (scratch folder left at $scratch)"
  done
  echo "demo: not root: running without the demo httpd.conf; the installer uses its fallback folders"
  # Nor can /var be overlaid: the answers are kept in the scratch folder instead.
  sed -i "s|^state_dir .*|state_dir $scratch/var/upper/lib/cgi-install/webnotes|" "$work/install.dat"
  (cd "$work" && ./install "${extra[@]}") || status=$?
fi

echo
echo "demo: the installer ended with status $status"
echo "demo: what is in the scratch folder's web folders and the product's fallback folders:"
for top in "$scratch/www" "$work/www" "$work/backup" "$scratch/var/upper/lib"; do
  [ -d "$top" ] || continue
  find "$top" -mindepth 1 -printf '  %M %-9u %-9g %p\n' | sort -k4
done
for conf in "$scratch"/www/cgi-bin/webnotes/webnotes.conf "$work"/www/cgi-bin/webnotes/webnotes.conf; do
  [ -f "$conf" ] || continue
  echo "demo: the configuration written from the template, $conf:"
  sed 's/^/  /' "$conf"
done
echo "demo: the answers kept for the upgrade and the remove (/var/lib in the installer's view)"
echo "  are in $scratch/var/upper/lib/cgi-install/webnotes"
echo "demo: the installer's log is $work/install.log"
echo "demo: remove everything with: rm -rf $scratch"
exit "$status"
