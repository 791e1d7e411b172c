// Users and groups from the files themselves. This sits behind the system-call seam (it is
// what the static build's sys().getpwnam and sys().getgrnam call), so it calls the C
// library directly.
#include "userfiles.h"

#include <grp.h>
#include <pwd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace installer {

namespace {

struct FileCloser {
  void operator()(std::FILE *f) const { std::fclose(f); }
};

template <class Entry>
using NextEntry = int (*)(std::FILE *, Entry *, char *, std::size_t, Entry **);

// A line longer than the buffer gives ERANGE and leaves the stream at the line's start, so
// the buffer doubles and the same line is read again. The cap only stops a runaway.
constexpr std::size_t FIRST_BUFFER = 1024;
constexpr std::size_t MAX_BUFFER = std::size_t{1} << 26;

// Calls `match` on each entry of the file at `path` in order until it says it is done.
template <class Entry, class Match>
void scan(const char *path, NextEntry<Entry> next, Match match) {
  int saved = errno;
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path, "re"));
  std::vector<char> buf(FIRST_BUFFER);
  Entry entry{};
  Entry *got = nullptr;
  while (f) {
    int err = next(f.get(), &entry, buf.data(), buf.size(), &got);
    if (err == ERANGE && buf.size() < MAX_BUFFER) {
      buf.resize(buf.size() * 2);
      continue;
    }
    if (err || !got) break;  // ENOENT at the end; a read error ends the search too
    if (match(*got)) break;
  }
  errno = saved;
}

template <class Entry, class Id>
std::optional<Id> find(const char *path, const char *name, NextEntry<Entry> next,
                       char *Entry::*name_of, Id Entry::*id_of) {
  if (!path || !name || name[0] == '+' || name[0] == '-') return std::nullopt;
  std::optional<Id> found;
  scan<Entry>(path, next, [&](const Entry &e) {
    if (std::strcmp(e.*name_of, name) != 0) return false;
    found = e.*id_of;
    return true;
  });
  return found;
}

template <class Entry, class Id>
std::optional<std::string> find_name(const char *path, Id id, NextEntry<Entry> next,
                                     char *Entry::*name_of, Id Entry::*id_of) {
  if (!path) return std::nullopt;
  std::optional<std::string> found;
  scan<Entry>(path, next, [&](const Entry &e) {
    const char *name = e.*name_of;
    if (e.*id_of != id || name[0] == '+' || name[0] == '-') return false;
    found = name;
    return true;
  });
  return found;
}

}  // namespace

std::optional<uid_t> userfiles_uid(const char *path, const char *name) {
  return find<passwd, uid_t>(path, name, ::fgetpwent_r, &passwd::pw_name, &passwd::pw_uid);
}

std::optional<gid_t> userfiles_gid(const char *path, const char *name) {
  return find<group, gid_t>(path, name, ::fgetgrent_r, &group::gr_name, &group::gr_gid);
}

std::optional<std::string> userfiles_user(const char *path, uid_t uid) {
  return find_name<passwd, uid_t>(path, uid, ::fgetpwent_r, &passwd::pw_name, &passwd::pw_uid);
}

std::optional<std::string> userfiles_group(const char *path, gid_t gid) {
  return find_name<group, gid_t>(path, gid, ::fgetgrent_r, &group::gr_name, &group::gr_gid);
}

}  // namespace installer
