// install-check --plan: what one action would do on this host now, touching nothing. The
// settings come from the installer's own loaders and init commands (init "WFile" only
// shown); the copy commands run against a model of the disk: what the commands before
// would have created or removed, laid over a read-only look at the real disk.
#include <sys/stat.h>

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

enum class Kind { Gone, File, Dir };

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
    return S_ISDIR(st.st_mode) ? Kind::Dir : Kind::File;
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
        entries[name] = file_isdir(e.get()) ? Kind::Dir : Kind::File;
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
  }

  const std::map<std::string, Kind> &over() const { return over_; }
  bool written(const std::string &path) const { return written_.count(path) != 0; }

 private:
  std::map<std::string, Kind> over_;
  std::set<std::string> made_;     // directories that the plan makes: nothing real in them
  std::set<std::string> written_;  // entries written or created
};

class Planner {
 public:
  Planner(const Options &o, Ini *ini, Copy *copy, bool stop)
      : o_(o), ini_(ini), copy_(copy), stop_(stop) {}

  void run() {
    for (unsigned i = 0; i < copy_->count; i++) {
      const CCmd &c = copy_->list[i];
      con_print("%s:%d: %s %s%s%s\n", companion(o_, ".cpy").c_str(), c.line, word(c.type),
                c.source.value_or("").c_str(), c.dest ? " -> " : "", c.dest.value_or("").c_str());
      if (!copy_allows(copy_, i)) {
        con_print("  skipped: its controlling setting '%s' does not let it run\n", c.control->c_str());
        continue;
      }
      if (c.control) con_print("  runs: its controlling setting '%s' lets it\n", c.control->c_str());
      failed_ = nullptr;
      int done = run_one(i, c);
      if (done > 0) continue;
      con_print("  fails%s%s\n", failed_ ? ": " : "", failed_ ? failed_ : "");
      if (stop_) {
        con_print("  the run stops here\n");
        break;
      }
    }
    net_effect();
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
    con_print("  %c %s%s%s\n", what, path.c_str(), from.empty() ? "" : " <- ", from.c_str());
  }

  // A file written: created where nothing was, changed where something was.
  int write(const std::string &path, const std::string &from = "") {
    if (disk_.kind(parent(path)) != Kind::Dir) return 0;
    show(disk_.kind(path) == Kind::Gone ? '+' : '~', path, from);
    disk_.make(path, Kind::File);
    return 1;
  }

