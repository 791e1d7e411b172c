// The real system calls behind the seam.
#include "sys.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/openat2.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "userfiles.h"

namespace installer {

namespace {

int real_open_nolinks(int dirfd, const char *path, int flags) {
#ifdef SYS_openat2
  struct open_how how = {};
  how.flags = static_cast<unsigned long long>(flags);
  how.resolve = RESOLVE_NO_SYMLINKS;
  return static_cast<int>(::syscall(SYS_openat2, dirfd, path, &how, sizeof how));
#else
  (void)dirfd, (void)path, (void)flags;
  errno = ENOSYS;
  return -1;  // no openat2 in this C library's headers
#endif
}

ssize_t real_getrandom(void *buf, std::size_t n) {
#ifdef SYS_getrandom
  return static_cast<ssize_t>(::syscall(SYS_getrandom, buf, n, 0));
#else
  (void)buf, (void)n;
  errno = ENOSYS;
  return -1;  // no getrandom in this C library's headers
#endif
}

// fchmodat2 came with Linux 6.6; C libraries older than the kernel do not name it. Its
// number is the same on every architecture with the common numbering.
#if !defined(SYS_fchmodat2) && (defined(__x86_64__) || defined(__aarch64__))
#define SYS_fchmodat2 452
#endif

// getxattrat came with Linux 6.13, numbered alike on every architecture with the common
// numbering.
#if !defined(SYS_getxattrat) && (defined(__x86_64__) || defined(__aarch64__))
#define SYS_getxattrat 464
#endif

std::string proc_fd(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

ssize_t real_capability_size(int dir, const char *name) {
  constexpr const char *key = "security.capability";
#ifdef SYS_getxattrat
  // One lookup from the folder held, where the way through /proc takes five. The size of
  // nothing read is the size of the value. A path descriptor alone it refuses (EBADF).
  static bool lacking = false;
  if (*name && !lacking) {
    struct {
      std::uint64_t value = 0;
      std::uint32_t size = 0, flags = 0;
    } args;
    long n = ::syscall(SYS_getxattrat, dir, name, AT_SYMLINK_NOFOLLOW, key, &args, sizeof args);
    if (n >= 0 || errno != ENOSYS) return n;
    lacking = true;
  }
#endif
  if (!*name) return ::getxattr(proc_fd(dir).c_str(), key, nullptr, 0);
  return ::lgetxattr((proc_fd(dir) + "/" + name).c_str(), key, nullptr, 0);
}

int real_fchmod_path(int fd, mode_t mode) {
#ifdef SYS_fchmodat2
  if (::syscall(SYS_fchmodat2, fd, "", mode, AT_EMPTY_PATH) == 0) return 0;
  if (errno != ENOSYS) return -1;
#endif
  // The magic link leads to the very file the descriptor holds, whatever its name now.
  return ::chmod(proc_fd(fd).c_str(), mode);
}

Sys real_sys() {
  Sys s;
  s.openat = [](int dirfd, const char *path, int flags, mode_t mode) {
    return ::openat(dirfd, path, flags | O_CLOEXEC, mode);
  };
  s.open_nolinks = [](int dirfd, const char *path, int flags) {
    return real_open_nolinks(dirfd, path, flags | O_CLOEXEC);
  };
  s.close = ::close;
  s.read = ::read;
  s.write = ::write;
  s.copy_file_range = [](int in, int out, std::size_t n) {
    return ::copy_file_range(in, nullptr, out, nullptr, n, 0);
  };
  s.fstat = ::fstat;
  s.fstatat = ::fstatat;
  s.mkdirat = ::mkdirat;
  s.unlinkat = ::unlinkat;
  s.renameat = ::renameat;
  s.fchownat = ::fchownat;
  s.fchmod = ::fchmod;
  s.readlinkat = ::readlinkat;
  s.fdopendir = ::fdopendir;
  s.readdir = ::readdir;
  s.closedir = ::closedir;
  s.stat = [](const char *path, struct stat *st) { return ::stat(path, st); };
  s.rename = [](const char *from, const char *to) { return std::rename(from, to); };
  s.remove = [](const char *path) { return std::remove(path); };
  s.getcwd = ::getcwd;
  s.fopen = [](const char *path, const char *mode) { return std::fopen(path, mode); };
  s.fdopen = ::fdopen;
  s.fread = [](void *buf, std::size_t size, std::size_t n, std::FILE *f) {
    return std::fread(buf, size, n, f);
  };
  s.fwrite = [](const void *buf, std::size_t size, std::size_t n, std::FILE *f) {
    return std::fwrite(buf, size, n, f);
  };
  s.fflush = [](std::FILE *f) { return std::fflush(f); };
  s.fclose = [](std::FILE *f) { return std::fclose(f); };
#ifdef INSTALLER_USERS_FROM_FILES
  // The statically linked installer: the files, never the name service (see userfiles.h).
  s.getpwnam = [](const char *name) { return userfiles_uid("/etc/passwd", name); };
  s.getgrnam = [](const char *name) { return userfiles_gid("/etc/group", name); };
  s.getpwuid = [](uid_t uid) { return userfiles_user("/etc/passwd", uid); };
  s.getgrgid = [](gid_t gid) { return userfiles_group("/etc/group", gid); };
#else
  s.getpwnam = [](const char *name) -> std::optional<uid_t> {
    struct passwd *pw = ::getpwnam(name);
    if (!pw) return std::nullopt;
    return pw->pw_uid;
  };
  s.getgrnam = [](const char *name) -> std::optional<gid_t> {
    struct group *gr = ::getgrnam(name);
    if (!gr) return std::nullopt;
    return gr->gr_gid;
  };
  s.getpwuid = [](uid_t uid) -> std::optional<std::string> {
    struct passwd *pw = ::getpwuid(uid);
    if (!pw) return std::nullopt;
    return std::string(pw->pw_name);
  };
  s.getgrgid = [](gid_t gid) -> std::optional<std::string> {
    struct group *gr = ::getgrgid(gid);
    if (!gr) return std::nullopt;
    return std::string(gr->gr_name);
  };
#endif
  s.linkat = ::linkat;
  s.pread = ::pread;
  s.getrandom = real_getrandom;
  s.fchmod_path = real_fchmod_path;
  s.capability_size = real_capability_size;
  return s;
}

}  // namespace

Sys &sys() {
  static Sys s = real_sys();
  return s;
}

}  // namespace installer
