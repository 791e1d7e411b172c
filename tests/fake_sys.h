// A fake for the system-call seam: the named calls (a comma-separated list) fail, with a chosen
// error, whenever it acts on a name that holds a chosen text (for a call on a descriptor, the name
// the descriptor was opened by). Everything else runs for real, and does again once it goes.
#pragma once

#include <fcntl.h>

#include <cerrno>
#include <map>
#include <string>

#include "sys.h"

namespace installer {

class FailOn {
 public:
  FailOn(std::string op, std::string name, int error)
      : op_(std::move(op)), name_(std::move(name)), error_(error) {
    Sys real = sys();
    Sys &s = sys();
    // An unnamed temporary goes by the name its named kind would have.
    s.openat = [this, real](int dir, const char *path, int flags, mode_t mode) {
      std::string name = (flags & O_TMPFILE) == O_TMPFILE ? ".install.(unnamed)" : path;
      if (hit("openat", name)) return -1;
      int fd = real.openat(dir, path, flags, mode);
      if (fd >= 0) names_[fd] = name;
      return fd;
    };
    s.linkat = [this, real](int a, const char *from, int b, const char *to, int flags) {
      return hit("linkat", to) ? -1 : real.linkat(a, from, b, to, flags);
    };
    s.open_nolinks = [this, real](int dir, const char *path, int flags) {
      return hit("open_nolinks", path) ? -1 : real.open_nolinks(dir, path, flags);
    };
    s.write = [this, real](int fd, const void *buf, std::size_t n) -> ssize_t {
      return hit("write", names_[fd]) ? -1 : real.write(fd, buf, n);
    };
    s.copy_file_range = [this, real](int in, int out, std::size_t n) -> ssize_t {
      return hit("copy_file_range", names_[out]) ? -1 : real.copy_file_range(in, out, n);
    };
    s.close = [this, real](int fd) {
      std::string name = names_[fd];
      names_.erase(fd);
      int r = real.close(fd);
      return hit("close", name) ? -1 : r;
    };
    s.fchmod = [this, real](int fd, mode_t mode) {
      return hit("fchmod", names_[fd]) ? -1 : real.fchmod(fd, mode);
    };
    s.renameat = [this, real](int a, const char *from, int b, const char *to) {
      return hit("renameat", to) ? -1 : real.renameat(a, from, b, to);
    };
    s.mkdirat = [this, real](int dir, const char *path, mode_t mode) {
      return hit("mkdirat", path) ? -1 : real.mkdirat(dir, path, mode);
    };
    s.fstatat = [this, real](int dir, const char *path, struct stat *st, int flags) {
      return hit("fstatat", path) ? -1 : real.fstatat(dir, path, st, flags);
    };
  }
  int hits() const { return hits_; }

 private:
  bool hit(const char *op, const std::string &name) {
    if (("," + op_ + ",").find("," + std::string(op) + ",") == std::string::npos ||
        name.find(name_) == std::string::npos)
      return false;
    hits_++;
    errno = error_;
    return true;
  }
  SysGuard guard_;
  std::string op_, name_;
  int error_;
  int hits_ = 0;
  std::map<int, std::string> names_;
};

// Makes a call of the seam fail every time, with `error`.
template <class R, class... A>
void fail_with(std::function<R(A...)> &call, int error) {
  call = [error](A...) {
    errno = error;
    return R(-1);
  };
}

// Where the file system takes no unnamed file (overlayfs on some kernels, NFS, FUSE).
inline void refuse_unnamed(int error = EOPNOTSUPP) {
  sys().openat = [real = sys().openat, error](int dir, const char *path, int flags, mode_t mode) {
    if ((flags & O_TMPFILE) != O_TMPFILE) return real(dir, path, flags, mode);
    errno = error;
    return -1;
  };
}

}  // namespace installer
