// Link-safe path resolution, step by step: split the path, take the folders in one call
// where no link is on the way, otherwise enter one component at a time, and follow a link
// only once it and every folder above it have been checked on the descriptors held.
#include "resolve.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "log.h"
#include "sys.h"

namespace installer {

bool link_owner_trusted(const struct stat &link) {
  return (link.st_uid == 0 || link.st_uid == ::geteuid()) && link.st_nlink == 1;
}

bool folder_sealed(const struct stat &folder) {
  if (folder.st_uid != 0 && folder.st_uid != ::geteuid()) return false;
  return (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (folder.st_mode & S_ISVTX) != 0;
}

bool folders_sealed(int dir) {
  struct stat here;
  if (sys().fstatat(dir, ".", &here, 0) != 0) return false;
  Fd held;
  int cur = dir;
  // ".." from the descriptor is where the folder stands now, whatever path reached it. A
  // path of at most 255 characters cannot be deeper than this.
  for (unsigned depth = 0; depth < PATH_SIZE; depth++) {
    if (!folder_sealed(here)) return false;
    Fd up(sys().openat(cur, "..", O_PATH | O_DIRECTORY, 0));
    struct stat above;
    if (!up || sys().fstat(up.get(), &above) != 0) return false;
    if (above.st_dev == here.st_dev && above.st_ino == here.st_ino) return true;  // the root
    held = std::move(up);
    cur = held.get();
    here = above;
  }
  return false;  // not reached: the walk up ends at the root long before
}

bool link_trusted(int dir, const struct stat &link) {
  return S_ISLNK(link.st_mode) && link_owner_trusted(link) && folders_sealed(dir);
}

std::deque<std::string> path_components(const char *path) {
  std::deque<std::string> out;
  const char *p = path;
  while (*p) {
    while (*p == '/') p++;
    const char *end = p;
    while (*end && *end != '/') end++;
    if (end > p && !(end - p == 1 && *p == '.')) out.emplace_back(p, end);
    p = end;
  }
  return out;
}

void refuse_link(int dir, const char *shown, const struct stat &link, const char *on_way_to) {
  char why[LINE_SIZE];
  if (link.st_uid != 0 && link.st_uid != ::geteuid())
    snprintf(why, LINE_SIZE, "owned by uid %d", static_cast<int>(link.st_uid));
  else if (link.st_nlink != 1)
    snprintf(why, LINE_SIZE, "it has %d names", static_cast<int>(link.st_nlink));
  else if (!folders_sealed(dir))
    snprintf(why, LINE_SIZE, "a folder on its way can be changed by another user");
  else
    return;
  if (on_way_to)
    emsg("Not following link '%s' on the way to '%s', %s", shown, on_way_to, why);
  else
    emsg("Not following link '%s', %s", shown, why);
}

namespace {

// One resolution of one path: the components still to take, the folder reached so far,
// and the links passed through.
class Resolver {
 public:
  Resolver(int base, const char *path, bool follow_last)
      : path_(path), follow_last_(follow_last), todo_(path_components(path)), cur_(base) {}

  bool run(Place *out, int *err);

 private:
  bool fail(int error) {
    err_ = error;
    return false;
  }
  bool restart_at_root();
  bool take_folders_at_once(int base);
  bool reached(std::string comp, Place *out) {
    out->dir = std::move(cur_);
    out->name = std::move(comp);
    return true;
  }
  enum class Step { Done, Next, Failed };
  Step failed(int error) {
    fail(error);
    return Step::Failed;
  }
  Step done(std::string comp, Place *out) {
    reached(std::move(comp), out);
    return Step::Done;
  }
  Step last_without_descriptor(std::string &comp, Place *out);
  Step enter(std::string &comp, bool last, Place *out);
  bool follow(const Fd &link);

  const char *path_;
  bool follow_last_;
  std::deque<std::string> todo_;
  Cursor cur_;
  int hops_ = 0;
  int err_ = 0;
};

bool Resolver::restart_at_root() {
  cur_.own(Fd(sys().openat(AT_FDCWD, "/", O_PATH | O_DIRECTORY, 0)));
  return cur_.get() >= 0 || fail(errno);
}

// Where the kernel can, the folders of a path with no link at all are taken in one call.
// False only for a failure that settles the matter (no such folder, no right to enter).
bool Resolver::take_folders_at_once(int base) {
  if (todo_.size() < 2 || std::strstr(path_, "..")) return true;
  std::string parent = path_[0] == '/' ? "" : ".";
  for (std::size_t i = 0; i + 1 < todo_.size(); i++) parent += "/" + todo_[i];
  Fd fd(sys().open_nolinks(base, parent.c_str(), O_PATH | O_DIRECTORY));
  if (fd) {
    cur_.own(std::move(fd));
    todo_.erase(todo_.begin(), todo_.end() - 1);
    return true;
  }
  if (errno == ENOENT || errno == ENOTDIR || errno == EACCES) return fail(errno);
  // ELOOP (a link on the way) or ENOSYS (an older kernel): one component at a time, from
  // where the path starts.
  if (path_[0] == '/') return restart_at_root();
  return true;
}

// The last component needs a descriptor only if it is a link to follow.
Resolver::Step Resolver::last_without_descriptor(std::string &comp, Place *out) {
  struct stat st;
  if (sys().fstatat(cur_.get(), comp.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT) return failed(errno);
    out->last.emplace();
    return done(std::move(comp), out);
  }
  if (!S_ISLNK(st.st_mode) || !link_trusted(cur_.get(), st)) {
    out->last.emplace(st);
    return done(std::move(comp), out);
  }
  return Step::Next;
}

// Takes one component: a folder is entered, a trusted link followed.
Resolver::Step Resolver::enter(std::string &comp, bool last, Place *out) {
  Fd next(sys().openat(cur_.get(), comp.c_str(), O_PATH | O_NOFOLLOW, 0));
  struct stat st;
  if (next && sys().fstat(next.get(), &st) != 0) next = Fd();
  if (!next) {
    if (last && errno == ENOENT) return done(std::move(comp), out);
    return failed(errno);
  }
  if (S_ISLNK(st.st_mode)) {
    if (link_trusted(cur_.get(), st)) return follow(next) ? Step::Next : Step::Failed;
    if (last) return done(std::move(comp), out);
    refuse_link(cur_.get(), comp.c_str(), st, path_);
    return failed(ELOOP);
  }
  if (last) return done(std::move(comp), out);
  if (!S_ISDIR(st.st_mode)) return failed(ENOTDIR);
  cur_.own(std::move(next));
  return Step::Next;
}

// The link's target takes the link's place among the components still to take. It is read
// from the descriptor that was checked, so it is that link's target and no other's.
bool Resolver::follow(const Fd &link) {
  char target[PATH_MAX];
  ssize_t n = sys().readlinkat(link.get(), "", target, sizeof target - 1);
  if (n < 0) return fail(errno);
  if (++hops_ > MAX_LINK_HOPS) return fail(ELOOP);
  target[n] = '\0';
  std::deque<std::string> more = path_components(target);
  todo_.insert(todo_.begin(), more.begin(), more.end());
  return target[0] != '/' || restart_at_root();
}

bool Resolver::run(Place *out, int *err) {
  int base = cur_.get();
  bool ok = *path_ != '\0' || fail(ENOENT);
  ok = ok && take_folders_at_once(base);
  if (ok && path_[0] == '/' && cur_.get() == base) ok = restart_at_root();
  while (ok && !todo_.empty()) {
    std::string comp = std::move(todo_.front());
    todo_.pop_front();
    bool last = todo_.empty();
    if (last && !follow_last_) return reached(std::move(comp), out);
    Step step = last ? last_without_descriptor(comp, out) : Step::Next;
    if (step == Step::Next) step = enter(comp, last, out);
    if (step == Step::Done) return true;
    ok = step == Step::Next;
  }
  if (!ok) {
    *err = err_;
    return false;
  }
  // The path (or a link's target) named the folder reached itself: "/", "." or a link.
  return reached(".", out);
}

}  // namespace

bool locate(int base, const char *path, bool follow_last, Place *out, int *err) {
  // What the callers report after a success must not change because of the calls made on
  // the way.
  int saved = errno;
  Resolver r(base, path, follow_last);
  bool found = r.run(out, err);
  if (found) errno = saved;
  return found;
}

Fd open_listed_folder(int dir, const char *name, const struct stat &seen, const char *shown,
                      int *err) {
  Fd fd(sys().openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0));
  struct stat st;
  if (fd && sys().fstat(fd.get(), &st) != 0) {
    *err = errno;
    return Fd();
  }
  bool same = fd && st.st_dev == seen.st_dev && st.st_ino == seen.st_ino;
  if (fd && same) return fd;
  if (!fd && errno != ELOOP && errno != ENOTDIR) {
    *err = errno;
    return Fd();
  }
  emsg("Not entering '%s', it was replaced after it was listed", shown);
  *err = EAGAIN;
  return Fd();
}

}  // namespace installer
