// The file-system layer: existence tests, file and tree copies, directory creation and
// removal, directory walks, and owner and mode changes, all through the seam in sys.h.
//
// Every path is opened one component at a time from a folder descriptor, without following
// a link that another user could have planted; what is acted on is what was checked,
// through its descriptor. Files are replaced whole: new content goes into a file beside the
// old one, which is renamed over it only once the content is complete.
#include "file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <string>

#include "log.h"
#include "resolve.h"
#include "signals.h"
#include "sys.h"

namespace installer {

namespace {

FileFn g_ok = nullptr;
FileFn g_fail = nullptr;

void report_ok(const char *src, const char *dst, int mode) {
  if (g_ok) g_ok(src, dst, mode);
}

// The failure printer shows the system's text for errno, so it gets the captured error.
void report_fail(int error, const char *src, const char *dst, int mode) {
  errno = error;
  if (g_fail) g_fail(src, dst, mode);
}

bool is_sep(char c) { return c == '/' || c == '\\'; }

int clamp_size(unsigned bfsz) { return bfsz > INT_MAX ? INT_MAX : static_cast<int>(bfsz); }

// copy_file_range moves a file in pieces of this size.
constexpr std::size_t COPY_RANGE = std::size_t{1} << 30;

mode_t creation_mask() {
  static const mode_t mask = [] {
    mode_t m = ::umask(022);
    ::umask(m);
    return m;
  }();
  return mask;
}

// A file with more than one name (of any kind but a folder), owned by someone other than
// the owner of the folder it was found in: a hard link that folder's owner made to a file
// not theirs.
bool foreign_link(const struct stat &st, int dir) {
  if (S_ISDIR(st.st_mode) || st.st_nlink <= 1) return false;
  struct stat folder;
  if (sys().fstatat(dir, ".", &folder, 0) != 0) return true;
  return st.st_uid != folder.st_uid;
}

void refuse_foreign(const char *shown, const struct stat &st) {
  emsg("Not using '%s', a hard link to a file of uid %d", shown, static_cast<int>(st.st_uid));
}

// A copy script has no business changing a device: a change of owner or mode passes it over.
void refuse_device(const char *shown) { emsg("Not changing '%s', it is a device", shown); }

// Opens an entry of a folder without following a link; a link met here is one that is not
// trusted, and the refusal is logged.
Fd open_entry(int dir, const std::string &name, const char *shown, int flags, int *err) {
  Fd fd(sys().openat(dir, name.c_str(), flags | O_NOFOLLOW, 0));
  if (!fd) {
    *err = errno;
    struct stat st;
    if ((*err == ELOOP || *err == ENOTDIR) &&
        sys().fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
      refuse_link(dir, shown, st);
      *err = ELOOP;
    }
  }
  return fd;
}

// Opens the entry `name` of `dir` for reading as content: only a regular file, reached
// without an untrusted link, and not another user's hard link. Opened without blocking, so
// a pipe or a device put in its place cannot hang the run.
Fd open_regular(int dir, const char *name, const char *shown, struct stat *st, int *err) {
  constexpr int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY;
  Place p;
  Fd fd;
  // An entry of an open folder that is no link needs no walk.
  if (!std::strchr(name, '/')) fd = Fd(sys().openat(dir, name, flags | O_NOFOLLOW, 0));
  if (fd) {
    p.dir = Cursor(dir);
  } else {
    if (!locate(dir, name, true, &p, err)) return Fd();
    fd = open_entry(p.dir.get(), p.name, shown, flags, err);
  }
  if (!fd) return fd;
  if (sys().fstat(fd.get(), st) != 0) {
    *err = errno;
    return Fd();
  }
  if (S_ISDIR(st->st_mode)) {
    *err = EISDIR;
    return Fd();
  }
  if (!S_ISREG(st->st_mode)) {
    emsg("Not reading '%s', it is not a regular file", shown);
    *err = EINVAL;
    return Fd();
  }
  if (foreign_link(*st, p.dir.get())) {
    refuse_foreign(shown, *st);
    *err = EPERM;
    return Fd();
  }
  return fd;
}

// Opens a folder to list it.
Fd open_folder(int base, const char *path, int *err) {
  Place p;
  if (!locate(base, path, true, &p, err)) return Fd();
  return open_entry(p.dir.get(), p.name, path, O_RDONLY | O_DIRECTORY, err);
}

// Moves the content of `in` into `out`, counting each piece the system accepted. A failed
// copy_file_range hands over to read and write, which tell a read error from a write error.
bool copy_data(int in, off_t size, FileWriter &out, const char *src, const char *dst,
               ByteCount *bytes) {
  static char buf[COPY_BLOCK];
  off_t moved = 0;
  // One piece read and handed to the writer: 1 moved, 0 at the end, -1 failed (reported).
  auto piece = [&]() -> int {
    for (;;) {
      ssize_t n = sys().read(in, buf, sizeof buf);
      if (n == 0) return 0;
      if (n < 0) {
        if (errno == EINTR) continue;
        file_error_at(errno, "Error reading from '%s'", src);
        return -1;  // reported
      }
      if (!out.write(buf, static_cast<std::size_t>(n))) {
        if (out.create_failed())
          file_error_at(errno, "Error opening '%s' for write", dst);
        else
          file_error_at(errno, "Error writing to '%s'", dst);
        return -1;  // reported
      }
      moved += n;
      if (bytes) *bytes += static_cast<ByteCount>(n);
      return 1;
    }
  };
  // While the target may already hold this content, it is read and compared, not written.
  while (out.comparing()) {
    int r = piece();
    if (r <= 0) return r == 0;
  }
  off_t compared = moved;
  for (;;) {
    signals_check();
    ssize_t n = sys().copy_file_range(in, out.fd(), COPY_RANGE);
    if (n <= 0) break;  // 0 may be a file system that cannot: a read makes sure
    moved += n;
    if (bytes) *bytes += static_cast<ByteCount>(n);
  }
  if (moved > compared && moved == size) return true;
  for (;;) {
    int r = piece();
    if (r <= 0) return r == 0;
  }
}

// Copies the entry `sname` of folder `sdir` onto the entry `dname` of folder `ddir`; the
// paths are for messages and callbacks.
int copy_one(int sdir, const char *sname, const char *src, int ddir, const char *dname,
             const char *dst, int overwrite, ByteCount *bytes) {
  struct stat old;
  bool exists = sys().fstatat(ddir, dname, &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && !overwrite) return -1;
  int read_err = 0;
  struct stat st;
  Fd in = open_regular(sdir, sname, src, &st, &read_err);
  if (in && exists && st.st_dev == old.st_dev && st.st_ino == old.st_ino) {
    // Copying a file onto itself changes nothing.
    dmsg("'%s' and '%s' are the same file, nothing to copy", src, dst);
    report_ok(src, dst, 1);
    return 1;
  }
  // The new file is made only once the old one is found to differ: an upgrade that meets
  // the file it would write reads it and writes nothing at all.
  FileWriter out;
  std::optional<struct stat> known;
  if (exists) known = old;
  auto open_failed = [&] {
    int err = errno;
    file_error_at(err, "Error opening '%s' for write", dst);
    report_fail(err, src, dst, 1);
    return 0;
  };
  if (!out.open_at(ddir, dname, dst, &known, true)) return open_failed();
  if (!in) {
    if (!out.create()) return open_failed();  // the target is opened first, as ever
    file_error_at(read_err, "Error opening '%s' for read", src);
    report_fail(read_err, src, dst, 1);
    return 0;
  }
  if (!out.expect_size(st.st_size)) return open_failed();
  if (!copy_data(in.get(), st.st_size, out, src, dst, bytes)) {
    report_fail(errno, src, dst, 1);
    return 0;
  }
  if (!out.commit()) {
    if (out.create_failed()) return open_failed();
    int err = errno;
    file_error_at(err, "Error writing to '%s'", dst);
    report_fail(err, src, dst, 1);
    return 0;
  }
  report_ok(src, dst, 1);
  return 1;
}

}  // namespace

bool file_join(const char *dir, const char *name, char *out) {
  char joined[LINE_SIZE];
  scpy(joined, dir, LINE_SIZE);
  attach_path(joined, name, LINE_SIZE);
  if (std::strlen(joined) >= PATH_SIZE) {
    emsg("Skipping '%s' in '%s', its path would be longer than %u characters", name, dir,
         PATH_SIZE - 1);
    return false;
  }
  scpy(out, joined, PATH_SIZE);
  return true;
}

namespace {

// Reports one removal to the callbacks and passes on how many entries it removed.
int removed(const char *path, int count, int error) {
  if (count)
    report_ok(path, nullptr, 0);
  else
    report_fail(error, path, nullptr, 0);
  return count;
}

// Removes the folder `name` of `parent` with what is in it, never leaving the folder it
// was opened as: a link put in its place is removed as a link. `seen`, when given, is the
// folder the parent's listing saw there.
int rmdir_at(int parent, const std::string &name, const char *path, const char *not_, int recurse,
             const struct stat *seen = nullptr) {
  int count = 0;
  if (recurse) {
    Walk walk(parent, name, path, "*", not_, Exclude::Name, seen);
    for (File *e = walk.entry(); e; e = walk.next()) {
      int done = file_isdir(e) ? rmdir_at(e->dir, e->entry, e->name, not_, 1, &e->info)
                               : sys().unlinkat(e->dir, e->entry.c_str(), 0) == 0;
      count += removed(e->name, done, errno);
    }
  }
  int done = sys().unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
  return count + removed(path, done, errno);
}

bool make_one(const char *path, int *err) {
  Place p;
  if (!locate(AT_FDCWD, path, false, &p, err)) return false;
  if (sys().mkdirat(p.dir.get(), p.name.c_str(), 0775) != 0) {
    *err = errno;
    return false;
  }
  dmsg("Directory created '%s'", path);
  report_ok(path, nullptr, 1);
  return true;
}

// What a change of owner or mode acts on: the entry itself, or the target of a trusted
// link, held by a path descriptor, so that opening it never opens a pipe, a socket or a
// device. What is checked is the very file the change is made on, so it cannot be raced.
struct Target {
  Fd fd;
  Place base, where;  // the entry's folder when the walk gave none; a link's target
  int holder = -1;    // the folder the changed file stands in, and its name there
  std::string name;
  struct stat st = {};
};

// How a change went: made (or nothing to change), passed over with the reason logged, or
// failed with *err set.
enum class Outcome { Done, PassedOver, Failed };

Outcome open_target(File *x, Target *t, int *err) {
  int dir = x->dir;
  std::string name = x->entry;
  if (dir < 0 || name.empty()) {
    if (!locate(AT_FDCWD, x->name, false, &t->base, err)) return Outcome::Failed;
    dir = t->base.dir.get();
    name = t->base.name;
  }
  t->holder = dir;
  auto open_path = [t, err](int in, const std::string &entry) {
    t->fd = Fd(sys().openat(in, entry.c_str(), O_PATH | O_NOFOLLOW, 0));
    if (t->fd && sys().fstat(t->fd.get(), &t->st) != 0) t->fd = Fd();
    if (!t->fd) *err = errno;
    return static_cast<bool>(t->fd);
  };
  if (!open_path(dir, name)) return Outcome::Failed;
  if (S_ISLNK(t->st.st_mode)) {
    if (!link_trusted(dir, t->st)) {
      refuse_link(dir, x->name, t->st);
      return Outcome::PassedOver;
    }
    if (!locate(dir, name.c_str(), true, &t->where, err)) return Outcome::Failed;
    t->holder = t->where.dir.get();
    if (!open_path(t->holder, t->where.name)) return Outcome::Failed;
    if (S_ISLNK(t->st.st_mode)) {  // the chain ends at a link that is not trusted
      refuse_link(t->holder, x->name, t->st);
      return Outcome::PassedOver;
    }
  }
  t->name = t->where.name.empty() ? name : t->where.name;
  if (S_ISCHR(t->st.st_mode) || S_ISBLK(t->st.st_mode)) {
    refuse_device(x->name);
    return Outcome::PassedOver;
  }
  if (foreign_link(t->st, t->holder)) {
    refuse_foreign(x->name, t->st);
    return Outcome::PassedOver;
  }
  return Outcome::Done;
}

// A change of owner clears the set-user-id and set-group-id bits and a file's capabilities
// even when the owner stays the same: with any of them there the call is made all the same.
// The file is `name` in the folder `dir`, or `dir` itself when `name` is empty.
bool owner_change_needed(const struct stat &st, int dir, const char *name, uid_t uid, gid_t gid) {
  if (st.st_uid != uid || st.st_gid != gid) return true;
  if (st.st_mode & (S_ISUID | S_ISGID)) return true;
  if (!S_ISREG(st.st_mode)) return false;  // only regular files carry capabilities
  if (sys().capability_size(dir, name) >= 0) return true;
  return errno != ENODATA && errno != ENOTSUP;  // not known: the call decides
}

// What the listing saw is a folder, or a file with one name, so no link or hard link stands
// between it and a change: where it already is as a change would leave it, the change can
// be passed over without opening it.
bool listed_plain(const File *x) {
  return x->dir >= 0 &&
         (S_ISDIR(x->info.st_mode) || (S_ISREG(x->info.st_mode) && x->info.st_nlink == 1));
}

// Sets the mode through the path descriptor. Where the kernel cannot, a regular file or a
// folder is opened again by its name (never through a link) and must be the same file.
int change_mode(const Target &t, mode_t mode) {
  if (sys().fchmod_path(t.fd.get(), mode) == 0) return 0;
  bool reopenable = S_ISREG(t.st.st_mode) || S_ISDIR(t.st.st_mode);
  if ((errno != ENOSYS && errno != ENOENT) || !reopenable) return -1;
  constexpr int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW;
  Fd fd(sys().openat(t.holder, t.name.c_str(), flags, 0));
  struct stat st;
  if (!fd || sys().fstat(fd.get(), &st) != 0) return -1;
  if (st.st_dev != t.st.st_dev || st.st_ino != t.st.st_ino) {
    errno = EAGAIN;  // replaced meanwhile: changed neither
    return -1;
  }
  return sys().fchmod(fd.get(), mode);
}

}  // namespace

Fd::~Fd() {
  if (fd_ >= 0) sys().close(fd_);
}

Fd &Fd::operator=(Fd &&other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) sys().close(fd_);
    fd_ = other.release();
  }
  return *this;
}

