// install-check: findings about a product's companion files and templates. Every finding
// comes from what the installer's loaders and expansion make of the files: what a loader
// dropped or did not know, which references an expansion left, which settings exist.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "init.h"
#include "lib.h"
#include "quest.h"
#include "shared.h"
#include "tool.h"

namespace installer::tool {

namespace {

const char *const Flows[] = {"install", "upgrade", "remove"};
const char *const Builtins[] = {"host", "system_dir", "current_dir", "action"};

// In the store the checker expands with, every setting that something defines has a value
// that marks its name, so an expansion shows both what a text uses and what it left.
constexpr char MarkOpen = '\x01';
constexpr char MarkClose = '\x02';
std::string mark(const std::string &name) { return MarkOpen + name + MarkClose; }

// A text as the author wrote it: markers back to references.
std::string shown(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == MarkOpen) out += "$(";
    else if (c == MarkClose) out += ')';
    else out += c;
  }
  return out;
}

// The names whose markers an expanded text holds.
std::set<std::string> uses(const std::string &text) {
  std::set<std::string> names;
  for (std::size_t open = text.find(MarkOpen); open != std::string::npos;
       open = text.find(MarkOpen, open + 1)) {
    std::size_t close = text.find(MarkClose, open);
    if (close != std::string::npos) names.insert(text.substr(open + 1, close - open - 1));
  }
  return names;
}

// What an expansion left as written: the names of its references.
std::vector<std::string> left(const std::string &text) {
  std::vector<std::string> names;
  for (std::size_t at = text.find("$("); at != std::string::npos; at = text.find("$(", at + 2))
    names.push_back(text.substr(at + 2, text.find(')', at) - at - 2));
  return names;
}

const char *keyword(int type) {
  static const std::map<int, const char *> words = {
      {CpyFile, "CopyFile"}, {CpyDir, "CopyDir"}, {MkDir, "MkDir"},   {CpyIni, "Ini"},
      {Rename, "Rename"},    {RmFile, "RmFile"},  {RmDir, "RmDir"},   {Exist, "Exist"},
      {Chown, "Chown"},      {Chmod, "Chmod"},    {Error, "Error"},   {WFile, "WFile"},
      {RFile, "RFile"}};
  auto w = words.find(type);
  return w == words.end() ? "an unknown command" : w->second;
}

bool asked(int type) { return !(type & (QXExist | QCopy | QError | QLoop)); }

// Letters a word needs changed to become another, for sections that look like a flow's.
std::size_t distance(const std::string &a, const std::string &b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); j++) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); i++) {
    std::size_t diag = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); j++) {
      std::size_t up = row[j];
      bool same = charmap[static_cast<unsigned char>(a[i - 1])] ==
                  charmap[static_cast<unsigned char>(b[j - 1])];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (same ? 0 : 1)});
      diag = up;
    }
  }
  return row[b.size()];
}

std::string lower(std::string s) {
  for (char &c : s) c = static_cast<char>(charmap[static_cast<unsigned char>(c)]);
  return s;
}

// One section of the copy script three ways: as read, and expanded from the markers and
// from the defaults.
struct Script {
  std::string name;
  std::unique_ptr<Copy> raw, marked, real;
};

// A template and what its lines use, file line by file line.
struct Template {
  std::string path;
  std::vector<std::pair<int, std::set<std::string>>> lines;
};

class Checker {
 public:
  explicit Checker(const Options &o)
      : dat_(companion(o, ".dat")), int_(companion(o, ".int")), q_(companion(o, ".q")),
        cpy_(companion(o, ".cpy")) {}

  int run() {
    load();
    check_splits();
    check_dat();
    check_init();
    check_sections();
    for (auto &[name, q] : quests_) check_questions(name, q.get());
    for (Script &s : scripts_) check_script(s);
    check_templates();
    check_text_file("blurb.txt", "shows as nothing");
    check_read_back();
    return print();
  }

