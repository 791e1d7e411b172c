# Sourced inside a private mount namespace (unshare -m) by every test that runs the
# installer, or a package tool, as root, so that nothing it does, even a broken build,
# reaches the host. sandbox SCRATCH-FOLDER: a private /dev and every mount read-only but the
# scratch folder (and later ones, the test's own); else non-zero, the reason on standard
# error. Nothing may stay open for writing on the host's folders then: the kernel refuses to
# make a mount read-only while it has writers.

sandbox_dev() {  # [ROOT]: the /dev of that root (tests/fleet.sh's hosts), else this one's
  local d=${1:-}/dev node
  mount -t tmpfs -o mode=755,nosuid,size=1m sandbox-dev "$d" || return 1
  for node in null:3 zero:5 full:7 random:8 urandom:9; do
    mknod -m 666 "$d/${node%:*}" c 1 "${node#*:}" || return 1
  done
  ln -s /proc/self/fd "$d/fd" && ln -s fd/0 "$d/stdin" && ln -s fd/1 "$d/stdout" &&
    ln -s fd/2 "$d/stderr" && mkdir "$d/shm" "$d/pts"
}

sandbox() {
  local scratch=$1 mp probe
  sandbox_no() { echo "sandbox: $*" >&2; return 1; }
  [ -d "$scratch" ] || sandbox_no "no scratch folder $scratch" || return 1
  sandbox_dev || sandbox_no "cannot make a private /dev" || return 1
  # The scratch folder becomes a mount of its own, so that it alone stays writable.
  mount --bind "$scratch" "$scratch" || sandbox_no "cannot bind $scratch" || return 1
  # Every other mount point, deepest last, with mountinfo's octal escapes (a blank is \040)
  # decoded. Hidden mounts (under the new /dev) are out of reach already: their remount fails.
  while read -r mp; do
    mp=$(printf '%b' "$mp")
    [ "$mp" = "$scratch" ] || [ "$mp" = /dev ] || mount -o remount,bind,ro "$mp" 2>/dev/null
  done < <(awk '{ print $5 }' /proc/self/mountinfo)
  # The proof: the host's root and the scratch folder's parent take nothing.
  for probe in /.sandbox-probe "$(dirname "$scratch")/.sandbox-probe.$$"; do
    if (: > "$probe") 2>/dev/null; then rm -f "$probe"; sandbox_no "$(dirname "$probe") is still writable"; return; fi
  done
  export TMPDIR=$scratch/tmp
  mkdir -p "$TMPDIR"
  # A working folder inside the scratch folder is entered again, now on the writable mount.
  cd "$PWD" || return 1
}
