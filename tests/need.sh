# Sourced at the top of a test that needs more than a compiler. A missing prerequisite
# skips the test (exit 77: ctest reports it as skipped, not passed); with CI set it fails,
# so that a broken install step in .ci/run cannot turn green.
need_fail() {
  if [ -n "${CI:-}" ]; then echo "FAIL: $* (CI is set: a missing prerequisite fails)"; exit 1; fi
  echo "skipped: $*"; exit 77
}
need_root() {
  { [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; } ||
    need_fail "needs root and a private mount namespace (unshare -m)"
}
need_cmd() {  # COMMAND [DEBIAN-PACKAGE]
  command -v "$1" >/dev/null || need_fail "needs $1 (Debian package ${2:-$1})"
}