 private:
  enum Severity { SevError, SevWarning, SevNote };
  struct Finding {
    std::string file;
    int line;
    Severity severity;
    std::string message;
  };

  void add(const std::string &file, int line, Severity s, std::string message) {
    findings_.push_back({file, line, s, std::move(message)});
  }

  bool defined(const std::string &name) const { return defined_.count(name) != 0; }

  // ------------------------------------------------------------------------- loading

  void load() {
    ini_ = ini_init();
    load_datfile(ini_.get(), dat_.c_str());
    for (const char *b : Builtins) defined_.insert(b);
    if (OwnedFile f{file_open_read(dat_.c_str())}) {
      read_lines(f.get(), [this](const Line &line) {
        if (auto e = dat_parse_line(line.text)) {
          decls_.push_back({e->name, line.number});
          defined_.insert(e->name);
          if (e->value) valued_.insert(e->name);
        }
        return true;
      });
    }
    init_ = init_init();
    init_load(init_.get(), int_.c_str());
    for (IItem *i = init_get_num(init_.get(), 0); i; i = init_get(init_.get())) {
      for (const std::optional<std::string> *s : init_sets(*i)) {
        if (!*s) continue;
        defined_.insert(**s);
        init_sets_.insert(**s);
      }
      if ((i->mode == IHTTP_Root || i->mode == IHTTP_Scripts) && i->a)
        http_dirs_[*i->a] = i->mode == IHTTP_Root ? "document root" : "CGI folder";
    }
    q_sections_ = sections(q_);
    cpy_sections_ = sections(cpy_);
    for (const auto &[name, line] : q_sections_) {
      auto q = quest_init(ini_.get());
      if (quests_.count(lower(name)) || !quest_load(q.get(), q_.c_str(), name.c_str()))
        continue;
      for (unsigned i = 0; i < q->count; i++)
        if (q->list[i].setting && (q->list[i].type & (QError | QLoop)) == 0)
          defined_.insert(*q->list[i].setting);
      quests_[lower(name)] = std::move(q);
    }
    std::set<std::string> seen;
    for (const auto &[name, line] : cpy_sections_) {
      if (!seen.insert(lower(name)).second) continue;
      Script s{name, copy_init(nullptr), nullptr, nullptr};
      copy_load(s.raw.get(), cpy_.c_str(), name.c_str());
      for (unsigned i = 0; i < s.raw->count; i++) {
        const CCmd &c = s.raw->list[i];
        if ((c.type == Exist || c.type == RFile) && c.dest) defined_.insert(*c.dest);
      }
      scripts_.push_back(std::move(s));
    }
    // The marking store: every name something defines, valued by its marker.
    std::vector<SettingList> table;
    for (const std::string &name : defined_) table.push_back({name, mark(name), Ini_None});
    marks_ = ini_init();
    ini_setup(marks_.get(), &table, nullptr, 1);
    marker_copy_ = copy_init(marks_.get());
    for (Script &s : scripts_) {
      s.marked = expand_copy(*s.raw, marks_.get());
      s.real = expand_copy(*s.raw, ini_.get());
    }
  }

  // The settings an init command gives a value to.
  static std::vector<const std::optional<std::string> *> init_sets(const IItem &i) {
    if (i.mode == ICopy) return {&i.a};
    if (i.mode == IExist || i.mode == ITimeDate || i.mode == IRFile) return {&i.b};
    if (i.mode & IHTTP) return {&i.a, &i.b};
    return {};
  }

  std::string marked(const char *text) const {
    if (!text) return "";
    std::optional<std::string> e = replace_vars(marker_copy_.get(), text);
    return e ? *e : text;
  }

  // Reports each reference of text that names no setting; `effect` says what the
  // installer then does with it.
  void unresolved(const std::string &file, int line, const std::string &expanded,
                  const std::string &where, const char *effect) {
    for (const std::string &name : left(expanded))
      add(file, line, SevError,
          "$(" + name + ")" + where + " names no setting that anything defines: it " + effect);
  }

