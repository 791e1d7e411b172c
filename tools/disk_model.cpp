// The disk model behind the seam: a tree of entries made from the real disk as the engine
// looks them up, and changed only in memory.
#include "disk_model.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>

namespace installer::tool {

struct DiskModel::Node {
  struct stat st {};
  std::optional<std::string> real;                    // where its original lies on the real disk
  std::optional<std::string> bytes;                   // content written in the model
  std::optional<std::string> from;                    // or: the content of this real file (a copy)
  std::optional<std::string> tmpl;                    // the template its content was made from
  std::string link;                                   // a link's target
  std::map<std::string, std::shared_ptr<Node>> kids;  // looked up or made; null: none there
  bool listed = false;   // every real entry is among kids (a new folder: from the start)
  bool touched = false;  // its owner, mode or content changed here
  bool owned = false;    // its owner was set here, which clears the file's capabilities
  std::weak_ptr<Node> parent;
  std::string name;
};

// A descriptor the model handed out: `content` when the real descriptor reads its bytes.
struct DiskModel::Open {
  std::shared_ptr<Node> node;
  bool writer = false;
  bool content = false;
  bool copied = false;  // a copy_file_range already moved the whole content
};

namespace {

using NodeP = std::shared_ptr<DiskModel::Node>;

mode_t creation_mask() {
  mode_t m = ::umask(022);
  ::umask(m);
  return m;
}

std::string join(const std::string &dir, const std::string &name) {
  return dir == "/" ? "/" + name : dir + "/" + name;
}

std::deque<std::string> components(const std::string &path) {
  std::deque<std::string> out;
  std::size_t at = 0;
  while (at < path.size()) {
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    if (end > at) out.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// Through the seam, so that the static tool reads the files as the static installer does.
std::string user_name(uid_t uid) { return sys().getpwuid(uid).value_or(std::to_string(uid)); }

std::string group_name(gid_t gid) { return sys().getgrgid(gid).value_or(std::to_string(gid)); }

const char *type_of(mode_t m) {
  return S_ISDIR(m) ? "dir" : S_ISLNK(m) ? "link" : S_ISREG(m) ? "file" : "other";
}

Attr real_attr(const struct stat &st) {
  Attr a;
  a.type = type_of(st.st_mode);
  a.mode = st.st_mode & 07777;
  a.owner = user_name(st.st_uid);
  a.group = group_name(st.st_gid);
  if (!S_ISDIR(st.st_mode)) a.size = static_cast<long long>(st.st_size);
  return a;
}

}  // namespace

struct DiskModel::Impl {
  DiskModel &m;
  std::FILE *log;

  static std::string path_of(const NodeP &n) {
    std::string path;
    for (NodeP at = n; at; at = at->parent.lock())
      if (!at->name.empty()) path = "/" + at->name + path;
    return path.empty() ? "/" : path;
  }

  NodeP from_real(const std::string &path, const struct stat &st, const NodeP &parent,
                  const std::string &name) {
    auto n = std::make_shared<Node>();
    n->st = st;
    n->real = path;
    n->parent = parent;
    n->name = name;
    if (S_ISLNK(st.st_mode)) {
      char target[PATH_MAX];
      ssize_t len = ::readlink(path.c_str(), target, sizeof target - 1);
      if (len >= 0) n->link.assign(target, static_cast<std::size_t>(len));
    }
    return n;
  }

  // The entry `name` of the folder `dir`, looked up on the real disk the first time.
  NodeP child(const NodeP &dir, const std::string &name) {
    auto k = dir->kids.find(name);
    if (k != dir->kids.end()) return k->second;
    NodeP n;
    struct stat st;
    if (!dir->listed && dir->real && name.find('/') == std::string::npos &&
        ::lstat(join(*dir->real, name).c_str(), &st) == 0)
      n = from_real(join(*dir->real, name), st, dir, name);
    dir->kids[name] = n;
    return n;
  }

  // Every name in a folder, the real ones merged in once.
  std::vector<std::string> list(const NodeP &dir) {
    if (!dir->listed && dir->real) {
      if (DIR *d = ::opendir(dir->real->c_str())) {
        while (struct dirent *e = ::readdir(d))
          if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            child(dir, e->d_name);
        ::closedir(d);
      }
    }
    dir->listed = true;
    std::vector<std::string> names;
    for (const auto &[name, n] : dir->kids)
      if (n) names.push_back(name);
    return names;
  }

  NodeP cwd() {
    char here[PATH_MAX];
    if (!::getcwd(here, sizeof here)) return m.root_;
    NodeP at = m.root_;
    for (const std::string &c : components(here)) {
      NodeP next = child(at, c);
      if (!next || !S_ISDIR(next->st.st_mode)) return m.root_;
      at = next;
    }
    return at;
  }

  // Where `path` from `base` leads: the folder of its last component, the name, and the
  // entry there (null: none). 0 or an error number.
  int locate(NodeP base, const std::string &path, bool follow_last, NodeP *dir, std::string *name,
             NodeP *found, int hops = 0) {
    if (path.empty()) return ENOENT;
    NodeP at = path[0] == '/' ? m.root_ : base;
    std::deque<std::string> todo = components(path);
    if (todo.empty()) todo.push_back(".");
    while (!todo.empty()) {
      std::string c = todo.front();
      todo.pop_front();
      bool last = todo.empty();
      if (!S_ISDIR(at->st.st_mode)) return ENOTDIR;
      NodeP next;
      if (c == ".")
        next = at;
      else if (c == "..")
        next = at->parent.lock() ? at->parent.lock() : at;
      else
        next = child(at, c);
      if (last) {
        if (next && S_ISLNK(next->st.st_mode) && follow_last) {
          if (++hops > 40) return ELOOP;
          return locate(at, next->link, true, dir, name, found, hops);
        }
        *dir = (c == "." || c == "..") && next->parent.lock() ? next->parent.lock() : at;
        *name = (c == "." || c == "..") ? next->name : c;
        *found = next;
        return 0;
      }
      if (!next) return ENOENT;
      if (S_ISLNK(next->st.st_mode)) {
        if (++hops > 40) return ELOOP;
        std::deque<std::string> more = components(next->link);
        todo.insert(todo.begin(), more.begin(), more.end());
        if (!next->link.empty() && next->link[0] == '/') at = m.root_;
        continue;
      }
      at = next;
    }
    return ENOENT;
  }

  // The folder a descriptor call starts from.
  int base(int dirfd, NodeP *out) {
    if (dirfd == AT_FDCWD) {
      *out = cwd();
      return 0;
    }
    auto f = m.fds_.find(dirfd);
    if (f == m.fds_.end()) return EBADF;
    *out = f->second.node;
    return 0;
  }

  int find(int dirfd, const char *path, bool follow, NodeP *dir, std::string *name, NodeP *found) {
    NodeP from;
    if (int e = base(dirfd, &from)) return e;
    return locate(from, path ? path : "", follow, dir, name, found);
  }

  // The descriptor's entry for a call with AT_EMPTY_PATH and an empty path.
  NodeP by_fd(int fd) {
    auto f = m.fds_.find(fd);
    return f == m.fds_.end() ? nullptr : f->second.node;
  }

  // The entry an *at call names: the descriptor's own with AT_EMPTY_PATH and an empty path,
  // else the path from the descriptor. 0, or the error the call fails with.
  int at_entry(int dirfd, const char *path, int flags, NodeP *n) {
    if (path && !*path && (flags & AT_EMPTY_PATH)) {
      *n = by_fd(dirfd);
      return *n ? 0 : EBADF;
    }
    NodeP dir;
    std::string name;
    if (int e = find(dirfd, path, !(flags & AT_SYMLINK_NOFOLLOW), &dir, &name, n)) return e;
    return *n ? 0 : ENOENT;
  }

  // The real file system an entry lies on: that of the nearest real entry at or above it.
  static bool fs_of(const NodeP &n, struct statvfs *fs) {
    for (NodeP at = n; at; at = at->parent.lock())
      if (at->real) return ::statvfs(at->real->c_str(), fs) == 0;
    return false;
  }

  // 0, or why the entries of a folder cannot change: a read-only mount, no right to.
  static int may_change(const NodeP &dir) {
    struct statvfs fs;
    if (fs_of(dir, &fs) && (fs.f_flag & ST_RDONLY)) return EROFS;
    uid_t uid = ::geteuid();
    if (uid == 0) return 0;
    mode_t mode = dir->st.st_mode;
    bool may;
    if (dir->st.st_uid == uid)
      may = (mode & S_IWUSR) && (mode & S_IXUSR);
    else if (dir->st.st_gid == ::getegid())
      may = (mode & S_IWGRP) && (mode & S_IXGRP);
    else
      may = (mode & S_IWOTH) && (mode & S_IXOTH);
    return may ? 0 : EACCES;
  }

  // Whether `bytes` more fit on the file system the entry lies on.
  static bool room(const NodeP &n, std::size_t bytes) {
    struct statvfs fs;
    return !fs_of(n, &fs) || fs.f_bavail * fs.f_frsize >= bytes;
  }

  // 0, or why the entry's owner or mode cannot change.
  static int may_set(const NodeP &n) {
    struct statvfs fs;
    if (fs_of(n, &fs) && (fs.f_flag & ST_RDONLY)) return EROFS;
    return ::geteuid() == 0 || n->st.st_uid == ::geteuid() ? 0 : EPERM;
  }

  // Records that the current command acts on `path`; `existed`: whether something was
  // there before this change.
  DiskModel::Rec &touch(const std::string &path, bool existed) {
    m.acted_[path] = {m.line_, m.command_};
    auto r = m.now_.find(path);
    if (r != m.now_.end()) return r->second;
    m.order_.push_back(path);
    Rec &rec = m.now_[path];
    rec.existed = existed;
    return rec;
  }

  NodeP make(const NodeP &dir, const std::string &name, mode_t mode) {
    auto n = std::make_shared<Node>();
    n->st.st_mode = mode;
    n->st.st_uid = ::geteuid();
    n->st.st_gid = ::getegid();
    if (dir->st.st_mode & S_ISGID) {
      n->st.st_gid = dir->st.st_gid;
      if (S_ISDIR(mode)) n->st.st_mode |= S_ISGID;
    }
    n->st.st_nlink = 1;
    n->st.st_dev = 0;
    n->st.st_ino = m.next_ino_++;
    n->parent = dir;
    n->name = name;
    n->touched = true;
    if (S_ISDIR(mode)) n->listed = true;
    if (S_ISREG(mode)) n->bytes = "";
    dir->kids[name] = n;
    return n;
  }

  static off_t size(const Node &n) {
    if (n.bytes) return static_cast<off_t>(n.bytes->size());
    return n.st.st_size;
  }

  // A real descriptor to hand out: the content to read, or a stand-in.
  // A folder to be listed needs a real folder's descriptor for the directory stream; every
  // other stand-in is an empty file in memory, so that no call on it can reach the disk.
  int descriptor(const Node &n, bool content, bool listing) {
    if (listing) return ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!content) return ::memfd_create("plan", MFD_CLOEXEC);
    if (n.bytes) {
      int fd = ::memfd_create("plan", MFD_CLOEXEC);
      if (fd < 0) return -1;
      const char *p = n.bytes->data();
      std::size_t left = n.bytes->size();
      while (left > 0) {
        ssize_t w = ::write(fd, p, left);
        if (w <= 0) {
          ::close(fd);
          return -1;
        }
        p += w;
        left -= static_cast<std::size_t>(w);
      }
      ::lseek(fd, 0, SEEK_SET);
      return fd;
    }
    const std::string &src = n.from ? *n.from : *n.real;
    return ::open(src.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  }

  int openat(int dirfd, const char *path, int flags, mode_t mode) {
    if ((flags & O_TMPFILE) == O_TMPFILE) return fail(EOPNOTSUPP);
    NodeP dir, n;
    std::string name;
    if (int e = find(dirfd, path, !(flags & O_NOFOLLOW), &dir, &name, &n)) return fail(e);
    int access = flags & O_ACCMODE;
    bool writer = !(flags & O_PATH) && access != O_RDONLY;
    if (!n) {
      if (!(flags & O_CREAT)) return fail(ENOENT);
      if (int e = may_change(dir)) return fail(e);
      n = make(dir, name, S_IFREG | (mode & 07777 & ~creation_mask()));
      touch(join(path_of(dir), name), false).replaced = true;
    } else {
      if ((flags & O_CREAT) && (flags & O_EXCL)) return fail(EEXIST);
      if (S_ISLNK(n->st.st_mode) && !(flags & O_PATH)) return fail(ELOOP);
      if ((flags & O_DIRECTORY) && !S_ISDIR(n->st.st_mode)) return fail(ENOTDIR);
      if (S_ISDIR(n->st.st_mode) && writer) return fail(EISDIR);
      if (writer && (flags & O_TRUNC) && S_ISREG(n->st.st_mode)) {
        n->bytes = "";
        n->from.reset();
        n->touched = true;
        touch(path_of(n), true).replaced = true;
      }
    }
    bool content = !(flags & O_PATH) && access == O_RDONLY && S_ISREG(n->st.st_mode);
    bool listing = !(flags & O_PATH) && S_ISDIR(n->st.st_mode);
    int fd = descriptor(*n, content, listing);
    if (fd < 0) return -1;
    m.fds_[fd] = Open{n, writer, content, false};
    return fd;
  }

  static int fail(int e) {
    errno = e;
    return -1;
  }

  ssize_t write(int fd, const void *buf, std::size_t count) {
    auto f = m.fds_.find(fd);
    if (f == m.fds_.end()) return ::write(fd, buf, count);
    if (!f->second.writer) return fail(EBADF);
    Node &n = *f->second.node;
    if (!n.bytes) n.bytes = "";
    if (!room(f->second.node, n.bytes->size() + count)) return fail(ENOSPC);
    n.from.reset();
    n.tmpl.reset();
    n.bytes->append(static_cast<const char *>(buf), count);
    n.touched = true;
    return static_cast<ssize_t>(count);
  }

  ssize_t read(int fd, void *buf, std::size_t count) {
    auto f = m.fds_.find(fd);
    if (f == m.fds_.end() || f->second.content) return ::read(fd, buf, count);
    return fail(S_ISDIR(f->second.node->st.st_mode) ? EISDIR : EBADF);
  }

  ssize_t pread(int fd, void *buf, std::size_t count, off_t offset) {
    auto f = m.fds_.find(fd);
    if (f == m.fds_.end() || f->second.content) return ::pread(fd, buf, count, offset);
    if (!f->second.node->bytes) return fail(EBADF);
    const std::string &b = *f->second.node->bytes;
    if (offset >= static_cast<off_t>(b.size())) return 0;
    std::size_t n = std::min(count, b.size() - static_cast<std::size_t>(offset));
    std::memcpy(buf, b.data() + offset, n);
    return static_cast<ssize_t>(n);
  }

  // A copy of a whole real file is kept as a reference to it, not as its bytes.
  ssize_t copy_file_range(int in, int out, std::size_t) {
    auto i = m.fds_.find(in), o = m.fds_.find(out);
    if (i == m.fds_.end() || o == m.fds_.end() || !o->second.writer) return fail(EBADF);
    Node &src = *i->second.node, &dst = *o->second.node;
    if (o->second.copied) return 0;
    if (src.bytes || !i->second.content || (dst.bytes && !dst.bytes->empty())) return fail(EXDEV);
    if (!room(o->second.node, static_cast<std::size_t>(src.st.st_size))) return fail(ENOSPC);
    dst.bytes.reset();
    dst.tmpl.reset();
    dst.from = src.from ? *src.from : *src.real;
    dst.st.st_size = src.st.st_size;
    dst.touched = true;
    o->second.copied = true;
    return static_cast<ssize_t>(src.st.st_size);
  }

  void stat_of(const Node &n, struct stat *st) {
    *st = n.st;
    st->st_size = size(n);
  }

  int fstat(int fd, struct stat *st) {
    NodeP n = by_fd(fd);
    if (!n) return ::fstat(fd, st);
    stat_of(*n, st);
    return 0;
  }

  int fstatat(int dirfd, const char *path, struct stat *st, int flags) {
    NodeP n;
    if (int e = at_entry(dirfd, path, flags, &n)) return fail(e);
    stat_of(*n, st);
    return 0;
  }

  int mkdirat(int dirfd, const char *path, mode_t mode) {
    NodeP dir, n;
    std::string name;
    if (int e = find(dirfd, path, false, &dir, &name, &n)) return fail(e);
    if (n) return fail(EEXIST);
    if (int e = may_change(dir)) return fail(e);
    make(dir, name, S_IFDIR | (mode & 07777 & ~creation_mask()));
    touch(join(path_of(dir), name), false).replaced = true;
    return 0;
  }

  int unlinkat(int dirfd, const char *path, int flags) {
    NodeP dir, n;
    std::string name;
    if (int e = find(dirfd, path, false, &dir, &name, &n)) return fail(e);
    if (!n) return fail(ENOENT);
    if (n == m.root_ || name == "." || name == "..") return fail(EBUSY);
    bool is_dir = S_ISDIR(n->st.st_mode);
    if ((flags & AT_REMOVEDIR) && !is_dir) return fail(ENOTDIR);
    if (!(flags & AT_REMOVEDIR) && is_dir) return fail(EISDIR);
    if (is_dir && !list(n).empty()) return fail(ENOTEMPTY);
    if (int e = may_change(dir)) return fail(e);
    std::string where = path_of(n);
    dir->kids[name] = nullptr;
    touch(where, true);
    return 0;
  }

  int renameat(int fromfd, const char *from, int tofd, const char *to) {
    NodeP adir, a, bdir, b;
    std::string aname, bname;
    if (int e = find(fromfd, from, false, &adir, &aname, &a)) return fail(e);
    if (!a) return fail(ENOENT);
    if (int e = find(tofd, to, false, &bdir, &bname, &b)) return fail(e);
    if (a == b) return 0;
    bool is_dir = S_ISDIR(a->st.st_mode);
    if (b) {
      if (is_dir && !S_ISDIR(b->st.st_mode)) return fail(ENOTDIR);
      if (!is_dir && S_ISDIR(b->st.st_mode)) return fail(EISDIR);
      if (S_ISDIR(b->st.st_mode) && !list(b).empty()) return fail(ENOTEMPTY);
    }
    for (NodeP up = bdir; up; up = up->parent.lock())
      if (up == a) return fail(EINVAL);
    if (int e = may_change(adir)) return fail(e);
    if (int e = may_change(bdir)) return fail(e);
    std::string old_path = path_of(a);
    adir->kids[aname] = nullptr;
    bdir->kids[bname] = a;
    a->parent = bdir;
    a->name = bname;
    touch(old_path, true);
    touch(path_of(a), b != nullptr).replaced = true;
    return 0;
  }

  int chown_node(const NodeP &n, uid_t uid, gid_t gid) {
    if (int e = may_set(n)) return fail(e);
    if (::geteuid() != 0 && uid != static_cast<uid_t>(-1) && uid != ::geteuid()) return fail(EPERM);
    if (uid != static_cast<uid_t>(-1)) n->st.st_uid = uid;
    if (gid != static_cast<gid_t>(-1)) n->st.st_gid = gid;
    if (!S_ISDIR(n->st.st_mode) && !S_ISLNK(n->st.st_mode)) {
      n->st.st_mode &= ~static_cast<mode_t>(S_ISUID);
      if (n->st.st_mode & S_IXGRP) n->st.st_mode &= ~static_cast<mode_t>(S_ISGID);
    }
    n->touched = true;
    n->owned = true;
    touch(path_of(n), true).owner = user_name(n->st.st_uid) + ":" + group_name(n->st.st_gid);
    return 0;
  }

  int fchownat(int dirfd, const char *path, uid_t uid, gid_t gid, int flags) {
    NodeP n;
    if (int e = at_entry(dirfd, path, flags, &n)) return fail(e);
    return chown_node(n, uid, gid);
  }

  int fchmod(int fd, mode_t mode) {
    NodeP n = by_fd(fd);
    if (!n) return fail(EBADF);
    if (S_ISLNK(n->st.st_mode)) return fail(EOPNOTSUPP);
    if (int e = may_set(n)) return fail(e);
    n->st.st_mode = (n->st.st_mode & S_IFMT) | (mode & 07777);
    n->touched = true;
    touch(path_of(n), true).mode = mode & 07777;
    return 0;
  }

  ssize_t readlinkat(int dirfd, const char *path, char *buf, std::size_t size) {
    NodeP dir, n;
    std::string name;
    if (path && !*path) {
      n = by_fd(dirfd);
      if (!n) return fail(EBADF);
    } else if (int e = find(dirfd, path, false, &dir, &name, &n)) {
      return fail(e);
    }
    if (!n) return fail(ENOENT);
    if (!S_ISLNK(n->st.st_mode)) return fail(EINVAL);
    std::size_t len = std::min(size, n->link.size());
    std::memcpy(buf, n->link.data(), len);
    return static_cast<ssize_t>(len);
  }

  DIR *fdopendir(int fd) {
    NodeP n = by_fd(fd);
    if (!n) return ::fdopendir(fd);
    if (!S_ISDIR(n->st.st_mode)) {
      errno = ENOTDIR;
      return nullptr;
    }
    std::vector<std::string> names = list(n);
    DIR *d = ::fdopendir(fd);
    if (d) m.dirs_[d] = {std::move(names), 0};
    return d;
  }

  struct dirent *readdir(DIR *d) {
    auto l = m.dirs_.find(d);
    if (l == m.dirs_.end()) return ::readdir(d);
    auto &[names, at] = l->second;
    if (at >= names.size()) return nullptr;
    static struct dirent entry;
    entry = {};
    const std::string &name = names[at++];
    std::size_t len = std::min(name.size(), sizeof entry.d_name - 1);
    std::memcpy(entry.d_name, name.data(), len);
    entry.d_name[len] = '\0';
    entry.d_type = DT_UNKNOWN;
    entry.d_ino = 1;
    return &entry;
  }

  int closedir(DIR *d) {
    if (m.dirs_.erase(d)) m.fds_.erase(::dirfd(d));
    return ::closedir(d);
  }

  int close(int fd) {
    m.fds_.erase(fd);
    return ::close(fd);
  }

  int fclose(std::FILE *f) {
    if (f == log) return 0;
    m.fds_.erase(::fileno(f));
    return std::fclose(f);
  }

  // A log line: "<time> [<pid>] <level>: <text>"; the last error is kept.
  std::size_t fwrite(const void *buf, std::size_t size, std::size_t n, std::FILE *f) {
    if (f != log) return std::fwrite(buf, size, n, f);
    std::string line(static_cast<const char *>(buf), size * n);
    std::size_t at = line.find("] Error: ");
    if (at != std::string::npos) {
      m.error_ = line.substr(at + 9);
      while (!m.error_.empty() && m.error_.back() == '\n') m.error_.pop_back();
    }
    return n;
  }

  std::FILE *fopen(const char *path, const char *mode) {
    if (!mode || mode[0] != 'r' || std::strchr(mode, '+')) {
      errno = EROFS;
      return nullptr;
    }
    int fd = openat(AT_FDCWD, path, O_RDONLY | O_NONBLOCK, 0);
    if (fd < 0) return nullptr;
    std::FILE *f = ::fdopen(fd, "r");
    if (!f) close(fd);
    return f;
  }

  int remove(const char *path) {
    if (unlinkat(AT_FDCWD, path, 0) == 0) return 0;
    return errno == EISDIR ? unlinkat(AT_FDCWD, path, AT_REMOVEDIR) : -1;
  }

  ssize_t capability_size(int dir, const char *name) {
    NodeP n;
    if (int e = at_entry(dir, name, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, &n)) return fail(e);
    if (!n->real || n->bytes || n->from || n->owned) return fail(ENODATA);
    return ::lgetxattr(n->real->c_str(), "security.capability", nullptr, 0);
  }

  // ------------------------------------------------------------------------- net effect

  Attr attr(const Node &n) {
    Attr a = real_attr(n.st);
    if (!S_ISDIR(n.st.st_mode)) a.size = static_cast<long long>(size(n));
    a.source = n.from ? n.from : n.tmpl;
    return a;
  }

  void removed(const std::string &path, const struct stat &st, std::vector<Change> *out) {
    Change c{path, '-', real_attr(st), std::nullopt, 0, {}};
    acted(&c);
    out->push_back(std::move(c));
    if (!S_ISDIR(st.st_mode)) return;
    if (DIR *d = ::opendir(path.c_str())) {
      std::vector<std::string> names;
      while (struct dirent *e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
          names.emplace_back(e->d_name);
      ::closedir(d);
      for (const std::string &name : names) {
        struct stat kid;
        if (::lstat(join(path, name).c_str(), &kid) == 0) removed(join(path, name), kid, out);
      }
    }
  }

  // The command that last acted on a path, or on the nearest folder above it.
  void acted(Change *c) {
    for (std::string p = c->path;;) {
      auto a = m.acted_.find(p);
      if (a != m.acted_.end()) {
        c->line = a->second.first;
        c->command = a->second.second;
        return;
      }
      std::size_t slash = p.rfind('/');
      if (slash == std::string::npos || p == "/") return;
      p = slash == 0 ? "/" : p.substr(0, slash);
    }
  }

  // Whether two real files hold the same bytes.
  static bool same_bytes(const std::string &a, const std::string &b) {
    if (a == b) return true;
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    if (!x || !y) return false;
    std::istreambuf_iterator<char> end;
    return std::equal(std::istreambuf_iterator<char>(x), end, std::istreambuf_iterator<char>(y),
                      end);
  }

  // Whether the entry differs from the real one at `path`: its kind, owner, mode or bytes.
  bool differs(const Node &n, const std::string &path, const struct stat &real) {
    if ((n.st.st_mode & (S_IFMT | 07777)) != (real.st_mode & (S_IFMT | 07777)) ||
        n.st.st_uid != real.st_uid || n.st.st_gid != real.st_gid)
      return true;
    if (S_ISLNK(real.st_mode)) {
      char target[PATH_MAX];
      ssize_t len = ::readlink(path.c_str(), target, sizeof target);
      return len < 0 || n.link != std::string(target, static_cast<std::size_t>(len));
    }
    if (!S_ISREG(real.st_mode)) return n.real != path;
    if (size(n) != real.st_size) return true;
    if (n.bytes) {
      std::ifstream in(path, std::ios::binary);
      std::string now((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      return now != *n.bytes;
    }
    return !same_bytes(n.from ? *n.from : *n.real, path);
  }

  // Compares the model below `dir` with the real disk; `whole` when the folder is not the
  // real one at this path, so that every entry in it counts.
  void compare(const NodeP &dir, const std::string &path, bool whole, std::vector<Change> *out) {
    std::vector<std::string> names;
    if (whole) {
      names = list(dir);
      for (const auto &[name, n] : dir->kids)
        if (!n) names.push_back(name);
    } else {
      for (const auto &[name, n] : dir->kids) names.push_back(name);
    }
    for (const std::string &name : names) {
      NodeP n = dir->kids[name];
      std::string p = join(path, name);
      struct stat real;
      bool there = ::lstat(p.c_str(), &real) == 0;
      if (!n) {
        if (there) removed(p, real, out);
        continue;
      }
      bool same = n->real && *n->real == p;
      if (!there) {
        Change c{p, '+', std::nullopt, attr(*n), 0, {}};
        acted(&c);
        out->push_back(std::move(c));
      } else if ((!same || n->touched) && differs(*n, p, real)) {
        Change c{p, '~', real_attr(real), attr(*n), 0, {}};
        acted(&c);
        out->push_back(std::move(c));
      }
      if (S_ISDIR(n->st.st_mode)) compare(n, p, whole || !same, out);
    }
  }
};

DiskModel::DiskModel() : root_(std::make_shared<Node>()) {
  if (::lstat("/", &root_->st) != 0) root_->st.st_mode = S_IFDIR | 0755;
  root_->real = "/";
}

DiskModel::~DiskModel() {
  // Descriptors still listed may already be closed by a stream: only the folders close.
  for (auto &[d, names] : dirs_) ::closedir(d);
}

void DiskModel::begin(int line, const std::string &command) {
  line_ = line;
  command_ = command;
  order_.clear();
  now_.clear();
  error_.clear();
}

std::vector<Touch> DiskModel::touched() const {
  std::vector<Touch> list;
  Impl impl{const_cast<DiskModel &>(*this), nullptr};
  for (const std::string &path : order_) {
    const Rec &r = now_.at(path);
    NodeP dir, n;
    std::string name;
    impl.locate(root_, path, false, &dir, &name, &n);
    Touch t;
    t.path = path;
    if (!r.existed && n)
      t.op = '+';
    else if (r.existed && !n)
      t.op = '-';
    else if (r.existed && r.replaced)
      t.op = '~';
    else if (!n)
      continue;
    t.dir = n ? S_ISDIR(n->st.st_mode) : false;
    if (n) t.source = n->from;
    t.mode = r.mode;
    t.owner = r.owner;
    list.push_back(std::move(t));
  }
  return list;
}

void DiskModel::made_from(const std::string &path, const std::string &source) {
  Impl impl{*this, nullptr};
  NodeP dir, n;
  std::string name;
  if (impl.locate(impl.cwd(), path, true, &dir, &name, &n) == 0 && n && S_ISREG(n->st.st_mode))
    n->tmpl = source;
}

std::vector<Change> DiskModel::net_effect() {
  std::vector<Change> out;
  Impl impl{*this, nullptr};
  impl.compare(root_, "/", false, &out);
  std::sort(out.begin(), out.end(),
            [](const Change &a, const Change &b) { return a.path < b.path; });
  return out;
}

// Every call that can change the disk, or that takes a descriptor or a stream the model
// handed out, is answered here; the rest only read (the streams' reads on real content, the
// working folder, the user and group databases, random bytes) and stay the real ones. A call
// added to the seam that writes must be answered here too.
Sys DiskModel::calls(std::FILE *log) {
  auto impl = std::make_shared<Impl>(Impl{*this, log});
  Sys s = sys();
  s.openat = [impl](int d, const char *p, int f, mode_t m) { return impl->openat(d, p, f, m); };
  s.open_nolinks = [](int, const char *, int) {
    errno = ENOSYS;  // the engine then walks one component at a time, through the model
    return -1;
  };
  s.close = [impl](int fd) { return impl->close(fd); };
  s.read = [impl](int fd, void *b, std::size_t n) { return impl->read(fd, b, n); };
  s.write = [impl](int fd, const void *b, std::size_t n) { return impl->write(fd, b, n); };
  s.copy_file_range = [impl](int in, int out, std::size_t n) {
    return impl->copy_file_range(in, out, n);
  };
  s.fstat = [impl](int fd, struct stat *st) { return impl->fstat(fd, st); };
  s.fstatat = [impl](int d, const char *p, struct stat *st, int f) {
    return impl->fstatat(d, p, st, f);
  };
  s.mkdirat = [impl](int d, const char *p, mode_t m) { return impl->mkdirat(d, p, m); };
  s.unlinkat = [impl](int d, const char *p, int f) { return impl->unlinkat(d, p, f); };
  s.renameat = [impl](int a, const char *from, int b, const char *to) {
    return impl->renameat(a, from, b, to);
  };
  s.fchownat = [impl](int d, const char *p, uid_t u, gid_t g, int f) {
    return impl->fchownat(d, p, u, g, f);
  };
  s.fchmod = [impl](int fd, mode_t m) { return impl->fchmod(fd, m); };
  s.readlinkat = [impl](int d, const char *p, char *b, std::size_t n) {
    return impl->readlinkat(d, p, b, n);
  };
  s.fdopendir = [impl](int fd) { return impl->fdopendir(fd); };
  s.readdir = [impl](DIR *d) { return impl->readdir(d); };
  s.closedir = [impl](DIR *d) { return impl->closedir(d); };
  s.stat = [impl](const char *p, struct stat *st) { return impl->fstatat(AT_FDCWD, p, st, 0); };
  s.rename = [impl](const char *from, const char *to) {
    return impl->renameat(AT_FDCWD, from, AT_FDCWD, to);
  };
  s.remove = [impl](const char *p) { return impl->remove(p); };
  s.fopen = [impl](const char *p, const char *m) { return impl->fopen(p, m); };
  s.fwrite = [impl](const void *b, std::size_t size, std::size_t n, std::FILE *f) {
    return impl->fwrite(b, size, n, f);
  };
  s.pread = [impl](int fd, void *b, std::size_t n, off_t at) { return impl->pread(fd, b, n, at); };
  // The model makes no unnamed files (O_TMPFILE is refused), so there is none to name.
  s.linkat = [](int, const char *, int, const char *, int) {
    errno = EPERM;
    return -1;
  };
  // Calls on path descriptors: the mode as fchmod sets it, capabilities as the disk has them.
  s.fchmod_path = [impl](int fd, mode_t m) { return impl->fchmod(fd, m); };
  s.capability_size = [impl](int dir, const char *name) {
    return impl->capability_size(dir, name);
  };
  s.fflush = [log](std::FILE *f) { return f == log ? 0 : std::fflush(f); };
  s.fclose = [impl](std::FILE *f) { return impl->fclose(f); };
  return s;
}

}  // namespace installer::tool
