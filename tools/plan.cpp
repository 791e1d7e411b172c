// install-check --plan: what one action would do on this host now, touching nothing. The
// settings come from the installer's own loaders and init commands (init "WFile" only
// shown); the copy commands run against a model of the disk: what the commands before
// would have created or removed, laid over a read-only look at the real disk. Files are
// read as the installer reads them (regular files only, without blocking, within its
// caps), and a file read from outside the product is shown by its size, never its content.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "file.h"
#include "init.h"
#include "lib.h"
#include "shared.h"
#include "tool.h"

namespace installer::tool {

namespace {

// Other: something that is neither a folder nor a file the installer would read (a pipe,
// a device, a socket); a link counts as the file it is.
enum class Kind { Gone, File, Dir, Other };

// The plan's text goes to standard output unless the plan is asked for as JSON.
bool quiet = false;

void say(const char *format, ...) INSTALLER_PRINTF(1, 2);
void say(const char *format, ...) {
  if (quiet) return;
  char text[4 * LINE_SIZE];
  va_list ap;
  va_start(ap, format);
  int n = vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  if (n < 0) text[sizeof text - 1] = '\0';
  std::fputs(text, stdout);
}

// What an entry is or would be: its type, mode, owner and group, size and, for a copy, the
// file it comes from. What the plan cannot know stays empty.
struct Attr {
  std::string type;  // "file", "dir" or "link"
  std::optional<mode_t> mode;
  std::optional<std::string> owner, group;
  std::optional<long long> size;
  std::optional<std::string> source;
};

std::string user_name(uid_t uid) {
  const struct passwd *pw = getpwuid(uid);
  return pw ? pw->pw_name : std::to_string(uid);
}

std::string group_name(gid_t gid) {
  const struct group *gr = getgrgid(gid);
  return gr ? gr->gr_name : std::to_string(gid);
}

// The entry as it is on disk now, not following a link.
std::optional<Attr> on_disk(const std::string &path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return std::nullopt;
  Attr a;
  a.type = S_ISDIR(st.st_mode) ? "dir" : S_ISLNK(st.st_mode) ? "link" : "file";
  a.mode = st.st_mode & 07777;
  a.owner = user_name(st.st_uid);
  a.group = group_name(st.st_gid);
  if (!S_ISDIR(st.st_mode)) a.size = static_cast<long long>(st.st_size);
  return a;
}

// A new entry as the installer makes it: owned by the user it runs as (taken to be the one
// running the plan), with the ordinary mode less the creation mask.
Attr made(const char *type, mode_t mode) {
  mode_t mask = ::umask(022);
  ::umask(mask);
  return Attr{type, mode & ~mask, user_name(geteuid()), group_name(getegid()), std::nullopt,
              std::nullopt};
}

// The product folder, links resolved, with a trailing '/'.
std::string product_dir() {
  char real[PATH_MAX];
  return realpath(".", real) ? std::string(real) + "/" : here();
}

// Whether a file lies outside the product folder, links resolved as far as they exist.
bool outside_product(const std::string &path) {
  static const std::string dir = product_dir();
  char real[PATH_MAX];
  std::string resolved = realpath(path.c_str(), real) ? std::string(real) : path;
  if (resolved.empty() || resolved[0] != '/') return resolved.find("..") != std::string::npos;
  return resolved.compare(0, dir.size(), dir) != 0;
}

// One path without doubled or trailing separators.
std::string norm(const std::string &path) {
  std::string out;
  for (char c : path)
    if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
  if (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string join(const std::string &dir, const std::string &name) {
  return norm(dir + "/" + name);
}

std::string parent(const std::string &path) {
  std::size_t at = path.rfind('/');
  return at == 0 ? "/" : at == std::string::npos ? "" : path.substr(0, at);
}

class Disk {
 public:
  Kind kind(const std::string &path) const {
    auto over = over_.find(path);
    return over != over_.end() ? over->second : real(path);
  }

  static Kind real(const std::string &path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return Kind::Gone;
    if (S_ISDIR(st.st_mode)) return Kind::Dir;
    return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode) ? Kind::File : Kind::Other;
  }

  // The entries of dir that match wild, as a listing would give them after the commands
  // so far: the real ones unless removed, and the ones made since.
  std::map<std::string, Kind> list(const std::string &dir, const char *wild) const {
    std::map<std::string, Kind> entries;
    std::string d = norm(dir);
    if (kind(d) != Kind::Dir) return entries;
    if (real(d) == Kind::Dir && !made_.count(d)) {
      std::unique_ptr<FHandle> h;
      std::unique_ptr<File> e = file_first(&h, d.c_str(), "*");
      for (bool more = e != nullptr; more; more = file_next(e.get(), h.get()) != 0) {
        char name[PATH_SIZE];
        file_filename(e.get(), name, PATH_SIZE);
        mode_t m = e->info.st_mode;
        entries[name] = S_ISDIR(m)                      ? Kind::Dir
                        : S_ISREG(m) || S_ISLNK(m) ? Kind::File
                                                        : Kind::Other;
      }
      file_free(&e);
      file_last(&h);
    }
    for (const auto &[path, k] : over_)
      if (parent(path) == d) entries[path.substr(d.size() + (d == "/" ? 0 : 1))] = k;
    std::map<std::string, Kind> matching;
    for (const auto &[name, k] : entries)
      if (k != Kind::Gone && wild_match(name.c_str(), wild)) matching[name] = k;
    return matching;
  }

  void make(const std::string &path, Kind k) {
    if (k == Kind::Dir && kind(path) == Kind::Gone) made_.insert(path);
    over_[path] = k;
    if (k != Kind::Gone) written_.insert(path);
    if (k == Kind::Gone) attrs_.erase(path);
  }

  const std::map<std::string, Kind> &over() const { return over_; }
  bool written(const std::string &path) const { return written_.count(path) != 0; }

  // What the entry is after the commands so far: as set by them, else as it is on disk.
  Attr attr(const std::string &path) const {
    auto a = attrs_.find(path);
    if (a != attrs_.end()) return a->second;
    if (over_.count(path) == 0)
      if (std::optional<Attr> now = on_disk(path)) return *now;
    return Attr{kind(path) == Kind::Dir ? "dir" : "file", {}, {}, {}, {}, {}};
  }
  void set_attr(const std::string &path, Attr a) { attrs_[path] = std::move(a); }

 private:
  std::map<std::string, Kind> over_;
  std::map<std::string, Attr> attrs_;
  std::set<std::string> made_;     // directories that the plan makes: nothing real in them
  std::set<std::string> written_;  // entries written or created
};

// Where the planned run would stop, and why.
struct Stop {
  std::string file;
  std::optional<int> line;
  std::optional<std::string> command;
  std::string reason;
};

// One entry of the net effect.
struct Entry {
  std::string path;
  char op;  // '+', '~' or '-'
  std::optional<Attr> before, after;
  std::optional<int> line;
  std::optional<std::string> command;
};

class Planner {
 public:
  Planner(const Options &o, Ini *ini, Copy *copy, bool stop)
      : o_(o), ini_(ini), copy_(copy), stop_(stop) {}

  // Runs the section; the stop, if the run would end on a failure.
  std::optional<Stop> run() {
    for (unsigned i = 0; i < copy_->count; i++) {
      const CCmd &c = copy_->list[i];
      say("%s:%d: %s %s%s%s\n", companion(o_, ".cpy").c_str(), c.line, word(c.type),
          c.source.value_or("").c_str(), c.dest ? " -> " : "", c.dest.value_or("").c_str());
      if (!copy_allows(copy_, i)) {
        say("  skipped: its controlling setting '%s' does not let it run\n", c.control->c_str());
        continue;
      }
      if (c.control) say("  runs: its controlling setting '%s' lets it\n", c.control->c_str());
      failed_.clear();
      line_ = c.line;
      command_ = word(c.type);
      int done = run_one(i, c);
      if (done > 0) continue;
      say("  fails%s%s\n", failed_.empty() ? "" : ": ", failed_.c_str());
      if (stop_) {
        say("  the run stops here\n");
        return Stop{companion(o_, ".cpy"), c.line, word(c.type), failed_};
      }
    }
    return std::nullopt;
  }

  // Created, removed and changed, against the disk as it is now, sorted by path.
  std::vector<Entry> net_effect() const {
    std::vector<Entry> list;
    std::set<std::string> paths(changed_);
    for (const auto &[path, k] : disk_.over()) paths.insert(path);
    for (const std::string &path : paths) {
      Kind before = Disk::real(path), after = disk_.kind(path);
      char op = 0;
      if (before == Kind::Gone && after != Kind::Gone)
        op = '+';
      else if (before != Kind::Gone && after == Kind::Gone)
        op = '-';
      else if (before != Kind::Gone && (disk_.written(path) || changed_.count(path)))
        op = '~';
      if (!op) continue;
      Entry e{path, op, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
      if (op != '+') e.before = on_disk(path);
      if (op != '-') e.after = disk_.attr(path);
      auto by = last_.find(path);
      if (by != last_.end()) {
        e.line = by->second.first;
        e.command = by->second.second;
      }
      list.push_back(std::move(e));
    }
    return list;
  }

 private:
  static const char *word(int type) {
    switch (type) {
      case CpyFile: return "CopyFile";
      case CpyDir: return "CopyDir";
      case MkDir: return "MkDir";
      case CpyIni: return "Ini";
      case Rename: return "Rename";
      case RmFile: return "RmFile";
      case RmDir: return "RmDir";
      case Exist: return "Exist";
      case Chown: return "Chown";
      case Chmod: return "Chmod";
      case Error: return "Error";
      case WFile: return "WFile";
      case RFile: return "RFile";
      default: return "(unknown)";
    }
  }

  void show(char what, const std::string &path, const std::string &from = "") {
    say("  %c %s%s%s\n", what, path.c_str(), from.empty() ? "" : " <- ", from.c_str());
    touched(path);
  }

  void touched(const std::string &path) { last_[path] = {line_, command_}; }

  // A file written: created where nothing was, changed where something was. A copy names
  // its source, whose size it will have when the plan has not written it itself.
  int write(const std::string &path, const std::string &from = "",
            std::optional<long long> size = std::nullopt) {
    if (disk_.kind(parent(path)) != Kind::Dir) return 0;
    bool exists = disk_.kind(path) != Kind::Gone;
    Attr a = exists ? disk_.attr(path) : made("file", 0666);
    if (exists && a.type == "link") a = made("file", 0666);  // the new file replaces it
    a.type = "file";
    a.size = size;
    a.source = std::nullopt;
    if (!from.empty()) {
      a.source = from;
      std::optional<Attr> src = disk_.written(from) ? std::nullopt : on_disk(from);
      a.size = src ? src->size : std::nullopt;
    }
    show(exists ? '~' : '+', path, from);
    disk_.make(path, Kind::File);
    disk_.set_attr(path, a);
    return 1;
  }

  int make_dirs(const std::string &dir) {
    std::string path = norm(dir);
    if (disk_.kind(path) != Kind::Gone) return disk_.kind(path) == Kind::Dir ? 1 : 0;
    if (!make_dirs(parent(path))) return 0;
    show('+', path + "/");
    touched(path);
    disk_.make(path, Kind::Dir);
    disk_.set_attr(path, made("dir", 0775));
    return 1;
  }

  void gone(const std::string &path, bool dir) {
    show('-', dir ? path + "/" : path);
    touched(path);
    disk_.make(path, Kind::Gone);
  }

  int remove_tree(const std::string &path, const char *not_) {
    int count = 0;
    bool all = true;
    for (const auto &[name, k] : disk_.list(path, "*")) {
      if (wild_list(name.c_str(), not_)) {
        all = false;
        continue;
      }
      if (k == Kind::Dir) {
        count += remove_tree(join(path, name), not_);
        all = all && disk_.kind(join(path, name)) == Kind::Gone;
      } else {
        gone(join(path, name), false);
        count++;
      }
    }
    if (!all) return count;  // rmdir refuses a folder that still holds something
    gone(path, true);
    return count + 1;
  }

  int copy_tree(const std::string &from, const std::string &to, const char *not_) {
    int count = 0;
    if (disk_.kind(to) == Kind::Gone) count += make_dirs(to);
    for (const auto &[name, k] : disk_.list(from, "*")) {
      if (wild_list(name.c_str(), not_) || k == Kind::Other) continue;
      count += k == Kind::Dir ? copy_tree(join(from, name), join(to, name), not_)
                              : write(join(to, name), join(from, name));
    }
    return count;
  }

  struct Parts {
    char path[PATH_SIZE] = "";
    char wild[PATH_SIZE] = "";
  };

  Parts source(unsigned i) {
    Parts p;
    copy_src_path(copy_, i, p.path, PATH_SIZE);
    copy_src_file(copy_, i, p.wild, PATH_SIZE);
    return p;
  }

  int copy(unsigned i, const CCmd &c) {
    Parts d;
    const char *not_ = copy_not(copy_, i);
    std::vector<std::string> dirs;
    if (copy_dst_file(copy_, i, d.wild, PATH_SIZE) && copy_dst_path(copy_, i, d.path, PATH_SIZE))
      for (const auto &[name, k] : disk_.list(d.path, d.wild))
        if (k == Kind::Dir && !wild_ilist(name.c_str(), not_)) dirs.push_back(join(d.path, name));
    if (dirs.empty()) failed_ = "No destination directories found";
    int count = 0;
    Parts s = source(i);
    for (const std::string &dir : dirs)
      for (const auto &[name, k] : disk_.list(s.path, s.wild)) {
        // A pipe or a device is never read as content: the installer passes it over.
        if (wild_ilist(name.c_str(), not_) || k == Kind::Other) continue;
        if (k != Kind::Dir)
          count += write(join(dir, name), join(s.path, name));
        else if (c.type == CpyDir)
          count += copy_tree(join(s.path, name), join(dir, name), not_);
      }
    return count;
  }

  int remove(unsigned i, const CCmd &c) {
    const char *not_ = copy_not(copy_, i);
    Parts s = source(i);
    int count = 0;
    for (const auto &[name, k] : disk_.list(s.path, s.wild)) {
      if (wild_ilist(name.c_str(), not_)) continue;
      std::string path = join(s.path, name);
      if (k != Kind::Dir) {
        gone(path, false);
        count++;
      } else if (c.type == RmDir) {
        count += remove_tree(path, not_);
      }
    }
    return count;
  }

  // Chown and Chmod: every entry they would change, contents before their folder.
  int change(const std::string &dir, const char *wild, const char *not_, const std::string &to,
             const std::function<void(Attr &)> &apply) {
    int count = 0;
    for (const auto &[name, k] : disk_.list(dir, wild)) {
      std::string path = join(dir, name);
      if (wild_ilist(path.c_str(), not_)) continue;
      if (k == Kind::Dir) count += change(path, "*", not_, to, apply);
      say("  %s %s\n", to.c_str(), path.c_str());
      touched(path);
      changed_.insert(path);
      Attr a = disk_.attr(path);
      apply(a);
      disk_.set_attr(path, a);
      count++;
    }
    return count;
  }

  int chown(unsigned i, const CCmd &c) {
    char owner[LINE_SIZE] = "";
    ini_replace(ini_, c.dest ? c.dest->c_str() : "", owner, OWNER_SIZE);
    std::string user = owner, group = owner;
    if (const char *colon = std::strchr(owner, ':')) {
      user.assign(owner, static_cast<std::size_t>(colon - owner));
      group = colon + 1;
    }
    int uid = file_getuid(user.c_str());
    if (uid < 0) {
      failed_ = "no such user";
      return 0;
    }
    // A group that does not exist takes the user's id, as the installer does.
    int gid = file_getgid(group.c_str());
    std::string group_shown = gid >= 0 ? group : group_name(static_cast<gid_t>(uid));
    Parts s = source(i);
    return change(s.path, s.wild, copy_not(copy_, i), std::string("owner ") + owner,
                  [&](Attr &a) {
                    a.owner = user;
                    a.group = group_shown;
                  });
  }

  int chmod(unsigned i, const CCmd &c) {
    std::optional<mode_t> mode = copy_parse_mode(c.dest ? c.dest->c_str() : nullptr);
    if (!mode) {
      failed_ = "Bad mode '" + c.dest.value_or("") + "', expected octal digits";
      return 0;
    }
    char shown[16];
    snprintf(shown, sizeof shown, "mode %04o", static_cast<unsigned>(*mode));
    Parts s = source(i);
    return change(s.path, s.wild, copy_not(copy_, i), shown,
                  [&](Attr &a) { a.mode = *mode; });
  }

  int run_one(unsigned i, const CCmd &c) {
    std::string src = norm(c.source.value_or("")), dst = norm(c.dest.value_or(""));
    switch (c.type) {
      case MkDir:
        if (disk_.kind(src) == Kind::Dir) say("  (already there)\n");
        return make_dirs(src);
      case CpyFile:
      case CpyDir: return copy(i, c);
      case RmFile:
      case RmDir: return remove(i, c);
      case CpyIni: {
        bool readable = disk_.kind(src) == Kind::File;
        if (readable && !disk_.written(src)) {
          std::optional<Attr> now = on_disk(src);
          readable = now && now->size && *now->size <= static_cast<long long>(FILE_TEXT_MAX);
        }
        if (!readable) failed_ = "Error reading ini file '" + src + "'";
        if (!write(dst)) return 0;
        Attr a = disk_.attr(dst);
        a.source = src;
        disk_.set_attr(dst, a);
        return failed_.empty() ? 1 : 0;
      }
      case Rename: {
        if (disk_.kind(src) == Kind::Gone || disk_.kind(parent(dst)) != Kind::Dir) return 0;
        Attr moved = disk_.attr(src);
        Kind k = disk_.kind(src);
        gone(src, false);
        show(disk_.kind(dst) == Kind::Gone ? '+' : '~', dst);
        disk_.make(dst, k);
        disk_.set_attr(dst, moved);
        return 1;
      }
      case Exist:
        ini_add_name(ini_, c.dest ? c.dest->c_str() : nullptr,
                     disk_.kind(src) != Kind::Gone ? "true" : "false");
        return 1;
      case Error: {
        const char *value = ini_value_name(ini_, c.source ? c.source->c_str() : nullptr);
        failed_ = c.dest.value_or("");
        return value && isfalse(value) ? 0 : 1;
      }
      case WFile: {
        const char *value = ini_value_name(ini_, c.dest ? c.dest->c_str() : nullptr);
        if (!value) value = c.dest ? c.dest->c_str() : "";
        return write(src, "", static_cast<long long>(std::strlen(value)));
      }
      case RFile: return read_back(src, c);
      case Chown: return chown(i, c);
      case Chmod: return chmod(i, c);
      default: failed_ = "How did we get here!"; return 0;
    }
  }

  // A file the plan has not written is read as the installer reads it now; one it wrote
  // has unknown contents. What a file outside the product holds is never shown.
  int read_back(const std::string &path, const CCmd &c) {
    if (disk_.kind(path) == Kind::Gone) {
      failed_ = "Failed to read (" + path + ")";
      return 0;
    }
    if (disk_.written(path)) return 1;
    std::optional<std::string> text = file_read_text(path.c_str());
    if (!text) {
      failed_ = "Failed to read (" + path + "), " + std::strerror(errno);
      return 0;
    }
    say("  (%llu bytes from %s) into %s\n", static_cast<unsigned long long>(text->size()),
        path.c_str(), c.dest.value_or("").c_str());
    if (!text->empty()) ini_add_name(ini_, c.dest ? c.dest->c_str() : nullptr, text->c_str());
    return 1;
  }

  const Options &o_;
  Ini *ini_;
  Copy *copy_;
  bool stop_;
  Disk disk_;
  std::set<std::string> changed_;
  std::map<std::string, std::pair<int, std::string>> last_;  // the command that last acted
  int line_ = 0;
  std::string command_;
  std::string failed_;
};

void show_httpd(bool named) {
  char values[4][LINE_SIZE] = {};
  char error[LINE_SIZE] = "";
  const char *labels[4] = {"User", "Group", "DocumentRoot", "ScriptAlias"};
  bool found[4];
  for (int v = 0; v < 4; v++)
    found[v] = init_find_http_conf(v == 0 ? values[0] : nullptr, v == 1 ? values[1] : nullptr,
                                   v == 2 ? values[2] : nullptr, v == 3 ? values[3] : nullptr,
                                   error) != 0;
  if (const char *path = init_http_path()) {
    say("httpd.conf: %s\n", path);
  } else if (named) {
    say("httpd.conf: the file named cannot be read\n");
  } else {
    say("httpd.conf: none found; tried:\n");
    for (const char *place : http_files) say("  %s\n", place);
  }
  for (int v = 0; v < 4; v++)
    say("  %s %s\n", labels[v], found[v] ? values[v] : "(not found)");
}

// ----------------------------------------------------------------------------- JSON

// A JSON string. Bytes that are not valid UTF-8 are taken as Latin-1, so the output is
// always valid JSON whatever a path holds.
std::string json(const std::string &text) {
  std::string out = "\"";
  const auto *p = reinterpret_cast<const unsigned char *>(text.data());
  std::size_t n = text.size();
  for (std::size_t i = 0; i < n; i++) {
    unsigned char c = p[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char esc[8];
      snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      std::size_t len = c >= 0xc2 && c <= 0xdf ? 2 : c >= 0xe0 && c <= 0xef ? 3
                        : c >= 0xf0 && c <= 0xf4 ? 4 : 0;
      bool valid = len > 0 && i + len <= n;
      for (std::size_t k = 1; valid && k < len; k++) valid = (p[i + k] & 0xc0) == 0x80;
      if (valid && len == 3) {
        unsigned v = (c & 0x0fu) << 12 | (p[i + 1] & 0x3fu) << 6;
        valid = v >= 0x800 && (v < 0xd800 || v > 0xdfff);
      }
      if (valid && len == 4) {
        unsigned v = (c & 0x07u) << 18 | (p[i + 1] & 0x3fu) << 12;
        valid = v >= 0x10000 && v <= 0x10ffff;
      }
      if (valid) {
        out.append(text, i, len);
        i += len - 1;
      } else {
        out += static_cast<char>(0xc0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3f));
      }
    }
  }
  return out + "\"";
}

std::string json(const std::optional<std::string> &text) {
  return text ? json(*text) : "null";
}

std::string json(const std::optional<int> &n) { return n ? std::to_string(*n) : "null"; }

std::string json(const std::optional<Attr> &a, bool with_source) {
  if (!a) return "null";
  char mode[16] = "null";
  if (a->mode) snprintf(mode, sizeof mode, "\"%04o\"", static_cast<unsigned>(*a->mode));
  return "{\"type\": " + json(a->type) + ", \"mode\": " + mode + ", \"owner\": " +
         json(a->owner) + ", \"group\": " + json(a->group) + ", \"size\": " +
         (a->size ? std::to_string(*a->size) : "null") +
         (with_source ? ", \"source\": " + json(a->source) : std::string()) + "}";
}

void print_json(const std::string &action, const char *product, const std::optional<Stop> &stop,
                const std::vector<Entry> &entries) {
  std::string out = "{\"format\": 1, \"action\": " + json(action) + ", \"product\": " +
                    (product ? json(std::string(product)) : "null") + ",\n \"stops\": ";
  if (stop)
    out += "{\"file\": " + json(stop->file) + ", \"line\": " + json(stop->line) +
           ", \"command\": " + json(stop->command) + ", \"reason\": " + json(stop->reason) + "}";
  else
    out += "null";
  out += ",\n \"entries\": [";
  const char *sep = "\n  ";
  // Paths the script gives relative to the product folder are shown below it.
  std::vector<Entry> sorted = entries;
  for (Entry &e : sorted)
    if (e.path.empty() || e.path[0] != '/') e.path = norm(here() + e.path);
  std::sort(sorted.begin(), sorted.end(),
            [](const Entry &a, const Entry &b) { return a.path < b.path; });
  for (const Entry &e : sorted) {
    const char *op = e.op == '+' ? "create" : e.op == '-' ? "remove" : "change";
    const std::optional<Attr> &shown = e.after ? e.after : e.before;
    out += sep;
    out += "{\"path\": " + json(e.path) + ", \"op\": \"" + op + "\", \"type\": " +
           json(shown ? std::optional<std::string>(shown->type) : std::nullopt) +
           ", \"line\": " + json(e.line) + ", \"command\": " + json(e.command) +
           ",\n   \"before\": " + json(e.before, false) +
           ",\n   \"after\": " + json(e.after, true) + "}";
    sep = ",\n  ";
  }
  out += entries.empty() ? "]}\n" : "\n ]}\n";
  std::fputs(out.c_str(), stdout);
}

void print_text(const std::vector<Entry> &entries, const std::optional<Stop> &stop) {
  say("Net effect:\n");
  for (const Entry &e : entries) {
    const std::optional<Attr> &shown = e.after ? e.after : e.before;
    say("%c %s%s\n", e.op, e.path.c_str(), shown && shown->type == "dir" ? "/" : "");
  }
  if (stop)
    say("The run would stop at %s%s%s%s%s: %s\n", stop->file.c_str(), stop->line ? ":" : "",
        stop->line ? std::to_string(*stop->line).c_str() : "", stop->command ? ", " : "",
        stop->command.value_or("").c_str(), stop->reason.c_str());
}

// A setting whose value an init RFile read from outside the product: its size and file.
struct ReadBack {
  std::string path, value;
};

}  // namespace

int plan(const Options &o) {
  std::string action = *o.plan, section = action;
  bool stop = action == "install" || action == "upgrade";
  if (action.rfind("special:", 0) == 0) {
    section = action.substr(8);
  } else if (!stop && action != "remove") {
    con_print("install-check: unknown action '%s' (install, upgrade, remove, special:TAG)\n",
              action.c_str());
    return 2;
  }
  if (!o.format.empty() && o.format != "json") {
    con_print("install-check: --plan gives no format '%s' (json)\n", o.format.c_str());
    return 2;
  }
  quiet = o.format == "json";
  // Standard output holds the JSON alone: what the installer's own modules print on their
  // console while the plan runs (a web-server value not found) goes to standard error.
  Fd console;
  if (quiet) {
    std::fflush(stdout);
    console = Fd(dup(STDOUT_FILENO));
    dup2(STDERR_FILENO, STDOUT_FILENO);
  }
  auto json_out = [&](const char *product, const std::optional<Stop> &stops,
                      const std::vector<Entry> &entries) {
    std::fflush(stdout);
    if (console) dup2(console.get(), STDOUT_FILENO);
    print_json(action, product, stops, entries);
  };
  // What the installer would stop on before its menu, as a plan that stops there.
  auto stopped = [&](const std::string &file, const std::string &reason) {
    Stop s{file, std::nullopt, std::nullopt, reason};
    if (quiet)
      json_out(nullptr, s, {});
    else
      print_text({}, s);
    return 1;
  };
  if (o.httpd) init_http_use(o.httpd->c_str());
  auto ini = ini_init();
  if (!load_datfile(ini.get(), companion(o, ".dat").c_str()))
    return stopped(companion(o, ".dat"),
                   "cannot read " + companion(o, ".dat") + ": " + std::strerror(errno));
  auto init = init_init();
  if (!init_load(init.get(), companion(o, ".int").c_str()))
    return stopped(companion(o, ".int"), init_error());
  std::map<std::string, ReadBack> read_back;
  for (IItem *i = init_get_num(init.get(), 0); i; i = init_get(init.get())) {
    if (!init_applies(ini.get(), *i)) continue;
    char path[PATH_SIZE] = "";
    ini_replace(ini.get(), opt_cstr(i->a), path, PATH_SIZE);
    if (i->mode != IWFile) {
      init_do(ini.get(), *i);
      const char *value = i->mode == IRFile ? ini_value_name(ini.get(), opt_cstr(i->b)) : nullptr;
      if (value && outside_product(path)) read_back[opt_cstr(i->b)] = {path, value};
      continue;
    }
    say("%s:%d: WFile %s would be written (not done here)\n", companion(o, ".int").c_str(),
        i->line, path);
  }
  show_httpd(o.httpd.has_value());
  for (const auto &[name, value] : o.sets) ini_add_name(ini.get(), name.c_str(), value.c_str());
  say("Settings:\n");
  for (int i = 0; i < ini->items; i++) {
    const std::string &name = (*ini->list)[static_cast<std::size_t>(i)].setting;
    const char *value = ini_value(ini.get(), i);
    auto read = read_back.find(name);
    if (value && read != read_back.end() && read->second.value == value)
      say("  %s=(%llu bytes from %s)\n", name.c_str(),
          static_cast<unsigned long long>(read->second.value.size()),
          read->second.path.c_str());
    else
      say("  %s=%s\n", name.c_str(), value ? value : "");
  }
  const char *product = ini_value_name(ini.get(), "product");
  auto copy = copy_init(ini.get());
  if (!copy_load(copy.get(), companion(o, ".cpy").c_str(), section.c_str())) {
    say("%s: no [%s] section: nothing is done\n", companion(o, ".cpy").c_str(), section.c_str());
    if (quiet) json_out(product, std::nullopt, {});
    return 0;
  }
  say("[%s]\n", section.c_str());
  Planner planner(o, ini.get(), copy.get(), stop);
  std::optional<Stop> stops = planner.run();
  // The product's name as the run would end with it.
  product = ini_value_name(ini.get(), "product");
  if (quiet)
    json_out(product, stops, planner.net_effect());
  else
    print_text(planner.net_effect(), stops);
  return stops ? 1 : 0;
}

}  // namespace installer::tool