  // ------------------------------------------------------------------------- findings

  void check_splits() {
    for (const std::string &file : {dat_, int_, q_, cpy_, std::string("blurb.txt")}) {
      OwnedFile f(file_open_read(file.c_str()));
      std::map<int, int> pieces;
      read_lines(f.get(), [&pieces](const Line &line) {
        pieces[line.number] = line.piece + 1;
        return true;
      });
      for (const auto &[line, n] : pieces)
        if (n > 1)
          add(file, line, SevError,
              "line longer than 999 characters: the installer reads it as " +
                  std::to_string(n) + " lines");
    }
  }

  void check_dat() {
    for (const std::string &file : {dat_, int_})
      if (OwnedFile f(file_open_read(file.c_str())); !f)
        add(file, 1, SevError, "cannot be read: the installer stops at start-up");
    // A pipe, a device or an oversized file where a companion file belongs.
    struct stat st {};
    for (const std::string &file : {q_, cpy_, std::string("blurb.txt")})
      if (stat(file.c_str(), &st) == 0 && !OwnedFile(file_open_read(file.c_str())))
        add(file, 1, SevError,
            std::string("cannot be read (") + std::strerror(errno) +
                "): the installer reads none of it");
    std::map<std::string, int> first;
    for (const auto &[name, line] : decls_) {
      bool builtin = std::find(std::begin(Builtins), std::end(Builtins), name) != std::end(Builtins);
      if (builtin) {
        add(dat_, line, SevWarning, "'" + name + "' is a built-in setting: this value is never used");
        continue;
      }
      if (!first.emplace(name, line).second) {
        add(dat_, line, SevWarning,
            "'" + name + "' is declared again (first at line " + std::to_string(first[name]) +
                "): the installer uses the first value");
        continue;
      }
      const char *value = ini_value_name(ini_.get(), name.c_str());
      if (!value) continue;
      const char *hash = std::strchr(value, '#');
      if (hash && hash > value && (hash[-1] == ' ' || hash[-1] == '\t'))
        add(dat_, line, SevWarning,
            "the value of '" + name + "' takes in '" + std::string(hash) +
                "': a '#' after text is part of the value, not a comment");
      for (const std::string &ref : left(value))
        add(dat_, line, SevError,
            "$(" + ref + ") in the value of '" + name +
                "' names no setting of this file: it stays as written");
    }
  }

  void check_init() {
    report_notes(int_, init_->notes, "", ": the command does nothing");
    for (IItem *i = init_get_num(init_.get(), 0); i; i = init_get(init_.get())) {
      if (i->first_line != i->line)
        add(int_, i->first_line, SevError,
            "init line with fewer than five fields: the installer merges it with line " +
                std::to_string(i->line));
      if (i->mode == IExist || i->mode == IWFile || i->mode == IRFile)
        unresolved(int_, i->line, marked(opt_cstr(i->a)), " in the path", "vanishes from it");
      if (i->compare && i->control && !defined(*i->control))
        add(int_, i->line, SevError,
            "control '" + *i->control + "' is not a setting: the text itself is compared with '" +
                *i->compare + "'");
      if (i->mode == ITimeDate && i->a && !defined(*i->a))
        add(int_, i->line, SevError, "TimeDate format setting '" + *i->a + "' is not defined");
    }
  }

  void check_sections() {
    std::set<std::string> in_q, in_cpy;
    for (const auto &[name, line] : q_sections_) in_q.insert(lower(name));
    for (const auto &[name, line] : cpy_sections_) in_cpy.insert(lower(name));
    for (const char *flow : Flows) {
      if (!in_q.count(flow))
        add(q_, 1, SevError, std::string("no [") + flow + "] section: that menu action fails");
      if (!in_cpy.count(flow))
        add(cpy_, 1, SevError,
            std::string("no [") + flow + "] section: that menu action changes nothing");
    }
    check_section_names(q_, q_sections_, in_cpy, "copy script");
    check_section_names(cpy_, cpy_sections_, in_q, "question file");
  }

