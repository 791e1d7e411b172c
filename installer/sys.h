// The seam under every system call the installer makes on files, folders and the user
// databases. It sits at the bottom of the include graph (it includes nothing of the
// project), so every module can reach it and a test can make one call fail on demand.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace installer {

struct Sys {
  // Descriptor calls, with the system's signatures and results (-1 and errno on failure).
  std::function<int(int dirfd, const char *path, int flags, mode_t mode)> openat;
  // openat2 with RESOLVE_NO_SYMLINKS: -1 with ENOSYS where the kernel lacks it.
  std::function<int(int dirfd, const char *path, int flags)> open_nolinks;
  std::function<int(int fd)> close;
  std::function<ssize_t(int fd, void *buf, std::size_t n)> read;
  std::function<ssize_t(int fd, const void *buf, std::size_t n)> write;
  std::function<ssize_t(int in, int out, std::size_t n)> copy_file_range;
  std::function<int(int fd, struct stat *st)> fstat;
  std::function<int(int dirfd, const char *path, struct stat *st, int flags)> fstatat;
  std::function<int(int dirfd, const char *path, mode_t mode)> mkdirat;
  std::function<int(int dirfd, const char *path, int flags)> unlinkat;
  std::function<int(int fromfd, const char *from, int tofd, const char *to)> renameat;
  std::function<int(int dirfd, const char *path, uid_t uid, gid_t gid, int flags)> fchownat;
  std::function<int(int fd, mode_t mode)> fchmod;
  std::function<ssize_t(int dirfd, const char *path, char *buf, std::size_t size)> readlinkat;
  // Directory streams. fdopendir takes over the descriptor.
  std::function<DIR *(int fd)> fdopendir;
  std::function<struct dirent *(DIR *d)> readdir;
  std::function<int(DIR *d)> closedir;
  // Path calls, for the companion files and the log in the working folder.
  std::function<int(const char *path, struct stat *st)> stat;
  std::function<int(const char *from, const char *to)> rename;
  std::function<int(const char *path)> remove;
  std::function<char *(char *buf, std::size_t size)> getcwd;
  // Buffered streams.
  std::function<std::FILE *(const char *path, const char *mode)> fopen;
  std::function<std::FILE *(int fd, const char *mode)> fdopen;
  std::function<std::size_t(void *buf, std::size_t size, std::size_t n, std::FILE *f)> fread;
  std::function<std::size_t(const void *buf, std::size_t size, std::size_t n, std::FILE *f)> fwrite;
  std::function<int(std::FILE *f)> fflush;
  std::function<int(std::FILE *f)> fclose;
  // The user and group databases: an id, or nothing when there is no such name.
  std::function<std::optional<uid_t>(const char *name)> getpwnam;
  std::function<std::optional<gid_t>(const char *name)> getgrnam;
  // And the other way round, for showing owners: a name, or nothing for an unknown id.
  std::function<std::optional<std::string>(uid_t uid)> getpwuid;
  std::function<std::optional<std::string>(gid_t gid)> getgrgid;

  // Replacing files: naming an unnamed file, reading back what is there, random names.
  std::function<int(int fromfd, const char *from, int tofd, const char *to, int flags)> linkat;
  std::function<ssize_t(int fd, void *buf, std::size_t n, off_t offset)> pread;
  // getrandom: -1 with ENOSYS where the kernel lacks it.
  std::function<ssize_t(void *buf, std::size_t n)> getrandom;
  // Calls on a path descriptor (O_PATH), which fchmod and fgetxattr refuse. The mode is set
  // with fchmodat2 and AT_EMPTY_PATH, or through /proc/self/fd where the kernel lacks it
  // (-1 with ENOSYS or ENOENT when neither can).
  std::function<int(int fd, mode_t mode)> fchmod_path;
  // The size of the file capabilities held by the entry `name` of the folder `dir`, not
  // following a link, or by `dir` itself (a path descriptor) when `name` is empty; -1 with
  // ENODATA when it holds none.
  std::function<ssize_t(int dir, const char *name)> capability_size;
};

// The calls in force.
Sys &sys();

// Swaps in fakes for the life of a scope: whatever a test changes in sys() after making
// the guard is put back when the guard goes.
class SysGuard {
 public:
  SysGuard() : saved_(sys()) {}
  ~SysGuard() { sys() = saved_; }
  SysGuard(const SysGuard &) = delete;
  SysGuard &operator=(const SysGuard &) = delete;

 private:
  Sys saved_;
};

}  // namespace installer