void file_setup_fn(FileFn xok, FileFn xfail) {
  g_ok = xok;
  g_fail = xfail;
}

FHandle::~FHandle() {
  if (handle) sys().closedir(handle);
}

namespace {

void report_error(int error, const char *format, va_list ap) INSTALLER_PRINTF(2, 0);
void report_error(int error, const char *format, va_list ap) {
  char message[LINE_SIZE];
  format_line(message, format, ap);
  emsg("%s, %s", message, std::strerror(error));
  errno = error;
}

}  // namespace

void file_error(const char *format, ...) {
  int saved = errno;
  if (!format) return;
  va_list ap;
  va_start(ap, format);
  report_error(saved, format, ap);
  va_end(ap);
}

void file_error_at(int error, const char *format, ...) {
  if (!format) return;
  va_list ap;
  va_start(ap, format);
  report_error(error, format, ap);
  va_end(ap);
}

bool file_link_trusted(const struct stat &link) { return link_owner_trusted(link); }

int file_exist(const char *file) {
  if (!file) return 0;
  Place p;
  int err = 0;
  struct stat st;
  bool found = locate(AT_FDCWD, file, true, &p, &err);
  if (!found) errno = err;  // the caller's message may carry why
  if (!found || sys().fstatat(p.dir.get(), p.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
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
  if (!src || !dst) {
    report_fail(0, src, dst, 1);
    return 0;
  }
  Place to;
  int err = 0;
  if (!locate(AT_FDCWD, dst, true, &to, &err)) {
    file_error_at(err, "Error opening '%s' for write", dst);
    report_fail(err, src, dst, 1);
    return 0;
  }
  return copy_one(AT_FDCWD, src, src, to.dir.get(), to.name.c_str(), dst, overwrite, bytes);
}

namespace {

int copy_folder(File *e, const char *not_, int out, const char *target, ByteCount *bytes);

// Copies what a walk lists into the open folder `out`, reached as `dst`: files one by one,
// folders with their trees when `recurse` is set (below the top level every name is taken),
// each from the folder descriptor the walk holds.
int copy_listed(Walk &walk, const char *not_, int out, const char *dst, int recurse,
                ByteCount *bytes) {
  int count = 0;
  for (File *e = walk.entry(); e; e = walk.next()) {
    char target[PATH_SIZE];
    if (!file_join(dst, e->entry.c_str(), target)) continue;
    if (!file_isdir(e))
      count += file_copy_into(e, out, target, bytes);
    else if (recurse)
      count += copy_folder(e, not_, out, target, bytes);
    else if (file_mkdir(target, 1))
      count++;
  }
  return count;
}

// The folder `name` of `out` that a tree is copied into, reached as `target`: looked at as
// file_exist does, made when missing as file_mkdir does (with the same messages), and
// opened. A trusted link there is followed; *made counts the folder made.
Fd target_folder(int out, const char *name, const char *target, int *made) {
  Place p;
  int err = 0;
  struct stat st;
  bool found = locate(out, name, true, &p, &err) &&
               sys().fstatat(p.dir.get(), p.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (!found) {
    dmsg("'%s' does not exist", target);
    if (sys().mkdirat(out, name, 0775) == 0) {
      dmsg("Directory created '%s'", target);
      report_ok(target, nullptr, 1);
      *made = 1;
    } else if (errno != EEXIST) {
      err = errno;
      file_error_at(err, "Error creating directory '%s'", target);
      report_fail(err, target, nullptr, 1);
      return Fd();
    }
    p = Place();
    p.dir = Cursor(out);
    p.name = name;
  } else {
    dmsg(S_ISDIR(st.st_mode) ? "'%s' exists and is a directory" : "'%s' exists and is a file",
         target);
  }
  Fd fd = open_entry(p.dir.get(), p.name, target, O_RDONLY | O_DIRECTORY, &err);
  if (!fd) file_error_at(err, "Error opening dir '%s'", target);
  return fd;
}

// A folder of a tree being copied, with everything in it, into `target` in `out`; the
// source is entered from the walk's folder and must be the folder the walk listed.
int copy_folder(File *e, const char *not_, int out, const char *target, ByteCount *bytes) {
  int made = 0;
  Fd to = target_folder(out, e->entry.c_str(), target, &made);
  if (!to) return made;
  Walk walk(e->dir, e->entry, e->name, "*", not_, Exclude::Name, &e->info);
  return made + copy_listed(walk, not_, to.get(), target, 1, bytes);
}

}  // namespace

int file_xcopy(const char *path, const char *wild, const char *not_, const char *dst, int recurse,
               ByteCount *bytes) {
  if (!path || !dst) return 0;
  int count = 0;
  if (file_exist(dst) == 0) {
    if (!file_mkdir(dst, 1)) return 0;
    count = 1;
  }
  int err = 0;
  Fd out = open_folder(AT_FDCWD, dst, &err);
  if (!out) {
    file_error_at(err, "Error opening dir '%s'", dst);
    return count;
  }
  Walk walk(path, wild ? wild : "*", not_, Exclude::Name);
  return count + copy_listed(walk, not_, out.get(), dst, recurse, bytes);
}

Fd file_open_folder(const char *path, int *err) {
  if (!path) {
    *err = EINVAL;
    return Fd();
  }
  return open_folder(AT_FDCWD, path, err);
}

int file_copy_into(File *e, int out, const char *target, ByteCount *bytes) {
  if (!e || !target) return 0;
  return copy_one(e->dir, e->entry.c_str(), e->name, out, e->entry.c_str(), target, 1, bytes) == 1
             ? 1
             : 0;
}

int file_xcopy_into(File *e, const char *not_, int out, const char *target, ByteCount *bytes) {
  if (!e || !target) return 0;
  return copy_folder(e, not_, out, target, bytes);
}

int file_mkdir(const char *dir, int make_all) {
  if (!dir) return 0;
  char path[PATH_SIZE];
  scpy(path, dir, PATH_SIZE);
  std::size_t len = std::strlen(path);
  // "/" alone stays the root rather than becoming an empty path.
  if (len > 1 && is_sep(path[len - 1])) path[--len] = '\0';

  bool made = false;
  int err = 0;
  if (make_all) {
    std::size_t start = (path[0] && path[1] == ':') ? 3 : 1;
    for (std::size_t i = start; i < len; i++) {
      if (!is_sep(path[i])) continue;
      path[i] = '\0';
      if (make_one(path, &err)) made = true;
      path[i] = '/';
    }
  }
  if (make_one(path, &err)) made = true;  // sets err whenever it fails
  if (made || err == EEXIST) return 1;
  file_error_at(err, "Error creating directory '%s'", path);
  report_fail(err, path, nullptr, 1);
  return 0;
}

int file_rmdir(const char *dir, const char *not_, int recurse) {
  if (!dir) return 0;
  Place p;
  int err = 0;
  if (!locate(AT_FDCWD, dir, false, &p, &err)) return removed(dir, 0, err);
  return rmdir_at(p.dir.get(), p.name, dir, not_, recurse);
}

int file_rmdir_entry(File *e, const char *not_) {
  if (!e) return 0;
  return rmdir_at(e->dir, e->entry, e->name, not_, 1, &e->info);
}

int file_remove(File *x) {
  if (!x) return 0;
  if (x->dir >= 0) return sys().unlinkat(x->dir, x->entry.c_str(), 0) == 0 ? 1 : 0;
  Place p;
  int err = 0;
  if (!locate(AT_FDCWD, x->name, false, &p, &err)) return 0;
  return sys().unlinkat(p.dir.get(), p.name.c_str(), 0) == 0 ? 1 : 0;
}

namespace {

std::unique_ptr<File> first_in(std::unique_ptr<FHandle> *h, Fd folder, const char *path,
                               const char *wild, int err, int *failed = nullptr) {
  DIR *d = folder ? sys().fdopendir(folder.get()) : nullptr;
  if (!d) {
    if (folder) err = errno;
    file_error_at(err, "Error opening dir '%s'", path);
    if (failed) *failed = err;
    h->reset();
    return nullptr;
  }
  folder.release();
  (*h)->handle = d;
  (*h)->path = path;
  (*h)->wild = wild;
  auto x = std::make_unique<File>();
  if (!file_next(x.get(), h->get())) {
    h->reset();
    return nullptr;
  }
  return x;
}

// The first entry of the folder `path`; why it could not be listed goes to *failed.
std::unique_ptr<File> first_of(std::unique_ptr<FHandle> *h, const char *path, const char *wild,
                               int *failed) {
  *h = std::make_unique<FHandle>();
  int err = 0;
  Fd folder = open_folder(AT_FDCWD, path, &err);
  return first_in(h, std::move(folder), path, wild, err, failed);
}

}  // namespace

std::unique_ptr<File> file_first(std::unique_ptr<FHandle> *h, const char *path, const char *wild) {
  if (!h || !path || !wild) return nullptr;
  return first_of(h, path, wild, nullptr);
}

int file_next(File *x, FHandle *h) {
  if (!x || !h || !h->handle) return 0;
  int dir = dirfd(h->handle);
  while (struct dirent *e = sys().readdir(h->handle)) {
    const char *entry = e->d_name;
    if (std::strcmp(entry, ".") == 0 || std::strcmp(entry, "..") == 0) continue;
    if (!wild_match(entry, h->wild.c_str())) continue;
    std::string full = h->path;
    full += Sep;
    full += entry;
    if (full.size() >= PATH_SIZE) {
      // A cut path would name another file than this one.
      emsg("Skipping '%s' in '%s', its path would be longer than %u characters", entry,
           h->path.c_str(), PATH_SIZE - 1);
      continue;
    }
    struct stat st;
    if (sys().fstatat(dir, entry, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;

    scpy(x->name, full.c_str(), PATH_SIZE);
    x->info = st;
    x->dir = dir;
    x->entry = entry;
    x->link.reset();
    if (S_ISLNK(st.st_mode)) {
      char target[PATH_SIZE];
      ssize_t n = sys().readlinkat(dir, entry, target, PATH_SIZE - 1);
      if (n < 0) {
        file_error_at(errno, "Error reading symlink '%s'", x->name);
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
  std::optional<uid_t> id = sys().getpwnam(name);
  return id ? static_cast<int>(*id) : -1;
}

int file_getgid(const char *name) {
  if (!name) return -1;
  std::optional<gid_t> id = sys().getgrnam(name);
  return id ? static_cast<int>(*id) : -1;
}

bool file_trusted(File *x) {
  if (!x) return false;
  // A first look from what the walk saw; the change itself checks again what it opened.
  if (S_ISLNK(x->info.st_mode) && !link_trusted(x->dir >= 0 ? x->dir : AT_FDCWD, x->info)) {
    if (x->dir >= 0) {
      refuse_link(x->dir, x->name, x->info);
    } else {
      Place p;
      int err = 0;
      if (locate(AT_FDCWD, x->name, false, &p, &err)) refuse_link(p.dir.get(), x->name, x->info);
    }
    return false;
  }
  if (S_ISCHR(x->info.st_mode) || S_ISBLK(x->info.st_mode)) {
    refuse_device(x->name);
    return false;
  }
  if (x->dir >= 0 && foreign_link(x->info, x->dir)) {
    refuse_foreign(x->name, x->info);
    return false;
  }
  return true;
}

int file_chmod(File *x, mode_t mode) {
  if (!x) return 0;
  if (listed_plain(x) && (x->info.st_mode & 07777) == mode) return 1;
  Target t;
  int err = 0;
  switch (open_target(x, &t, &err)) {
    case Outcome::PassedOver:
      return -1;
    case Outcome::Done:
      if ((t.st.st_mode & 07777) == mode || change_mode(t, mode) == 0) return 1;
      err = errno;
      break;
    case Outcome::Failed:
      break;
  }
  file_error_at(err, "Error changing mode of '%s' to %d", x->name, static_cast<int>(mode));
  return 0;
}

int file_chown(File *x, int uid, int gid) {
  if (!x || uid == -1) return 0;
  if (gid == -1) gid = uid;
  const auto u = static_cast<uid_t>(uid);
  const auto g = static_cast<gid_t>(gid);
  if (listed_plain(x) && !owner_change_needed(x->info, x->dir, x->entry.c_str(), u, g)) return 1;
  Target t;
  int err = 0;
  switch (open_target(x, &t, &err)) {
    case Outcome::PassedOver:
      return -1;
    case Outcome::Done:
      if (!owner_change_needed(t.st, t.fd.get(), "", u, g) ||
          sys().fchownat(t.fd.get(), "", u, g, AT_EMPTY_PATH) == 0)
        return 1;
      err = errno;
      break;
    case Outcome::Failed:
      break;
  }
  file_error_at(err, "Error changing ownership of '%s' to uid=%d, gid=%d", x->name, uid, gid);
  return 0;
}

std::FILE *file_open_read(const char *path, off_t max) {
  if (!path) return nullptr;
  struct stat st;
  int err = 0;
  Fd fd = open_regular(AT_FDCWD, path, path, &st, &err);
  if (fd && st.st_size > max) {
    emsg("Not reading '%s', it is larger than %lld bytes", path, static_cast<long long>(max));
    errno = EFBIG;
    return nullptr;
  }
  std::FILE *f = fd ? sys().fdopen(fd.get(), "r") : nullptr;
  if (!f) {
    errno = fd ? errno : err;
    return nullptr;
  }
  fd.release();
  return f;
}

std::optional<std::string> file_read_text(const char *path) {
  OwnedFile f(file_open_read(path, RFILE_MAX));
  if (!f) return std::nullopt;
  std::string text;
  char piece[RFILE_PIECE_SIZE];
  std::size_t n;
  while ((n = sys().fread(piece, 1, RFILE_PIECE_SIZE - 1, f.get())) > 0) {
    text.append(piece, n);
    if (text.size() > RFILE_MAX) {
      emsg("Not reading '%s', it is larger than %u bytes", path, RFILE_MAX);
      errno = EFBIG;
      return std::nullopt;
    }
  }
  if (std::ferror(f.get())) return std::nullopt;
  return text;
}

bool file_rename(const char *from, const char *to) {
  if (!from || !to) return false;
  Place a, b;
  int err = 0;
  if (!locate(AT_FDCWD, from, false, &a, &err) || !locate(AT_FDCWD, to, false, &b, &err)) {
    errno = err;
    return false;
  }
  return sys().renameat(a.dir.get(), a.name.c_str(), b.dir.get(), b.name.c_str()) == 0;
}

// ---------------------------------------------------------------------------------------
// Writing a file whole

FileWriter::~FileWriter() { discard(); }

namespace {

// Sixteen hex digits nobody can predict, for a temporary's name: from getrandom, from
// /dev/urandom on a kernel without it, and from the clock as a last resort (a name taken
// meanwhile is then only tried again).
std::string random_tag() {
  unsigned char raw[8] = {};
  bool got = sys().getrandom(raw, sizeof raw) == static_cast<ssize_t>(sizeof raw);
  if (!got) {
    Fd urandom(sys().openat(AT_FDCWD, "/dev/urandom", O_RDONLY | O_NOCTTY, 0));
    got = urandom && sys().read(urandom.get(), raw, sizeof raw) == static_cast<ssize_t>(sizeof raw);
  }
  if (!got) {
    static unsigned long long counter = 0;
    struct timespec ts = {};
    clock_gettime(CLOCK_REALTIME, &ts);
    unsigned long long mix = static_cast<unsigned long long>(ts.tv_nsec) * 0x9e3779b97f4a7c15ULL ^
                             static_cast<unsigned long long>(ts.tv_sec) ^ ++counter << 40;
    for (unsigned char &b : raw) b = static_cast<unsigned char>(mix >>= 8);
  }
  static const char hex[] = "0123456789abcdef";
  std::string tag;
  for (unsigned char b : raw) {
    tag += hex[b >> 4];
    tag += hex[b & 15];
  }
  return tag;
}

std::string temp_name() { return ".install." + std::to_string(::getpid()) + "." + random_tag(); }

// Whether an unnamed file can be given a name later: by its descriptor, which root may
// always do, or through /proc/self/fd, which a bare root (a chroot, a container) may lack.
bool can_name_unnamed() {
  struct stat st;
  return ::geteuid() == 0 || sys().fstatat(AT_FDCWD, "/proc/self/fd", &st, 0) == 0;
}

// Names the unnamed file `fd` as `name` in `dir`.
int link_unnamed(int fd, int dir, const char *name) {
  if (sys().linkat(fd, "", dir, name, AT_EMPTY_PATH) == 0) return 0;
  if (errno != ENOENT && errno != EPERM) return -1;
  char proc[PATH_SIZE];
  lprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  return sys().linkat(AT_FDCWD, proc, dir, name, AT_SYMLINK_FOLLOW);
}

}  // namespace

bool FileWriter::open(const char *path) {
  if (!path) {
    errno = EINVAL;
    return false;
  }
  Place p;
  int err = 0;
  if (!locate(AT_FDCWD, path, true, &p, &err)) {
    errno = err;
    return false;
  }
  if (!open_at(p.dir.get(), p.name.c_str(), path, p.last ? &*p.last : nullptr)) return false;
  if (dir_fd_ == p.dir.get() && !dir_) dir_ = p.dir.take();  // none taken: the working folder
  return true;
}

bool FileWriter::open_at(int dir, const char *name, const char *shown,
                         const std::optional<struct stat> *known, bool later) {
  discard();
  dir_fd_ = dir;
  name_ = name;
  struct stat old;
  bool exists;
  if (known) {
    exists = known->has_value();
    if (exists) old = **known;
  } else {
    exists = sys().fstatat(dir, name, &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT) return false;
  }
  struct stat folder;
  if (sys().fstatat(dir_fd_, ".", &folder, 0) != 0) return false;
  // Another name of somebody else's file, whatever it is, is no file of this folder's: only
  // this name is replaced, and the file keeps its other names and everything else.
  auto foreign_name = [&] {
    bool foreign =
        exists && !S_ISDIR(old.st_mode) && old.st_nlink > 1 && old.st_uid != folder.st_uid;
    if (foreign)
      imsg("Replacing the name '%s' only, it is a hard link to a file of uid %d", shown,
           static_cast<int>(old.st_uid));
    return foreign;
  };
  bool foreign = foreign_name();
  if (!foreign && exists && S_ISLNK(old.st_mode) && file_link_trusted(old)) {
    // A link root made: write where it leads.
    Place p;
    int err = 0;
    if (!locate(dir, name, true, &p, &err)) {
      errno = err;
      return false;
    }
    name_ = p.name;
    dir_fd_ = p.dir.get();
    dir_ = p.dir.take();
    exists = sys().fstatat(dir_fd_, name_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT) return false;
    if (sys().fstatat(dir_fd_, ".", &folder, 0) != 0) return false;
    foreign = foreign_name();
  }
  if (exists && S_ISDIR(old.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (exists && !foreign && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode)) {
    emsg("Not writing '%s', it is not a regular file", shown);
    errno = EINVAL;
    return false;
  }
  // What the new file keeps of the old one. A link nobody trusted and another user's hard
  // link are replaced by a new file of the ordinary mode; what they led to is never touched.
  bool regular = exists && !foreign && S_ISREG(old.st_mode);
  bool keep_owner = regular;
  mode_ = 0666 & ~creation_mask();
  if (regular) {
    // In a folder others can write, a file of a user who is neither root, the installer's
    // user nor the folder's owner may have been put there to be given root's content.
    bool shared = (folder.st_mode & 022) != 0;
    uid_t euid = ::geteuid();
    if (shared && old.st_uid != 0 && old.st_uid != euid && old.st_uid != folder.st_uid) {
      imsg(
          "Not keeping the owner and mode of '%s', a file of uid %d in a folder others can "
          "write",
          shown, static_cast<int>(old.st_uid));
      keep_owner = false;
    } else {
      mode_ = old.st_mode & 07777;
      // A set-id program stays one only where nobody but root can have made or placed it.
      if ((mode_ & 06000) && !(old.st_uid == 0 && folder.st_uid == 0)) {
        imsg(
            "Not keeping the set-uid and set-gid bits of '%s', it or its folder is not "
            "root's",
            shown);
        mode_ &= ~static_cast<mode_t>(06000);
      }
    }
  }
  exists_ = exists;
  keep_owner_ = keep_owner;
  if (keep_owner) {
    uid_ = old.st_uid;
    gid_ = old.st_gid;
  }
  // A file that would keep everything it has may already hold the new content: it is then
  // compared first, and written only from where it differs.
  if (keep_owner && mode_ == (old.st_mode & 07777)) {
    old_ =
        Fd(sys().openat(dir_fd_, name_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0));
    struct stat seen;
    if (old_ && sys().fstat(old_.get(), &seen) == 0 && seen.st_dev == old.st_dev &&
        seen.st_ino == old.st_ino && S_ISREG(seen.st_mode)) {
      same_ = true;
      old_size_ = seen.st_size;
    } else {
      old_ = Fd();
    }
  }
  // While the old file is compared nothing needs the new one, which the comparison may
  // find it never needs: making it is left to the first byte that differs.
  return (later && same_) || create();
}

bool FileWriter::create() {
  if (out_) return true;
  // Made with the mode it will have, so most files need no change of mode afterwards; the
  // content it is about to hold was readable by the same people in the old file.
  mode_t first = mode_ & 0777 & ~creation_mask();
  struct stat made;
  if (!make_temp(first) || sys().fstat(out_.get(), &made) != 0) {
    create_failed_ = true;
    return false;
  }
  change_owner_ = keep_owner_ && (made.st_uid != uid_ || made.st_gid != gid_);
  // A file new in its folder gets what the folder gives a new file (its default ACL
  // included), as a file made in place would.
  change_mode_ = exists_ && (change_owner_ || (made.st_mode & 07777) != mode_);
  if (!keep_owner_) {
    uid_ = made.st_uid;
    gid_ = made.st_gid;
  }
  return true;
}

bool FileWriter::make_temp(mode_t mode) {
  // An unnamed file leaves nothing behind, whatever stops the run. It is opened for reading
  // too, so that its content can still move into a named one if naming it fails.
  out_ = Fd(sys().openat(dir_fd_, ".", O_TMPFILE | O_RDWR, mode));
  if (out_ && can_name_unnamed()) {
    unnamed_ = true;
    return true;
  }
  if (!out_ && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
  out_ = Fd();
  return make_named(mode);
}

// Where the file system takes no unnamed file (overlayfs on some kernels, NFS, FUSE): a
// named one, under a name nobody can guess and so nobody can take first.
bool FileWriter::make_named(mode_t mode) {
  for (unsigned n = 0; n < 100 && !out_; n++) {
    temp_ = temp_name();
    signals_hold(dir_fd_, temp_.c_str());
    out_ = Fd(sys().openat(dir_fd_, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode));
    if (!out_) {
      int err = errno;
      signals_release();
      errno = err;
      if (err != EEXIST) break;
    }
  }
  if (!out_) {
    temp_.clear();
    return false;
  }
  return true;
}

// Gives the whole unnamed file a fresh name beside the target: false, with errno set, when
// it cannot be named here at all (no /proc, no right to link by descriptor: ENOENT, EPERM).
bool FileWriter::name_unnamed() {
  for (unsigned n = 0; n < 100; n++) {
    temp_ = temp_name();
    signals_hold(dir_fd_, temp_.c_str());
    if (link_unnamed(out_.get(), dir_fd_, temp_.c_str()) == 0) return true;
    int err = errno;
    signals_release();
    temp_.clear();
    errno = err;
    if (err != EEXIST) return false;
  }
  return false;
}

// The content of the unnamed file moves into a named temporary after all.
bool FileWriter::spill() {
  Fd unnamed = std::move(out_);
  unnamed_ = false;
  struct stat st;
  if (sys().fstat(unnamed.get(), &st) != 0 || !make_named(st.st_mode & 0777)) return false;
  static char piece[COPY_BLOCK];
  for (off_t at = 0;;) {
    ssize_t r = sys().pread(unnamed.get(), piece, sizeof piece, at);
    if (r == 0) return true;
    if (r < 0 || !put(piece, static_cast<std::size_t>(r))) return false;
    at += r;
  }
}

// The new file takes the old one's owner, then its mode (a change of owner would clear the
// set-id bits of a mode set first). 0 or the error.
int FileWriter::settle() {
  if (change_owner_ && sys().fchownat(out_.get(), "", uid_, gid_, AT_EMPTY_PATH) != 0) return errno;
  if (change_mode_ && sys().fchmod(out_.get(), mode_) != 0) return errno;
  return 0;
}

bool FileWriter::expect_size(off_t size) {
  if (same_ && size != old_size_) {
    same_ = false;
    old_ = Fd();
  }
  return same_ || create();
}

bool FileWriter::matches(const char *data, std::size_t n) {
  if (compared_ + static_cast<off_t>(n) > old_size_) return false;
  static char held[COPY_BLOCK];
  while (n > 0) {
    std::size_t piece = std::min(n, sizeof held);
    ssize_t r = sys().pread(old_.get(), held, piece, compared_);
    if (r <= 0 || std::memcmp(held, data, static_cast<std::size_t>(r)) != 0) return false;
    data += r;
    n -= static_cast<std::size_t>(r);
    compared_ += r;
  }
  return true;
}

bool FileWriter::diverge() {
  // What matched so far is the old file's beginning: it goes into the new file first.
  same_ = false;
  if (!create()) return false;
  static char piece[COPY_BLOCK];
  for (off_t at = 0; at < compared_;) {
    off_t left = compared_ - at;
    auto n = static_cast<std::size_t>(std::min(left, static_cast<off_t>(sizeof piece)));
    ssize_t r = sys().pread(old_.get(), piece, n, at);
    if (r <= 0) {
      if (r == 0) errno = EIO;  // the old file shrank meanwhile
      return false;
    }
    if (!put(piece, static_cast<std::size_t>(r))) return false;
    at += r;
  }
  old_ = Fd();
  return true;
}

bool FileWriter::put(const char *data, std::size_t n) {
  while (n > 0) {
    ssize_t w = sys().write(out_.get(), data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

bool FileWriter::write(const char *data, std::size_t n) {
  signals_check();
  if (same_) {
    off_t at = compared_;
    if (matches(data, n)) return true;
    // The piece differs somewhere: the part of it already matched is written by diverge().
    std::size_t done = static_cast<std::size_t>(compared_ - at);
    if (!diverge()) return false;
    data += done;
    n -= done;
  }
  return put(data, n);
}

bool FileWriter::commit() {
  if (!out_ && !same_) {
    errno = EBADF;
    return false;
  }
  if (same_ && compared_ == old_size_) {
    // The file already holds this content, with the owner and mode it would get: it stays
    // as it is, its times included.
    discard();
    return true;
  }
  int err = 0;
  if (same_ && !diverge()) err = errno;
  if (!err) err = settle();
  // Named only once whole, under a fresh name, then put in place in one step.
  if (!err && unnamed_ && !name_unnamed()) {
    err = errno;
    if (err == ENOENT || err == EPERM) err = spill() ? settle() : errno;
  }
  int fd = out_.release();  // none when the new file could not be made
  if (fd >= 0 && sys().close(fd) != 0 && !err) err = errno;
  if (!err && sys().renameat(dir_fd_, temp_.c_str(), dir_fd_, name_.c_str()) != 0) err = errno;
  if (err) {
    discard();
    errno = err;
    return false;
  }
  signals_release();
  temp_.clear();
  name_.clear();
  return true;
}

void FileWriter::discard() {
  int saved = errno;
  out_ = Fd();
  old_ = Fd();
  if (!temp_.empty()) sys().unlinkat(dir_fd_, temp_.c_str(), 0);
  signals_release();
  temp_.clear();
  name_.clear();
  unnamed_ = same_ = create_failed_ = false;
  compared_ = old_size_ = 0;
  errno = saved;
}

// ---------------------------------------------------------------------------------------
// The one directory walk

Walk::Walk(const char *path, const char *wild, const char *not_, Exclude by,
           std::function<void(const File &)> on_excluded)
    : not_(not_), by_(by), on_excluded_(std::move(on_excluded)) {
  if (!path || !wild) return;
  entry_ = first_of(&handle_, path, wild, &error_);
  skip_excluded();
}

Walk::Walk(int parent, const std::string &name, const char *path, const char *wild,
           const char *not_, Exclude by, const struct stat *seen,
           std::function<void(const File &)> on_excluded)
    : not_(not_), by_(by), on_excluded_(std::move(on_excluded)) {
  handle_ = std::make_unique<FHandle>();
  int err = 0;
  Fd folder = seen ? open_listed_folder(parent, name.c_str(), *seen, path, &err)
                   : open_entry(parent, name, path, O_RDONLY | O_DIRECTORY, &err);
  entry_ = first_in(&handle_, std::move(folder), path, wild, err, &error_);
  skip_excluded();
}

Walk::~Walk() {
  file_free(&entry_);
  file_last(&handle_);
}

bool Walk::excluded(File *x) const {
  if (!not_) return false;
  switch (by_) {
    case Exclude::Name:
      return wild_list(x->entry.c_str(), not_) != 0;
    case Exclude::NameAnyCase:
      return wild_ilist(x->entry.c_str(), not_) != 0;
    case Exclude::PathAnyCase:
      return wild_ilist(x->name, not_) != 0;
  }
  return false;
}

void Walk::skip_excluded() {
  while (entry_ && excluded(entry_.get())) {
    if (on_excluded_) on_excluded_(*entry_);
    if (!file_next(entry_.get(), handle_.get())) file_free(&entry_);
  }
}

File *Walk::next() {
  if (!entry_) return nullptr;
  if (!file_next(entry_.get(), handle_.get())) {
    file_free(&entry_);
    return nullptr;
  }
  skip_excluded();
  return entry_.get();
}

}  // namespace installer