  void check_section_names(const std::string &file,
                           const std::vector<std::pair<std::string, int>> &list,
                           const std::set<std::string> &other, const char *other_name) {
    std::map<std::string, int> first;
    for (const auto &[name, line] : list) {
      std::string key = lower(name);
      if (!first.emplace(key, line).second) {
        add(file, line, SevError,
            "second [" + name + "] section: only the first (line " +
                std::to_string(first[key]) + ") is read");
        continue;
      }
      if (std::find(std::begin(Flows), std::end(Flows), key) != std::end(Flows)) continue;
      const char *like = nullptr;
      for (const char *flow : Flows)
        if (distance(key, flow) <= 2 || key.find(flow) != std::string::npos) like = flow;
      if (like && !other.count(key))
        add(file, line, SevWarning,
            "no flow runs [" + name + "]; it looks like [" + like + "]");
      else if (!other.count(key))
        add(file, line, SevNote,
            "[" + name + "] has no section in the " + other_name + ": -special " + name +
                (file == cpy_ ? " stops before copying" : " changes nothing"));
    }
  }

  // What a loader said about each line, once a line: an unknown word, then the first
  // missing field (the later ones are missing because of it) and that the line is dropped.
  void report_notes(const std::string &file, const std::vector<LoadNote> &notes,
                    const std::string &in, const char *unknown_effect) {
    std::map<int, std::pair<std::string, bool>> lines;
    for (const LoadNote &n : notes) {
      auto &[text, dropped] = lines[n.line];
      if (dropped) continue;
      dropped = n.message.rfind("Missing", 0) == 0;
      text += (text.empty() ? "" : "; ") + n.message;
    }
    for (const auto &[line, note] : lines)
      add(file, line, SevError,
          note.first + in + (note.second ? ": the line is dropped" : unknown_effect));
  }

  void check_questions(const std::string &section, Questions *q) {
    const std::string in = " in [" + section + "]";
    report_notes(q_, q->notes, in, ": it is asked as text");
    std::set<std::string> set_here;
    for (unsigned i = 0; i < q->count; i++) {
      const Quest &e = q->list[i];
      std::string setting = e.setting.value_or("");
      unresolved(q_, e.line, marked(opt_cstr(e.text)), in, "vanishes from the text");
      if (e.control && !defined(*e.control))
        add(q_, e.line, SevError,
            "control setting '" + *e.control + "' of the question for '" + setting + "'" + in +
                " is never defined");
      if ((e.type & (QError | QLoop)) && !defined(setting))
        add(q_, e.line, SevError, "setting '" + setting + "' tested" + in + " is never defined");
      if (e.type == QLoop) {
        int target = s_atoi(opt_cstr(e.text));
        if (target < 0 || target >= static_cast<int>(q->count))
          add(q_, e.line, SevError,
              "Loop" + in + " goes to entry " + std::to_string(target) + ", but the entries are 0 to " +
                  std::to_string(q->count - 1));
      }
      if (asked(e.type) && !valued_.count(setting) && !init_sets_.count(setting) &&
          !set_here.count(setting))
        add(q_, e.line, SevWarning,
            "the question for '" + setting + "'" + in + " has no default: -automate stops here");
      if (!(e.type & (QError | QLoop))) set_here.insert(setting);
    }
  }