  int make_dirs(const std::string &dir) {
    std::string path = norm(dir);
    if (disk_.kind(path) != Kind::Gone) return disk_.kind(path) == Kind::Dir ? 1 : 0;
    if (!make_dirs(parent(path))) return 0;
    show('+', path + "/");
    disk_.make(path, Kind::Dir);
    return 1;
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
        show('-', join(path, name));
        disk_.make(join(path, name), Kind::Gone);
        count++;
      }
    }
    if (!all) return count;  // rmdir refuses a folder that still holds something
    show('-', path + "/");
    disk_.make(path, Kind::Gone);
    return count + 1;
  }

  int copy_tree(const std::string &from, const std::string &to, const char *not_) {
    int count = 0;
    if (disk_.kind(to) == Kind::Gone) count += make_dirs(to);
    for (const auto &[name, k] : disk_.list(from, "*")) {
      if (wild_list(name.c_str(), not_)) continue;
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
        if (wild_ilist(name.c_str(), not_)) continue;
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
        show('-', path);
        disk_.make(path, Kind::Gone);
        count++;
      } else if (c.type == RmDir) {
        count += remove_tree(path, not_);
      }
    }
    return count;
  }

  // Chown and Chmod: every entry they would change, contents before their folder.
  int change(const std::string &dir, const char *wild, const char *not_, const std::string &to) {
    int count = 0;
    for (const auto &[name, k] : disk_.list(dir, wild)) {
      std::string path = join(dir, name);
      if (wild_ilist(path.c_str(), not_)) continue;
      if (k == Kind::Dir) count += change(path, "*", not_, to);
      con_print("  %s %s\n", to.c_str(), path.c_str());
      changed_.insert(path);
      count++;
    }
    return count;
  }

  int run_one(unsigned i, const CCmd &c) {
    std::string src = norm(c.source.value_or("")), dst = norm(c.dest.value_or(""));
    const char *not_ = copy_not(copy_, i);
    switch (c.type) {
      case MkDir:
        if (disk_.kind(src) == Kind::Dir) con_print("  (already there)\n");
        return make_dirs(src);
      case CpyFile:
      case CpyDir: return copy(i, c);
      case RmFile:
      case RmDir: return remove(i, c);
      case CpyIni:
        if (disk_.kind(src) != Kind::File) failed_ = "Error reading ini file";
        return write(dst) && !failed_;
      case Rename:
        if (disk_.kind(src) == Kind::Gone || disk_.kind(parent(dst)) != Kind::Dir) return 0;
        show('-', src);
        show(disk_.kind(dst) == Kind::Gone ? '+' : '~', dst);
        disk_.make(dst, disk_.kind(src));
        disk_.make(src, Kind::Gone);
        return 1;
      case Exist:
        ini_add_name(ini_, c.dest ? c.dest->c_str() : nullptr,
                     disk_.kind(src) != Kind::Gone ? "true" : "false");
        return 1;
      case Error: {
        const char *value = ini_value_name(ini_, c.source ? c.source->c_str() : nullptr);
        failed_ = c.dest ? c.dest->c_str() : nullptr;
        return value && isfalse(value) ? 0 : 1;
      }
      case WFile: return write(src);
      case RFile: return read_back(src, c);
      case Chown: {
        char owner[LINE_SIZE] = "";
        ini_replace(ini_, c.dest ? c.dest->c_str() : "", owner, OWNER_SIZE);
        std::string user = std::string(owner).substr(0, std::string(owner).find(':'));
        if (file_getuid(user.c_str()) < 0) {
          failed_ = "no such user";
          return 0;
        }
        Parts s = source(i);
        return change(s.path, s.wild, not_, std::string("owner ") + owner);
      }
      case Chmod: {
        if (dst.empty() || dst.size() > 4 || dst.find_first_not_of("01234567") != std::string::npos) {
          failed_ = "Bad mode, expected octal digits";
          return 0;
        }
        Parts s = source(i);
        return change(s.path, s.wild, not_, "mode " + dst);
      }
      default: failed_ = "How did we get here!"; return 0;
    }
  }

  // A file the plan has not written is read as it is now; one it wrote has unknown contents.
  int read_back(const std::string &path, const CCmd &c) {
    if (disk_.kind(path) != Kind::File) return 0;
    if (disk_.written(path)) return 1;
    std::string text;
    if (OwnedFile f = open_file(path.c_str(), "r")) {
      char piece[RFILE_PIECE_SIZE];
      while (std::fgets(piece, RFILE_PIECE_SIZE, f.get())) text += piece;
    }
    if (!text.empty()) ini_add_name(ini_, c.dest ? c.dest->c_str() : nullptr, text.c_str());
    return 1;
  }

  // Created, removed and changed, against the disk as it is now.
  void net_effect() {
    con_print("Net effect:\n");
    std::set<std::string> paths(changed_);
    for (const auto &[path, k] : disk_.over()) paths.insert(path);
    for (const std::string &path : paths) {
      Kind before = Disk::real(path), after = disk_.kind(path);
      const char *slash = after == Kind::Dir || (after == Kind::Gone && before == Kind::Dir) ? "/" : "";
      if (before == Kind::Gone && after != Kind::Gone)
        con_print("+ %s%s\n", path.c_str(), slash);
      else if (before != Kind::Gone && after == Kind::Gone)
        con_print("- %s%s\n", path.c_str(), slash);
      else if (before != Kind::Gone && (disk_.written(path) || changed_.count(path)))
        con_print("~ %s%s\n", path.c_str(), slash);
    }
  }

  const Options &o_;
  Ini *ini_;
  Copy *copy_;
  bool stop_;
  Disk disk_;
  std::set<std::string> changed_;
  const char *failed_ = nullptr;
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
    con_print("httpd.conf: %s\n", path);
  } else if (named) {
    con_print("httpd.conf: the file named cannot be read\n");
  } else {
    con_print("httpd.conf: none found; tried:\n");
    for (const char *place : http_files) con_print("  %s\n", place);
  }
  for (int v = 0; v < 4; v++)
    con_print("  %s %s\n", labels[v], found[v] ? values[v] : "(not found)");
}

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
  if (o.httpd) init_http_use(o.httpd->c_str());
  auto ini = ini_init();
  if (!load_datfile(ini.get(), companion(o, ".dat").c_str())) {
    con_print("install-check: cannot read %s\n", companion(o, ".dat").c_str());
    return 1;
  }
  auto init = init_init();
  init_load(init.get(), companion(o, ".int").c_str());
  for (IItem *i = init_get_num(init.get(), 0); i; i = init_get(init.get())) {
    if (!init_applies(ini.get(), *i)) continue;
    if (i->mode != IWFile) {
      init_do(ini.get(), *i);
      continue;
    }
    char path[PATH_SIZE] = "";
    ini_replace(ini.get(), opt_cstr(i->a), path, PATH_SIZE);
    con_print("%s:%d: WFile %s would be written (not done here)\n",
              companion(o, ".int").c_str(), i->line, path);
  }
  show_httpd(o.httpd.has_value());
  for (const auto &[name, value] : o.sets) ini_add_name(ini.get(), name.c_str(), value.c_str());
  con_print("Settings:\n");
  for (int i = 0; i < ini->items; i++) {
    const char *value = ini_value(ini.get(), i);
    con_print("  %s=%s\n", (*ini->list)[static_cast<std::size_t>(i)].setting.c_str(),
              value ? value : "");
  }
  auto copy = copy_init(ini.get());
  if (!copy_load(copy.get(), companion(o, ".cpy").c_str(), section.c_str())) {
    con_print("%s: no [%s] section: nothing is done\n", companion(o, ".cpy").c_str(),
              section.c_str());
    return 0;
  }
  con_print("[%s]\n", section.c_str());
  Planner(o, ini.get(), copy.get(), stop).run();
  return 0;
}

}  // namespace installer::tool
