# Sourced first by the test scripts. A missing prerequisite skips the test (exit 77: ctest
# reports it as skipped, not passed); with CI set it fails, so that a broken install step
# in .ci/run cannot turn green.
need_fail() {
  if [ -n "${CI:-}" ]; then echo "FAIL: $* (CI is set: a missing prerequisite fails)"; exit 1; fi
  echo "skipped: $*"; exit 77
}
need_root() {
  { [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; } ||
    need_fail "needs root and a private mount namespace (unshare -m)"
}
need_cmd() { command -v "$1" >/dev/null || need_fail "needs $1 (Debian package ${2:-$1})"; }  # CMD [PACKAGE]
need_trial() {  # what install-trial needs: Apache, curl, ip and root
  need_root
  [ -x /usr/sbin/apache2 ] || need_fail "needs /usr/sbin/apache2 (Debian package apache2-bin)"
  need_cmd curl && need_cmd ip iproute2
}
# fail ends the test; bad counts a failure and goes on; passed ends with PASS or status 1.
fail() { echo "FAIL: $*"; exit 1; }
bad() { echo "FAIL: $*"; failures=$((${failures:-0} + 1)); }
passed() { [ "${failures:-0}" = 0 ] && echo "PASS${1:+: $1}" || exit 1; }
# scratch NAME: a new temporary folder $T, removed when the test ends.
scratch() { T=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX") && trap 'rm -rf "$T"' EXIT; }
# The places where the installer looks for httpd.conf, in its order.
mapfile -t HTTPD_PLACES < "$(dirname "${BASH_SOURCE[0]}")/httpd/places"
