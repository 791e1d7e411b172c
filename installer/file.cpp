// The file-system layer: existence tests, file and tree copies, directory creation and
// removal, directory walks, and owner and mode changes. Every disk action goes through
// disk(), so a test can make one call fail and watch the error path.
#include "file.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "log.h"

namespace installer {

namespace {

// The real system calls. Wrapped in lambdas so every member has exactly the table's
// signature, whatever the C library declares.
constexpr Disk kRealDisk = {
    [](const char *path, const char *mode) { return std::fopen(path, mode); },
    [](void *buf, std::size_t size, std::size_t n, std::FILE *f) {
      return std::fread(buf, size, n, f);
    },
    [](const void *buf, std::size_t size, std::size_t n, std::FILE *f) {
      return std::fwrite(buf, size, n, f);
    },
    [](const char *path, struct stat *st) { return ::stat(path, st); },
    [](const char *path, struct stat *st) { return ::lstat(path, st); },
    [](const char *path, char *buf, std::size_t size) { return ::readlink(path, buf, size); },
    [](const char *path) { return ::opendir(path); },
    [](const char *path, mode_t mode) { return ::mkdir(path, mode); },
    [](const char *path) { return ::rmdir(path); },
    [](const char *path) { return std::remove(path); },
    [](const char *from, const char *to) { return std::rename(from, to); },
    [](const char *path, mode_t mode) { return ::chmod(path, mode); },
    [](const char *path, uid_t uid, gid_t gid) { return ::chown(path, uid, gid); },
    [](char *buf, std::size_t size) { return ::getcwd(buf, size); },
};

Disk g_disk = kRealDisk;

FileFn g_ok = nullptr;
FileFn g_fail = nullptr;

void report_ok(const char *src, const char *dst, int mode) {
  if (g_ok) g_ok(src, dst, mode);
}

void report_fail(const char *src, const char *dst, int mode) {
  if (g_fail) g_fail(src, dst, mode);
}

bool is_sep(char c) { return c == '/' || c == '\\'; }

int clamp_size(unsigned bfsz) { return bfsz > INT_MAX ? INT_MAX : static_cast<int>(bfsz); }

// Moves the content of `in` to `out`; logs and returns false on the first failure.
bool copy_blocks(std::FILE *in, std::FILE *out, const char *src, const char *dst,
                 ByteCount *bytes) {
  char buf[COPY_BLOCK];
  for (;;) {
    std::size_t n = disk().fread(buf, 1, sizeof buf, in);
    if (n == 0) {
      if (std::ferror(in)) {
        file_error("Error reading from '%s'", src);
        return false;
      }
      return true;
    }
    // A short write leaves the copy incomplete just as a failed one does.
    if (disk().fwrite(buf, 1, n, out) != n) {
      file_error("Error writing to '%s'", dst);
      return false;
    }
    if (bytes) *bytes += n;
  }
}

// Creates one directory; a success is logged and reported.
bool make_one(const char *path) {
  if (disk().mkdir(path, 0775) != 0) return false;
  dmsg("Directory created '%s'", path);
  report_ok(path, nullptr, 1);
  return true;
}

// Whether both paths name one existing file.
bool same_file(const char *a, const char *b) {
  struct stat sa, sb;
  return disk().stat(a, &sa) == 0 && disk().stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// Copies the content of src onto dst; logs the first failure.
bool copy_contents(const char *src, const char *dst, ByteCount *bytes) {
  if (same_file(src, dst)) {
    // Opening the destination for writing would empty the very file we mean to read.
    dmsg("'%s' and '%s' are the same file, nothing to copy", src, dst);
    return true;
  }
  std::FILE *out = s_fopen(dst, "wb");
  if (!out) {
    file_error("Error opening '%s' for write", dst);
    return false;
  }
  std::FILE *in = s_fopen(src, "rb");
  if (!in) {
    file_error("Error opening '%s' for read", src);
    s_fclose(&out);  // the destination stays behind, empty
    return false;
  }
  bool good = copy_blocks(in, out, src, dst, bytes);
  s_fclose(&in);
  // A failed close means buffered data never reached the disk.
  if (std::fclose(out) != 0 && good) {
    file_error("Error writing to '%s'", dst);
    good = false;
  }
  return good;
}

// Hands each entry of `path` that matches `wild` and whose name is not excluded by `not_`
// to fn(entry, name).
template <class Fn>
void for_each_entry(const char *path, const char *wild, const char *not_, Fn fn) {
  std::unique_ptr<FHandle> h;
  std::unique_ptr<File> x = file_first(&h, path, wild);
  if (!x) return;
  do {
    char name[PATH_SIZE];
    file_filename(x.get(), name, PATH_SIZE);
    if (!wild_list(name, not_)) fn(*x, name);
  } while (file_next(x.get(), h.get()));
}

// Reports one removal to the callbacks and passes on how many entries it removed.
int removed(const char *path, int count) {
  if (count)
    report_ok(path, nullptr, 0);
  else
    report_fail(path, nullptr, 0);
  return count;
}

}  // namespace

Disk &disk() { return g_disk; }

void disk_reset() { g_disk = kRealDisk; }

void file_setup_fn(FileFn xok, FileFn xfail) {
  g_ok = xok;
  g_fail = xfail;
}

FHandle::~FHandle() {
  if (handle) closedir(handle);
}

void file_error(const char *format, ...) {
  int saved = errno;
  if (!format) return;
  char message[LINE_SIZE];
  va_list ap;
  va_start(ap, format);
  format_line(message, format, ap);
  va_end(ap);
  emsg("%s, %s", message, std::strerror(saved));
}

int file_exist(const char *file) {
  if (!file) return 0;
  struct stat st;
  if (disk().stat(file, &st) != 0) {
    dmsg("'%s' does not exist", file);
    return 0;
  }
  if (S_ISDIR(st.st_mode)) {
    dmsg("'%s' exists and is a directory", file);
    return 2;
  }
  dmsg("'%s' exists and is a file", file);
  return 1;
}

int file_copy(const char *src, const char *dst, int overwrite, ByteCount *bytes) {
  errno = 0;
  if (src && dst && !overwrite) {
    if (std::FILE *probe = s_fopen(dst, "rb")) {
      s_fclose(&probe);
      return -1;
    }
    errno = 0;  // the probe's failure is the expected case, not an error to report later
  }
  bool good = src && dst && copy_contents(src, dst, bytes);
  (good ? report_ok : report_fail)(src, dst, 1);
  return good ? 1 : 0;
}

int file_xcopy(const char *path, const char *wild, const char *not_, const char *dst,
               int recurse, ByteCount *bytes) {
  if (!path || !dst) return 0;
  int count = 0;
  if (file_exist(dst) == 0) {
    if (!file_mkdir(dst, 1)) return 0;
    count = 1;
  }
  for_each_entry(path, wild ? wild : "*", not_, [&](File &x, const char *name) {
    char target[PATH_SIZE];
    scpy(target, dst, PATH_SIZE);
    attach_path(target, name, PATH_SIZE);
    if (!file_isdir(&x)) {
      if (file_copy(x.name, target, 1, bytes) == 1) count++;
    } else if (recurse) {
      // Below the top level every name is taken; the pattern only picks top-level entries.
      count += file_xcopy(x.name, "*", not_, target, 1, bytes);
    } else if (file_mkdir(target, 1)) {
      count++;
    }
  });
  return count;
}

int file_mkdir(const char *dir, int make_all) {
  if (!dir) return 0;
  char path[PATH_SIZE];
  scpy(path, dir, PATH_SIZE);
  std::size_t len = std::strlen(path);
  // "/" alone stays the root rather than becoming an empty path.
  if (len > 1 && is_sep(path[len - 1])) path[--len] = '\0';

  errno = 0;
  bool made = false;
  if (make_all) {
    std::size_t start = (path[0] && path[1] == ':') ? 3 : 1;
    for (std::size_t i = start; i < len; i++) {
      if (!is_sep(path[i])) continue;
      path[i] = '\0';
      if (make_one(path)) made = true;
      path[i] = '/';
    }
  }
  errno = 0;
  if (make_one(path)) made = true;
  if (made || errno == EEXIST) return 1;
  file_error("Error creating directory '%s'", path);
  report_fail(path, nullptr, 1);
  return 0;
}

int file_rmdir(const char *dir, const char *not_, int recurse) {
  if (!dir) return 0;
  int count = 0;
  if (recurse) {
    // A subdirectory is reported by its own call and once more here, by what it removed.
    for_each_entry(dir, "*", not_, [&](File &x, const char *) {
      count += removed(x.name, file_isdir(&x) ? file_rmdir(x.name, not_, 1)
                                              : disk().remove(x.name) == 0);
    });
  }
  return count + removed(dir, disk().rmdir(dir) == 0);
}

std::unique_ptr<File> file_first(std::unique_ptr<FHandle> *h, const char *path,
                                 const char *wild) {
  if (!h || !path || !wild) return nullptr;
  *h = std::make_unique<FHandle>();
  (*h)->handle = disk().opendir(path);
  if (!(*h)->handle) {
    file_error("Error opening dir '%s'", path);
    h->reset();
    return nullptr;
  }
  (*h)->path = path;
  (*h)->wild = wild;
  auto x = std::make_unique<File>();
  if (!file_next(x.get(), h->get())) {
    h->reset();
    return nullptr;
  }
  return x;
}

int file_next(File *x, FHandle *h) {
  if (!x || !h || !h->handle) return 0;
  while (struct dirent *e = readdir(h->handle)) {
    const char *entry = e->d_name;
    if (std::strcmp(entry, ".") == 0 || std::strcmp(entry, "..") == 0) continue;
    if (!wild_match(entry, h->wild.c_str())) continue;
    std::string full = h->path;
    full += Sep;
    full += entry;
    struct stat st;
    if (disk().lstat(full.c_str(), &st) != 0) continue;

    scpy(x->name, full.c_str(), PATH_SIZE);
    x->info = st;
    x->link.reset();
    if (S_ISLNK(st.st_mode)) {
      char target[PATH_SIZE];
      ssize_t n = disk().readlink(x->name, target, PATH_SIZE - 1);
      if (n < 0) {
        file_error("Error reading symlink '%s'", x->name);
        x->link = "READLINK FAILED";
      } else {
        target[n] = '\0';
        x->link = target;
      }
    }
    return 1;
  }
  return 0;
}

void file_free(std::unique_ptr<File> *x) {
  if (x) x->reset();
}

void file_last(std::unique_ptr<FHandle> *h) {
  if (h) h->reset();
}

const char *file_name(File *x) { return x ? x->name : nullptr; }

char *file_filename(File *x, char *buffer, unsigned bfsz) {
  if (!x || !buffer) return nullptr;
  const char *base = x->name;
  for (const char *p = x->name; *p; p++) {
    if (is_sep(*p)) base = p + 1;
  }
  scpy(buffer, base, clamp_size(bfsz));
  return buffer;
}

bool file_isdir(const File *x) { return x && S_ISDIR(x->info.st_mode); }

int file_getuid(const char *name) {
  if (!name) return -1;
  struct passwd *pw = getpwnam(name);
  return pw ? static_cast<int>(pw->pw_uid) : -1;
}

int file_getgid(const char *name) {
  if (!name) return -1;
  struct group *gr = getgrnam(name);
  return gr ? static_cast<int>(gr->gr_gid) : -1;
}

int file_chmod(File *x, mode_t mode) {
  if (!x) return 0;
  if (disk().chmod(x->name, mode) != 0) {
    file_error("Error changing mode of '%s' to %d", x->name, static_cast<int>(mode));
    return 0;
  }
  return 1;
}

int file_chown(File *x, int uid, int gid) {
  if (!x || uid == -1) return 0;
  if (gid == -1) gid = uid;
  if (disk().chown(x->name, static_cast<uid_t>(uid), static_cast<gid_t>(gid)) != 0) {
    file_error("Error changing ownership of '%s' to uid=%d, gid=%d", x->name, uid, gid);
    return 0;
  }
  return 1;
}

}  // namespace installer