  void check_script(Script &s) {
    const std::string in = " in [" + s.name + "]";
    report_notes(cpy_, s.raw->notes, in, ": running it fails");
    for (unsigned i = 0; i < s.raw->count; i++) {
      const CCmd &raw = s.raw->list[i], &m = s.marked->list[i];
      const std::string what = std::string(keyword(raw.type)) + in;
      unresolved(cpy_, raw.line, m.source.value_or(""), " in " + what, "stays as written");
      unresolved(cpy_, raw.line, m.dest.value_or(""), " in " + what, "stays as written");
      if (raw.control && !defined(*raw.control))
        add(cpy_, raw.line, SevError,
            "controlling setting '" + *raw.control + "' of " + what +
                " is never defined: the command always runs");
      if (raw.type == Error && !defined(raw.source.value_or("")))
        add(cpy_, raw.line, SevError,
            "setting '" + raw.source.value_or("") + "' tested by " + what +
                " is never defined: the check always passes");
      check_command(s, i, what);
    }
  }

  void check_command(Script &s, unsigned i, const std::string &what) {
    const CCmd &raw = s.raw->list[i], &m = s.marked->list[i];
    char buffer[PATH_SIZE];
    // A destination whose settings all have defaults is judged as it expands; one that
    // uses a setting without a default only by how it is written.
    const std::string real = s.real->list[i].dest.value_or(""), mdest = m.dest.value_or("");
    bool resolved = real.find("$(") == std::string::npos;
    bool copies = raw.type == CpyFile || raw.type == CpyDir;
    if (copies && (resolved ? !copy_dst_file(s.real.get(), i, buffer, PATH_SIZE)
                            : mdest.empty() || mdest.back() == '/' || mdest.back() == '\\')) {
      copies = false;
      add(cpy_, raw.line, SevError,
          "destination '" + shown(m.dest.value_or("")) + "' of " + what +
              " ends in '/' or has none: \"No destination directories found\"");
    }
    if (raw.type == Chmod) {
      const std::string mode = m.dest.value_or("");
      if (!copy_parse_mode(mode.c_str()))
        add(cpy_, raw.line, SevError, "mode '" + mode + "' of " + what + " is not octal digits: the command fails");
    }
    if (raw.type == RmDir || raw.type == RmFile) {
      for (const auto &[setting, noun] : http_dirs_) {
        const std::string whole = mark(setting), src = m.source.value_or("");
        if (src == whole || src == whole + "/" || src == whole + "/*")
          add(cpy_, raw.line, SevWarning,
              what + " takes the whole " + noun + " $(" + setting +
                  ") that httpd.conf names, not something inside it");
      }
    }
    if (raw.type == CpyIni) note_template(s, i);
    if (copies && raw.type == CpyFile) check_run_bit(s, i, what);
  }

  void note_template(Script &s, unsigned i) {
    const char *path = s.real->list[i].source ? s.real->list[i].source->c_str() : "";
    if (std::strstr(path, "$(") || std::strchr(path, MarkOpen)) return;
    if (!file_exist(path)) {
      add(cpy_, s.raw->list[i].line, SevError,
          "template '" + relative(path) + "' of Ini in [" + s.name + "] does not exist");
      return;
    }
    template_users_[path].push_back({&s, i});
  }

  // A file with a run bit copied by CopyFile loses it; a later Chmod must give it back.
  void check_run_bit(Script &s, unsigned i, const std::string &what) {
    char dir[PATH_SIZE], wild[PATH_SIZE];
    if (!copy_src_path(s.real.get(), i, dir, PATH_SIZE) ||
        !copy_src_file(s.real.get(), i, wild, PATH_SIZE))
      return;
    std::unique_ptr<FHandle> h;
    std::unique_ptr<File> e = file_first(&h, dir, wild);
    for (bool more = e != nullptr; more; more = file_next(e.get(), h.get()) != 0) {
      struct stat st {};
      char name[PATH_SIZE];
      file_filename(e.get(), name, PATH_SIZE);
      if (file_isdir(e.get()) || stat(file_name(e.get()), &st) != 0 || !(st.st_mode & 0111) ||
          wild_ilist(name, opt_cstr(s.raw->list[i].not_)))
        continue;
      std::string target = s.marked->list[i].dest.value_or("") + "/" + name;
      if (!run_bit_given(s, i, target))
        add(cpy_, s.raw->list[i].line, SevWarning,
            what + " copies '" + name + "', which has a run bit, to '" + shown(target) +
                "' without one: no later Chmod gives it back");
    }
    file_free(&e);
    file_last(&h);
    file_last(&h);
  }

  static bool run_bit_given(Script &s, unsigned from, const std::string &target) {
    for (unsigned j = from + 1; j < s.marked->count; j++) {
      char dir[PATH_SIZE], wild[PATH_SIZE];
      const CCmd &c = s.marked->list[j];
      if (c.type != Chmod || !copy_src_path(s.marked.get(), j, dir, PATH_SIZE) ||
          !copy_src_file(s.marked.get(), j, wild, PATH_SIZE))
        continue;
      std::size_t n = std::strlen(dir);
      if (target.compare(0, n, dir) != 0) continue;
      std::string first = target.substr(n, target.find('/', n) - n);
      if (wild_match(first.c_str(), wild) && (std::strtoul(c.dest.value_or("").c_str(), nullptr, 8) & 0111))
        return true;
    }
    return false;
  }

  // Each template's references, and the answers of the install that a later flow's
  // template uses without asking them again or reading them back at start-up.
  void check_templates() {
    for (auto &[path, users] : template_users_) {
      Template t{path, {}};
      const std::string shown_path = relative(path);
      OwnedFile f(file_open_read(path.c_str()));
      read_lines(f.get(), [&](const Line &line) {
        std::string e = marked(line.text);
        unresolved(shown_path, line.number, e, "", "is written as is");
        t.lines.push_back({line.number, uses(e)});
        return true;
      });
      templates_[path] = t;
      for (const auto &[script, index] : users) check_answers(*script, t);
    }
  }

  void check_answers(Script &s, const Template &t) {
    if (lower(s.name) == "install" || !quests_.count("install")) return;
    std::set<std::string> asked_install, set_here;
    Questions *install = quests_["install"].get();
    for (unsigned i = 0; i < install->count; i++)
      if (asked(install->list[i].type) && install->list[i].setting)
        asked_install.insert(*install->list[i].setting);
    if (quests_.count(lower(s.name))) {
      Questions *q = quests_[lower(s.name)].get();
      for (unsigned i = 0; i < q->count; i++)
        if (q->list[i].setting) set_here.insert(*q->list[i].setting);
    }
    for (unsigned i = 0; i < s.raw->count; i++)
      if ((s.raw->list[i].type == Exist || s.raw->list[i].type == RFile) && s.raw->list[i].dest)
        set_here.insert(*s.raw->list[i].dest);
    std::set<std::string> told;
    for (const auto &[line, names] : t.lines)
      for (const std::string &n : names)
        if (asked_install.count(n) && !set_here.count(n) && !init_sets_.count(n) &&
            told.insert(n).second)
          add(relative(t.path), line, SevWarning,
              "'" + n + "' is answered at install, but [" + s.name +
                  "] neither asks it nor reads it back at start-up: it writes the default here");
  }

  void check_text_file(const std::string &file, const char *effect) {
    OwnedFile f(file_open_read(file.c_str()));
    read_lines(f.get(), [&](const Line &line) {
      unresolved(file, line.number, marked(line.text), "", effect);
      return true;
    });
  }

  // A setting read back from a file in a tree that a Chown gives away, then used in a path
  // or a template: the owner of that tree can steer where root writes.
  void check_read_back() {
    struct Tree { std::string dir, wild, owner, where; };
    std::vector<Tree> trees;
    for (Script &s : scripts_)
      for (unsigned i = 0; i < s.marked->count; i++) {
        char dir[PATH_SIZE], wild[PATH_SIZE];
        const CCmd &c = s.marked->list[i];
        if (c.type == Chown && c.dest && c.dest->rfind("root", 0) != 0 &&
            copy_src_path(s.marked.get(), i, dir, PATH_SIZE) &&
            copy_src_file(s.marked.get(), i, wild, PATH_SIZE))
          trees.push_back({dir, wild, shown(*c.dest), "Chown in [" + s.name + "]"});
      }
    auto inside = [&trees](const std::string &path) -> const Tree * {
      for (const Tree &t : trees) {
        if (path.compare(0, t.dir.size(), t.dir) != 0) continue;
        std::string first = path.substr(t.dir.size(), path.find('/', t.dir.size()) - t.dir.size());
        if (wild_match(first.c_str(), t.wild.c_str())) return &t;
      }
      return nullptr;
    };
    auto report = [&](const std::string &file, int line, const std::string &setting,
                      const std::string &path, const std::string &by) {
      const Tree *t = inside(path);
      if (!t) return;
      std::string use = used_in_path_or_template(setting);
      if (!use.empty())
        add(file, line, SevWarning,
            "'" + setting + "' is read back by " + by + " from '" + shown(path) +
                "', in the tree that " + t->where + " gives to " + t->owner + ", and used in " +
                use + ": that user could steer where root writes");
    };
    for (IItem *i = init_get_num(init_.get(), 0); i; i = init_get(init_.get()))
      if (i->mode == IRFile && i->b) report(int_, i->line, *i->b, marked(opt_cstr(i->a)), "RFile");
    for (Script &s : scripts_)
      for (unsigned i = 0; i < s.marked->count; i++)
        if (s.marked->list[i].type == RFile && s.raw->list[i].dest)
          report(cpy_, s.raw->list[i].line, *s.raw->list[i].dest,
                 s.marked->list[i].source.value_or(""), "RFile in [" + s.name + "]");
  }

  std::string used_in_path_or_template(const std::string &setting) {
    for (Script &s : scripts_)
      for (unsigned i = 0; i < s.marked->count; i++) {
        const CCmd &c = s.marked->list[i];
        if (c.type != Error &&
            (uses(c.source.value_or("")).count(setting) || uses(c.dest.value_or("")).count(setting)))
          return std::string("a path of ") + keyword(c.type) + " in [" + s.name + "]";
      }
    for (const auto &[path, t] : templates_)
      for (const auto &[line, names] : t.lines)
        if (names.count(setting)) return "template '" + relative(path) + "'";
    return "";
  }

  int print() {
    std::vector<std::string> order = {dat_, int_, q_, cpy_, "blurb.txt"};
    auto rank = [&order](const std::string &file) {
      auto at = std::find(order.begin(), order.end(), file);
      return at == order.end() ? order.size() : static_cast<std::size_t>(at - order.begin());
    };
    std::stable_sort(findings_.begin(), findings_.end(), [&](const Finding &a, const Finding &b) {
      if (rank(a.file) != rank(b.file)) return rank(a.file) < rank(b.file);
      if (a.file != b.file) return a.file < b.file;
      return a.line < b.line;
    });
    static const char *const names[] = {"error", "warning", "note"};
    bool error = false;
    for (const Finding &f : findings_) {
      con_print("%s:%d: %s: %s\n", f.file.c_str(), f.line, names[f.severity], f.message.c_str());
      error = error || f.severity == SevError;
    }
    return error ? 1 : 0;
  }

  std::string dat_, int_, q_, cpy_;
  std::unique_ptr<Ini> ini_, marks_;
  std::unique_ptr<Copy> marker_copy_;
  std::unique_ptr<Init> init_;
  std::vector<std::pair<std::string, int>> decls_, q_sections_, cpy_sections_;
  std::set<std::string> defined_, valued_, init_sets_;
  std::map<std::string, const char *> http_dirs_;
  std::map<std::string, std::unique_ptr<Questions>> quests_;
  std::vector<Script> scripts_;
  std::map<std::string, std::vector<std::pair<Script *, unsigned>>> template_users_;
  std::map<std::string, Template> templates_;
  std::vector<Finding> findings_;
};

}  // namespace

int check(const Options &o) { return Checker(o).run(); }

}  // namespace installer::tool
