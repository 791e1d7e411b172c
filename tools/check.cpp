// install-check: findings about a product's companion files and templates. Every finding
// comes from what the installer's loaders and expansion make of the files: what a loader
// dropped or did not know, which references an expansion left, which settings exist.
#include <sys/stat.h>
#include <unistd.h>

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
    if (c == MarkOpen)
      out += "$(";
    else if (c == MarkClose)
      out += ')';
    else
      out += c;
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
  const char *word = copy_word(type);
  return word ? word : "an unknown command";
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

std::string s_trim_left(const char *s) { return s + std::strspn(s, " \t"); }

std::string lower(std::string s) {
  for (char &c : s) c = static_cast<char>(charmap[static_cast<unsigned char>(c)]);
  return s;
}

// A path without doubled or trailing separators.
std::string norm(const std::string &path) {
  std::string out;
  for (char c : path)
    if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
  if (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string parent_of(const std::string &path) {
  std::size_t at = path.rfind('/');
  return at == std::string::npos ? "" : path.substr(0, at);
}

std::string base_of(const std::string &path) { return path.substr(path.rfind('/') + 1); }

bool has_wild(const std::string &s) { return s.find_first_of("*?[") != std::string::npos; }

bool digits(const std::string &s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// A folder and a last part as the commands split a marked source: no folder when the text
// has no separator (a setting standing for a whole path), every entry after a final '/'.
std::pair<std::string, std::string> split(const std::string &source) {
  std::size_t at = source.rfind('/');
  if (at == std::string::npos) return {"", source};
  std::string last = source.substr(at + 1);
  return {norm(source.substr(0, at + 1)), last.empty() ? "*" : last};
}

// Whether a path lies in what a folder and a pattern name: an entry of the folder that the
// pattern matches, or anything below one.
bool within(const std::string &path, const std::string &dir, const std::string &wild) {
  if (dir.empty() || path.size() <= dir.size() + 1 || path.compare(0, dir.size(), dir) != 0 ||
      path[dir.size()] != '/')
    return false;
  std::string rest = path.substr(dir.size() + 1);
  return wild_match(rest.substr(0, rest.find('/')).c_str(), wild.c_str()) != 0;
}

// What a section makes, in marked paths: entries, whole trees (what CopyDir copies), and
// patterns where the entries a source will hold are not known now; each with the first
// command that makes it, indexed for what the checks ask, so that a long script costs no
// more than its length.
struct Pattern {
  std::string dir, wild;
  bool tree;
};

class Works {
 public:
  static constexpr unsigned All = ~0u;

  // shapes: whether the entry keeps the owner and mode it is made with (a Rename moves an
  // entry with its own).
  void path(unsigned cmd, const std::string &p, bool tree, bool shapes) {
    first_.emplace(p, cmd);
    if (tree) trees_.emplace(p, cmd);
    for (std::size_t at = p.rfind('/'); at != std::string::npos && at > 0;
         at = p.rfind('/', at - 1)) {
      std::string rest = p.substr(at + 1);
      under_[p.substr(0, at)].push_back({cmd, rest.substr(0, rest.find('/')), shapes});
    }
  }

  void pattern(unsigned cmd, const Pattern &p) { patterns_.push_back({cmd, p}); }

  // Whether a command before `before` makes the path.
  bool makes(const std::string &path, unsigned before) const {
    auto at = first_.find(path);
    if (at != first_.end() && at->second < before) return true;
    for (std::size_t cut = path.rfind('/'); cut != std::string::npos && cut > 0;
         cut = path.rfind('/', cut - 1)) {
      auto t = trees_.find(path.substr(0, cut));
      if (t != trees_.end() && t->second < before) return true;
    }
    for (const auto &[cmd, p] : patterns_)
      if (cmd < before &&
          ((parent_of(path) == p.dir && wild_match(base_of(path).c_str(), p.wild.c_str())) ||
           (p.tree && within(path, p.dir, p.wild))))
        return true;
    return false;
  }

  // Whether a command before `before` makes something inside dir, which then exists.
  bool inside(const std::string &dir, unsigned before) const {
    auto at = under_.find(dir);
    if (at != under_.end() && at->second.front().cmd < before) return true;
    for (const auto &[cmd, p] : patterns_)
      if (cmd < before && (p.dir == dir || within(p.dir, dir, "*"))) return true;
    return false;
  }

  // The first command in [from, to) that makes, with an owner and mode of its own, something
  // in what a Chmod or a Chown of this folder and pattern changes; `to` when none does.
  unsigned touching(const std::string &dir, const std::string &wild, unsigned from,
                    unsigned to) const {
    unsigned found = to;
    auto at = under_.find(dir);
    if (at != under_.end())
      for (const Under &u : at->second)
        if (u.cmd >= from && u.cmd < found && u.shapes && wild_match(u.first.c_str(), wild.c_str()))
          found = u.cmd;
    for (const auto &[cmd, p] : patterns_)
      if (cmd >= from && cmd < found && within(p.dir + "/" + p.wild, dir, wild)) found = cmd;
    return found;
  }

 private:
  struct Under {
    unsigned cmd;
    std::string first;  // the component just below the folder
    bool shapes;
  };
  std::map<std::string, unsigned> first_, trees_;
  std::map<std::string, std::vector<Under>> under_;
  std::vector<std::pair<unsigned, Pattern>> patterns_;
};

// An entry of the product that a copy takes: its name below the source's folder.
struct Entry {
  std::string name;
  bool dir;
  bool run;  // a file with a run bit
};

// One section of the copy script three ways: as read, and expanded from the markers and
// from the defaults.
struct Script {
  std::string name;
  std::unique_ptr<Copy> raw, marked, real;
  Works works;
  // The Chmods that give a run bit, by the folder they change entries of.
  std::map<std::string, std::vector<std::pair<unsigned, std::string>>> run_bits;
  // The product's entries that each copy takes: listed when its source lies in a folder
  // that exists now.
  std::vector<std::optional<std::vector<Entry>>> sources;
};

// A template and what its lines use, file line by file line.
struct Template {
  std::string path;
  std::vector<std::pair<int, std::set<std::string>>> lines;
};

class Checker {
 public:
  explicit Checker(const Options &o)
      : o_(o),
        dat_(companion(o, ".dat")),
        int_(companion(o, ".int")),
        q_(companion(o, ".q")),
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
    check_unused();
    return print();
  }

 private:
  // A finding of the code's usual severity, or of the one given.
  void add(const std::string &file, int line, const char *code, std::string message) {
    const Code *c = find_code(code);
    findings_.push_back({file, line, c, c->severity, std::move(message)});
  }
  void add(const std::string &file, int line, const char *code, Code::Severity s,
           std::string message) {
    findings_.push_back({file, line, find_code(code), s, std::move(message)});
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
          // The tail of a long line is a declaration too, which the long line's finding
          // already covers.
          if (line.piece == 0) decls_.push_back({e->name, line.number});
          if (e->value) dat_values_.push_back(*e->value);
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
      if (i->mode == IHTTP_User && i->a) http_user_ = *i->a;
      if (i->mode == IHTTP_Group && i->a) http_group_ = *i->a;
    }
    q_sections_ = sections(q_);
    cpy_sections_ = sections(cpy_);
    for (const auto &[name, line] : q_sections_) {
      auto q = quest_init(ini_.get());
      if (quests_.count(lower(name)) || !quest_load(q.get(), q_.c_str(), name.c_str())) continue;
      for (unsigned i = 0; i < q->count; i++)
        if (q->list[i].setting && (q->list[i].type & (QError | QLoop)) == 0)
          defined_.insert(*q->list[i].setting);
      quests_[lower(name)] = std::move(q);
    }
    std::set<std::string> seen;
    for (const auto &[name, line] : cpy_sections_) {
      if (!seen.insert(lower(name)).second) continue;
      Script s{name, copy_init(nullptr), nullptr, nullptr, {}, {}, {}};
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
    real_copy_ = copy_init(ini_.get());
    for (Script &s : scripts_) {
      s.marked = expand_copy(*s.raw, marks_.get());
      s.real = expand_copy(*s.raw, ini_.get());
      if (lower(s.name) == "install") install_ = &s;
    }
    // What each section makes, the install's first: the other flows run after it.
    if (install_) simulate(*install_);
    for (Script &s : scripts_)
      if (&s != install_) simulate(s);
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
      add(file, line, "IC201",
          "$(" + name + ")" + where + " names no setting that anything defines: it " + effect +
              did_you_mean(name));
  }

  // The defined name a misspelt one is closest to, when one is close enough to be meant.
  std::string near(const std::string &name) const {
    std::size_t best = name.size() < 5 ? 2 : 3;
    std::string found;
    for (const std::string &d : defined_) {
      std::size_t n = distance(name, d);
      if (n < best) {
        best = n;
        found = d;
      }
    }
    return found;
  }

  std::string did_you_mean(const std::string &name) const {
    std::string n = near(name);
    return n.empty() ? "" : "; did you mean $(" + n + ")?";
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
          add(file, line, "IC101",
              "line longer than 999 characters: the installer reads it as " + std::to_string(n) +
                  " lines");
    }
  }

  void check_dat() {
    for (const std::string &file : {dat_, int_})
      if (OwnedFile f{file_open_read(file.c_str())}; !f)
        add(file, 1, "IC102", "cannot be read: the installer stops at start-up");
    // A pipe, a device or an oversized file where a companion file belongs.
    struct stat st {};
    for (const std::string &file : {q_, cpy_, std::string("blurb.txt")})
      if (stat(file.c_str(), &st) == 0 && !OwnedFile(file_open_read(file.c_str())))
        add(file, 1, "IC102",
            std::string("cannot be read (") + std::strerror(errno) +
                "): the installer reads none of it");
    std::map<std::string, int> first;
    for (const auto &[name, line] : decls_) {
      bool builtin =
          std::find(std::begin(Builtins), std::end(Builtins), name) != std::end(Builtins);
      if (builtin) {
        add(dat_, line, "IC103", "'" + name + "' is a built-in setting: this value is never used");
        continue;
      }
      if (!first.emplace(name, line).second) {
        add(dat_, line, "IC104",
            "'" + name + "' is declared again (first at line " + std::to_string(first[name]) +
                "): the installer uses the first value");
        continue;
      }
      const char *value = ini_value_name(ini_.get(), name.c_str());
      if (name.find('=') != std::string::npos) {
        add(dat_, line, "IC106",
            "declares a setting named '" + name + "'" + (value ? "" : " with no value") +
                ": there is no '=' sign in " + dat_ + "; write the name, blanks, then the value");
        continue;
      }
      if (value && value[0] == '=')
        add(dat_, line, "IC106",
            "the value of '" + name + "' is '" + value + "': there is no '=' sign in " + dat_ +
                "; write '" + name + "  " + s_trim_left(value + 1) + "'");
      if (!value) continue;
      const char *hash = std::strchr(value, '#');
      if (hash && hash > value && (hash[-1] == ' ' || hash[-1] == '\t'))
        add(dat_, line, "IC105",
            "the value of '" + name + "' takes in '" + std::string(hash) +
                "': a '#' after text is part of the value, not a comment");
      for (const std::string &ref : left(value))
        add(dat_, line, "IC201",
            "$(" + ref + ") in the value of '" + name +
                "' names no setting of this file: it stays as written" + did_you_mean(ref));
    }
  }

  void check_init() {
    report_notes(int_, init_->notes, "", ": the command does nothing");
    for (IItem *i = init_get_num(init_.get(), 0); i; i = init_get(init_.get())) {
      if (i->first_line != i->line)
        add(int_, i->first_line, "IC112",
            "init line with fewer than five fields: the installer merges it with line " +
                std::to_string(i->line));
      if (i->mode == IExist || i->mode == IWFile || i->mode == IRFile)
        unresolved(int_, i->line, marked(opt_cstr(i->a)), " in the path", "vanishes from it");
      if (i->compare && i->control && !defined(*i->control))
        add(int_, i->line, "IC202",
            "control '" + *i->control + "' is not a setting: the text itself is compared with '" +
                *i->compare + "'");
      if (i->mode == ITimeDate && i->a && !defined(*i->a))
        add(int_, i->line, "IC203", "TimeDate format setting '" + *i->a + "' is not defined");
    }
  }

  void check_sections() {
    std::set<std::string> in_q, in_cpy;
    for (const auto &[name, line] : q_sections_) in_q.insert(lower(name));
    for (const auto &[name, line] : cpy_sections_) in_cpy.insert(lower(name));
    for (const char *flow : Flows) {
      if (!in_q.count(flow))
        add(q_, 1, "IC120", std::string("no [") + flow + "] section: that menu action fails");
      if (!in_cpy.count(flow))
        add(cpy_, 1, "IC120",
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
        add(file, line, "IC121",
            "second [" + name + "] section: only the first (line " + std::to_string(first[key]) +
                ") is read");
        continue;
      }
      if (std::find(std::begin(Flows), std::end(Flows), key) != std::end(Flows)) continue;
      const char *like = nullptr;
      for (const char *flow : Flows)
        if (distance(key, flow) <= 2 || key.find(flow) != std::string::npos) like = flow;
      if (like && !other.count(key))
        add(file, line, "IC122", "no flow runs [" + name + "]; it looks like [" + like + "]");
      else if (!other.count(key))
        add(file, line, "IC123",
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
      add(file, line, note.second ? "IC111" : "IC110",
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
        add(q_, e.line, "IC202",
            "control setting '" + *e.control + "' of the question for '" + setting + "'" + in +
                " is never defined");
      if ((e.type & (QError | QLoop)) && !defined(setting))
        add(q_, e.line, "IC203", "setting '" + setting + "' tested" + in + " is never defined");
      if (e.type == QLoop) {
        int target = s_atoi(opt_cstr(e.text));
        if (target < 0 || target >= static_cast<int>(q->count))
          add(q_, e.line, "IC131",
              "Loop" + in + " goes to entry " + std::to_string(target) +
                  ", but the entries are 0 to " + std::to_string(q->count - 1));
      }
      if (asked(e.type) && !valued_.count(setting) && !init_sets_.count(setting) &&
          !set_here.count(setting))
        add(q_, e.line, "IC130",
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
        add(cpy_, raw.line, "IC202",
            "controlling setting '" + *raw.control + "' of " + what +
                " is never defined: the command always runs");
      if (raw.type == Error && !defined(raw.source.value_or("")))
        add(cpy_, raw.line, "IC203",
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
      add(cpy_, raw.line, "IC301",
          "destination '" + shown(m.dest.value_or("")) + "' of " + what +
              " ends in '/' or has none: \"No destination directories found\"");
    }
    if (raw.type == Chmod) {
      const std::string mode = m.dest.value_or("");
      if (!copy_parse_mode(mode.c_str()))
        add(cpy_, raw.line, "IC302",
            "mode '" + mode + "' of " + what + " is not octal digits: the command fails");
    }
    if (raw.type == RmDir || raw.type == RmFile) {
      bool whole_folder = false;
      for (const auto &[setting, noun] : http_dirs_) {
        const std::string whole = mark(setting), src = m.source.value_or("");
        if (src == whole || src == whole + "/" || src == whole + "/*") {
          whole_folder = true;
          add(cpy_, raw.line, "IC303",
              what + " takes the whole " + noun + " $(" + setting +
                  ") that httpd.conf names, not something inside it");
        }
      }
      if (!whole_folder) check_remove_wildcard(s, i, what);
    }
    if (raw.type == CpyIni) note_template(s, i);
    if (copies || raw.type == CpyIni) check_source(s, i, what);
    if (copies) check_destination(s, i, what);
    if (copies) check_run_bit(s, i, what);
    if (raw.type == Chown) check_owner(s, i, what);
    if (raw.type == Rename) check_rename(s, i, what);
    if (raw.type == Chmod || raw.type == Chown) check_order(s, i, what);
  }

  // ------------------------------------------------------------------------- the disk

  static bool stops(const Script &s) {
    return lower(s.name) == "install" || lower(s.name) == "upgrade";
  }

  // What to write instead of an owner or group this host lacks: the setting the web-server
  // discovery (`command`, HTTP_User or HTTP_Group) fills, or that discovery itself.
  std::string discovery_advice(bool found, const std::string &setting, const char *command,
                               const std::string &kind) const {
    if (found)
      return "; it is only the default of $(" + setting + "), which " + command +
             " takes from httpd.conf where there is one";
    if (!setting.empty())
      return "; write $(" + setting + "), which " + command + " fills from httpd.conf";
    return "; let the web-server discovery fill it: '" + std::string(command) + "  web_" + kind +
           "  no_" + kind + "  -  -' in " + int_ + ", then write $(web_" + kind + ")";
  }

  std::string stop_text(const Script &s) const {
    return stops(s) ? "the command fails and the run stops here" : "the command fails";
  }

  // A marked text with the defaults' values in place of its markers; nothing when a
  // setting in it has no value.
  std::optional<std::string> real_path(const std::string &marked_text) const {
    std::string text = shown(marked_text);
    std::optional<std::string> e = replace_vars(real_copy_.get(), text.c_str());
    std::string out = e ? *e : text;
    if (out.find("$(") != std::string::npos) return std::nullopt;
    return out;
  }

  bool exists_now(const std::string &marked_path) const {
    std::optional<std::string> path = real_path(marked_path);
    return path && !path->empty() && file_exist(path->c_str());
  }

  // Whether a command of this section before `index`, or of the install when this is a
  // later flow, makes the path.
  bool made_before(const Script &s, unsigned index, const std::string &path) const {
    return s.works.makes(path, index) ||
           (install_ && &s != install_ && install_->works.makes(path, Works::All));
  }

  // The product's entries a copy takes, when its source lies in a folder there is now.
  static std::optional<std::vector<Entry>> list_source(Script &s, unsigned i) {
    char dir[PATH_SIZE], wild[PATH_SIZE];
    if (!copy_src_path(s.real.get(), i, dir, PATH_SIZE) ||
        !copy_src_file(s.real.get(), i, wild, PATH_SIZE) || std::strstr(dir, "$(") ||
        !file_isdir_path(dir))
      return std::nullopt;
    std::vector<Entry> entries;
    const char *not_ = opt_cstr(s.raw->list[i].not_);
    bool tree = s.raw->list[i].type == CpyDir;
    list_dir(dir, wild, not_, tree, "", entries, 0);
    return entries;
  }

  static bool file_isdir_path(const char *path) {
    struct stat st {};
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
  }

  static void list_dir(const std::string &dir, const char *wild, const char *not_, bool tree,
                       const std::string &prefix, std::vector<Entry> &entries, int depth) {
    std::unique_ptr<FHandle> h;
    std::unique_ptr<File> e = file_first(&h, dir.c_str(), wild);
    std::vector<std::string> below;
    const std::size_t first = entries.size();
    for (bool more = e != nullptr; more; more = file_next(e.get(), h.get()) != 0) {
      struct stat st {};
      char name[PATH_SIZE];
      file_filename(e.get(), name, PATH_SIZE);
      if (wild_ilist(name, not_) || stat(file_name(e.get()), &st) != 0) continue;
      bool is_dir = file_isdir(e.get()) != 0;
      if (is_dir && !tree) continue;
      entries.push_back({prefix + name, is_dir, !is_dir && (st.st_mode & 0111) != 0});
      if (is_dir && depth < 32) below.push_back(name);
    }
    file_free(&e);
    file_last(&h);
    // In name order, whatever order the folder lists them in.
    std::sort(entries.begin() + static_cast<std::ptrdiff_t>(first), entries.end(),
              [](const Entry &x, const Entry &y) { return x.name < y.name; });
    std::sort(below.begin(), below.end());
    for (const std::string &name : below)
      list_dir(dir + "/" + name, "*", not_, tree, prefix + name + "/", entries, depth + 1);
  }

  // Walks a section in order and keeps what each command makes.
  void simulate(Script &s) {
    for (unsigned i = 0; i < s.marked->count; i++) {
      const CCmd &c = s.marked->list[i];
      const std::string src = norm(c.source.value_or("")), dst = norm(c.dest.value_or(""));
      s.sources.push_back(std::nullopt);
      switch (c.type) {
        case MkDir:
          s.works.path(i, src, false, true);
          break;
        case CpyFile:
        case CpyDir: {
          s.sources.back() = list_source(s, i);
          bool tree = c.type == CpyDir;
          if (!s.sources.back()) {
            s.works.pattern(i, {dst, split(c.source.value_or("")).second, tree});
            break;
          }
          for (const Entry &e : *s.sources.back())
            if (e.name.find('/') == std::string::npos)
              s.works.path(i, dst + "/" + e.name, e.dir, true);
          break;
        }
        case CpyIni:
          s.works.path(i, dst, false, true);
          break;
        case WFile:
          s.works.path(i, src, false, true);
          break;
        case Rename:
          s.works.path(i, dst, true, false);
          break;
        case Chmod:
          if (std::strtoul(c.dest.value_or("").c_str(), nullptr, 8) & 0111) {
            const auto [dir, wild] = split(c.source.value_or(""));
            if (!dir.empty()) s.run_bits[dir].push_back({i, wild});
          }
          break;
        default:
          break;
      }
    }
  }

  // A copy's source: outside the product through '..', or matching nothing in it.
  void check_source(Script &s, unsigned i, const std::string &what) {
    const std::string written = shown(s.marked->list[i].source.value_or(""));
    const std::string base = "$(current_dir)/";
    if (written.compare(0, base.size(), base) == 0) {
      int depth = 0;
      bool outside = false;
      std::string rest = written.substr(base.size());
      for (std::size_t at = 0; at <= rest.size() && !outside;) {
        std::size_t end = rest.find('/', at);
        if (end == std::string::npos) end = rest.size();
        std::string part = rest.substr(at, end - at);
        if (part == "..")
          outside = --depth < 0;
        else if (!part.empty() && part != ".")
          depth++;
        at = end + 1;
      }
      if (outside) {
        add(cpy_, s.raw->list[i].line, "IC311",
            "source '" + written + "' of " + what +
                " lies outside the product folder: where the product is unpacked on its own, " +
                stop_text(s) + "; ship the file inside the product");
        return;
      }
    }
    if (s.raw->list[i].type == CpyIni) return;
    char dir[PATH_SIZE], wild[PATH_SIZE];
    if (!copy_src_path(s.real.get(), i, dir, PATH_SIZE) ||
        !copy_src_file(s.real.get(), i, wild, PATH_SIZE) || std::strstr(dir, "$(") ||
        written.compare(0, base.size(), base) != 0)
      return;
    const auto &entries = s.sources[i];
    bool any = false;
    if (entries)
      for (const Entry &e : *entries) any = any || e.name.find('/') == std::string::npos;
    if (!any)
      add(cpy_, s.raw->list[i].line, "IC310",
          "source '" + written + "' of " + what + " matches nothing in the product" +
              (entries ? "" : " (its folder is missing)") + ": " + stop_text(s));
  }

  // A copy into a folder that nothing makes and that is not there.
  void check_destination(Script &s, unsigned i, const std::string &what) {
    const std::string dst = norm(s.marked->list[i].dest.value_or(""));
    if (dst.find('/') == std::string::npos || has_wild(base_of(dst))) return;
    for (const auto &[setting, noun] : http_dirs_)
      if (dst == mark(setting)) return;
    // A folder something was made in is there too, made on the way or there before.
    if (made_before(s, i, dst) || exists_now(dst) || s.works.inside(dst, i) ||
        (install_ && &s != install_ && install_->works.inside(dst, Works::All)))
      return;
    add(cpy_, s.raw->list[i].line, "IC314",
        "destination folder '" + shown(dst) + "' of " + what +
            " is made by no command before it and is not there now: \"No destination "
            "directories found\", " +
            stop_text(s) + "; add 'MkDir " + shown(dst) + "' before it");
  }

  void check_rename(Script &s, unsigned i, const std::string &what) {
    if (&s != install_) return;
    const std::string src = norm(s.marked->list[i].source.value_or(""));
    if (src.find('/') == std::string::npos || made_before(s, i, src) || exists_now(src)) return;
    add(cpy_, s.raw->list[i].line, "IC312",
        what + " renames '" + shown(src) +
            "', which no command before it creates and which is not there now: \"Error "
            "renaming\", " +
            stop_text(s));
  }

  // A Chmod or Chown of the install that comes before every command making what it changes.
  void check_order(Script &s, unsigned i, const std::string &what) {
    if (&s != install_) return;
    const auto [dir, wild] = split(s.marked->list[i].source.value_or(""));
    if (dir.empty()) return;
    if (s.works.touching(dir, wild, 0, i) != i) return;
    const unsigned count = s.marked->count;
    if (unsigned j = s.works.touching(dir, wild, i + 1, count); j != count)
      add(cpy_, s.raw->list[i].line, "IC313",
          what + " comes before line " + std::to_string(s.raw->list[j].line) + " (" +
              keyword(s.raw->list[j].type) + "), which makes what it changes: those " +
              "entries keep the owner and mode a copy gives; move it after that line");
  }

  // A removal by wildcard in a folder the install did not make: it takes whatever else
  // matches there too.
  void check_remove_wildcard(Script &s, unsigned i, const std::string &what) {
    const auto [dir, wild] = split(s.marked->list[i].source.value_or(""));
    if (dir.empty() || !has_wild(wild) || !install_) return;
    if (install_->works.makes(dir, Works::All)) return;
    add(cpy_, s.raw->list[i].line, "IC315",
        what + " removes every entry of '" + shown(dir) + "' that '" + wild +
            "' matches, and the install did not make that folder: what other applications "
            "keep there goes too; name what the install made");
  }

  static std::string hostname() {
    char name[LINE_SIZE] = "";
    if (gethostname(name, sizeof name - 1) != 0) return "127.0.0.1";
    return name;
  }

  // A Chown's owner as it expands from the defaults, looked up on this host.
  void check_owner(Script &s, unsigned i, const std::string &what) {
    const std::string owner = s.real->list[i].dest.value_or("");
    if (owner.empty() || owner.find("$(") != std::string::npos) return;
    const std::string user = owner.substr(0, owner.find(':'));
    const std::size_t colon = owner.find(':');
    const std::string group = colon == std::string::npos ? "" : owner.substr(colon + 1);
    const std::set<std::string> named = uses(s.marked->list[i].dest.value_or(""));
    const int line = s.raw->list[i].line;
    if (digits(user) || digits(group)) {
      add(cpy_, line, "IC308",
          "owner '" + owner + "' of " + what + " is a number, but only names are looked up: " +
              stop_text(s) + " on every host (\"no such user\"); write names, best " +
              "$(web_user):$(web_group) as HTTP_User and HTTP_Group fill them from httpd.conf");
      return;
    }
    const std::string host = "host '" + hostname() + "'";
    if (file_getuid(user.c_str()) < 0) {
      bool found = !http_user_.empty() && named.count(http_user_);
      std::string advice = discovery_advice(found, http_user_, "HTTP_User", "user");
      add(cpy_, line, "IC306", found ? Code::Warning : Code::Error,
          "user '" + user + "' of " + what + " does not exist on " + host +
              ", where this check ran: there " + stop_text(s) + " (\"no such user\")" + advice);
      return;
    }
    if (!group.empty() && file_getgid(group.c_str()) < 0) {
      bool found = !http_group_.empty() && named.count(http_group_);
      std::string advice = discovery_advice(found, http_group_, "HTTP_Group", "group");
      add(cpy_, line, "IC307",
          "group '" + group + "' of " + what + " does not exist on " + host +
              ", where this check ran: there the entries get the group whose number is the "
              "user's id (" +
              std::to_string(file_getuid(user.c_str())) +
              "), rarely what is "
              "meant" +
              advice);
    }
  }

  void note_template(Script &s, unsigned i) {
    const char *path = s.real->list[i].source ? s.real->list[i].source->c_str() : "";
    if (std::strstr(path, "$(") || std::strchr(path, MarkOpen)) return;
    if (!file_exist(path)) {
      add(cpy_, s.raw->list[i].line, "IC304",
          "template '" + relative(path) + "' of Ini in [" + s.name +
              "] does not exist: \"Error reading ini file\", " + stop_text(s));
      return;
    }
    template_users_[path].push_back({&s, i});
  }

  // A copy never carries the source's mode: a script a URL runs (a .cgi, anything in the CGI
  // folder) or a file shipped with a run bit needs a later Chmod. A file the previous
  // release installed keeps its mode in an upgrade, so outside the install the finding
  // holds only for files new in this release, which --from tells.
  void check_run_bit(Script &s, unsigned i, const std::string &what) {
    if (!s.sources[i]) return;
    const std::string dest = s.marked->list[i].dest.value_or("");
    std::vector<std::string> cgi_dirs;
    for (const auto &[setting, noun] : http_dirs_)
      if (std::string(noun) == "CGI folder") cgi_dirs.push_back(mark(setting) + "/");
    char dir[PATH_SIZE];
    copy_src_path(s.real.get(), i, dir, PATH_SIZE);
    int shown_files = 0;
    for (const Entry &e : *s.sources[i]) {
      if (e.dir) continue;
      std::string target = dest + "/" + e.name;
      bool url = lower(e.name).size() > 4 && lower(e.name).rfind(".cgi") == e.name.size() - 4;
      for (const std::string &c : cgi_dirs) url = url || target.compare(0, c.size(), c) == 0;
      if ((!url && !e.run) || run_bit_given(s, i, target)) continue;
      Code::Severity severity = Code::Warning;
      std::string newness;
      if (&s != install_) {
        if (!o_.from) {
          severity = Code::Note;
          newness =
              "; if the previous release installed it, the upgrade keeps its mode "
              "(--from OLD-PRODUCT tells)";
        } else {
          std::string old = *o_.from + "/" + relative(std::string(dir) + e.name);
          if (file_exist(old.c_str())) continue;
          newness = "; it is new in this release";
        }
      }
      if (++shown_files > 5) continue;
      add(cpy_, s.raw->list[i].line, "IC305", severity,
          url ? what + " installs '" + e.name + "' at '" + shown(target) +
                    "', which a URL runs, without a run bit: a copy never carries the " +
                    "source's mode and no later Chmod gives one, so the web server answers " +
                    "500" + newness
              : what + " copies '" + e.name + "', which has a run bit, to '" + shown(target) +
                    "' without one: no later Chmod gives it back" + newness);
    }
  }

  // Whether a Chmod after command `from` gives the target a run bit: one that changes the
  // entries of a folder on the target's way.
  static bool run_bit_given(const Script &s, unsigned from, const std::string &target) {
    for (std::size_t cut = target.rfind('/'); cut != std::string::npos && cut > 0;
         cut = target.rfind('/', cut - 1)) {
      auto at = s.run_bits.find(target.substr(0, cut));
      if (at == s.run_bits.end()) continue;
      for (const auto &[j, wild] : at->second)
        if (j > from && within(target, at->first, wild)) return true;
    }
    return false;
  }

  // Each template's references, and the answers of the install that a later flow's
  // template uses without asking them again or reading them back at start-up.
  // Templates are read as Ini reads them: every line, comments included, 2,999 characters
  // at a time; a line holding a reference loses its indentation.
  void check_templates() {
    for (auto &[path, users] : template_users_) {
      Template t{path, {}};
      const std::string shown_path = relative(path);
      OwnedFile f(file_open_read(path.c_str()));
      char buffer[TEMPLATE_LINE_SIZE];
      int number = 0, pieces = 0;
      bool whole = true;  // the read before ended its file line
      while (f && std::fgets(buffer, TEMPLATE_LINE_SIZE, f.get())) {
        std::size_t n = std::strlen(buffer);
        bool ends = n > 0 && buffer[n - 1] == '\n';
        if (whole) {
          number++;
          pieces = 0;
        }
        pieces++;
        whole = ends;
        if (ends && pieces > 1)
          add(shown_path, number, "IC101",
              "line longer than 2,999 characters: Ini writes it as " + std::to_string(pieces) +
                  " lines");
        while (n > 0 && std::strchr(" \t\r\n", buffer[n - 1])) buffer[--n] = '\0';
        const char *text = buffer + std::strspn(buffer, " \t");
        if (!std::strstr(text, "$(")) continue;
        if (text != buffer && pieces == 1)
          add(shown_path, number, "IC211",
              "the line is indented and holds a reference: Ini writes it without its "
              "indentation, which changes a Makefile, YAML or Python file");
        std::string e = marked(text);
        for (const std::string &name : left(e)) template_reference(shown_path, number, name);
        t.lines.push_back({number, uses(e)});
      }
      templates_[path] = t;
      for (const auto &[script, index] : users) check_answers(*script, t);
    }
  }

  // A reference in a template that names no setting is written as it stands, which a shell
  // script's $(pwd) wants; one close to a setting's name is more likely a misspelling, and
  // one that could not be a setting's name at all is no reference the author meant.
  void template_reference(const std::string &file, int line, const std::string &name) {
    if (name.empty() || name.find_first_of(" \t\"'$(") != std::string::npos) return;
    if (!near(name).empty())
      add(file, line, "IC201",
          "$(" + name + ") names no setting that anything defines: it is written as it stands" +
              did_you_mean(name));
    else
      add(file, line, "IC210", "$(" + name + ") names no setting: it is written as it stands");
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
          add(relative(t.path), line, "IC212",
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

  // Declared settings and asked answers that nothing reads: no reference in any file or
  // template, no control, no test, no command that takes a setting's name.
  void check_unused() {
    std::set<std::string> used(std::begin(Builtins), std::end(Builtins));
    used.insert("product");
    auto refs = [&used, this](const std::optional<std::string> &text) {
      for (const std::string &n : uses(marked(opt_cstr(text)))) used.insert(n);
    };
    auto name = [&used](const std::optional<std::string> &n) {
      if (n) used.insert(*n);
    };
    for (const std::string &v : dat_values_) refs(v);
    for (IItem *i = init_get_num(init_.get(), 0); i; i = init_get(init_.get())) {
      refs(i->a);
      refs(i->b);
      name(i->control);
      name(i->compare);
      if (i->mode == IWFile || i->mode == ICopy) name(i->b);
      if (i->mode == ITimeDate) name(i->a);
    }
    std::set<std::string> set_elsewhere(init_sets_);
    for (const auto &[section, q] : quests_)
      for (unsigned i = 0; i < q->count; i++) {
        const Quest &e = q->list[i];
        refs(e.text);
        name(e.control);
        name(e.control_cmp);
        if (e.type & (QError | QLoop)) name(e.setting);
        if (e.type == QCopy) name(e.text);
        if (!asked(e.type) && e.setting) set_elsewhere.insert(*e.setting);
      }
    for (const Script &sc : scripts_)
      for (unsigned i = 0; i < sc.raw->count; i++) {
        const CCmd &c = sc.raw->list[i];
        refs(c.source);
        refs(c.dest);
        name(c.control);
        name(c.control_cmp);
        if (c.type == Error) name(c.source);
        if (c.type == WFile) name(c.dest);
        if ((c.type == Exist || c.type == RFile) && c.dest) set_elsewhere.insert(*c.dest);
      }
    for (const auto &[path, t] : templates_)
      for (const auto &[line, names] : t.lines) used.insert(names.begin(), names.end());
    if (OwnedFile f{file_open_read("blurb.txt")})
      read_lines(f.get(), [&](const Line &line) {
        for (const std::string &n : uses(marked(line.text))) used.insert(n);
        return true;
      });
    std::set<std::string> told;
    for (const auto &[section, q] : quests_)
      for (unsigned i = 0; i < q->count; i++) {
        const Quest &e = q->list[i];
        if (!asked(e.type) || !e.setting || used.count(*e.setting) ||
            !told.insert(*e.setting).second)
          continue;
        add(q_, e.line, "IC204",
            "the answer to the question for '" + *e.setting + "' in [" + section +
                "] is used by nothing: no reference, control, test or command reads it");
      }
    for (const auto &[n, line] : decls_) {
      if (used.count(n) || set_elsewhere.count(n) || n.find('=') != std::string::npos ||
          !told.insert(n).second)
        continue;
      add(dat_, line, "IC204",
          "'" + n +
              "' is declared but nothing uses it: no reference, control, test or command "
              "reads it");
    }
  }

  // A setting read back from a file in a tree that a Chown gives away, then used in a path
  // or a template: the owner of that tree can steer what root writes.
  void check_read_back() {
    struct Tree {
      std::string dir, wild, owner, where;
    };
    std::vector<Tree> trees;
    for (Script &s : scripts_)
      for (unsigned i = 0; i < s.marked->count; i++) {
        const CCmd &c = s.marked->list[i];
        if (c.type != Chown || !c.dest || c.dest->rfind("root", 0) == 0) continue;
        // A source without a separator (a setting standing for a whole folder) is that
        // folder itself, not an entry of the working directory.
        const auto [dir, wild] = split(c.source.value_or(""));
        trees.push_back({dir, wild, shown(*c.dest), "Chown in [" + s.name + "]"});
      }
    auto inside = [&trees](const std::string &path) -> const Tree * {
      const std::string p = norm(path);
      for (const Tree &t : trees) {
        if (t.dir.empty() ? wild_match(p.substr(0, p.find('/')).c_str(), t.wild.c_str()) != 0
                          : within(p, t.dir, t.wild))
          return &t;
      }
      return nullptr;
    };
    auto report = [&](const std::string &file, int line, const std::string &setting,
                      const std::string &path, const std::string &by) {
      const Tree *t = inside(path);
      if (!t) return;
      std::string use = used_in_path_or_template(setting);
      if (!use.empty())
        add(file, line, "IC401",
            "'" + setting + "' is read back by " + by + " from '" + shown(path) +
                "', in the tree that " + t->where + " gives to " + t->owner + ", and used in " +
                use + ": that user could steer what root writes");
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
        if (c.type != Error && (uses(c.source.value_or("")).count(setting) ||
                                uses(c.dest.value_or("")).count(setting)))
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
    return report(o_, findings_, {dat_, int_, q_, cpy_});
  }

  const Options &o_;
  std::string dat_, int_, q_, cpy_;
  std::unique_ptr<Ini> ini_, marks_;
  std::unique_ptr<Copy> marker_copy_, real_copy_;
  std::unique_ptr<Init> init_;
  std::vector<std::pair<std::string, int>> decls_, q_sections_, cpy_sections_;
  std::set<std::string> defined_, valued_, init_sets_;
  std::map<std::string, const char *> http_dirs_;
  std::map<std::string, std::unique_ptr<Questions>> quests_;
  std::vector<Script> scripts_;
  std::map<std::string, std::vector<std::pair<Script *, unsigned>>> template_users_;
  std::map<std::string, Template> templates_;
  std::vector<Finding> findings_;
  std::vector<std::string> dat_values_;
  std::string http_user_, http_group_;  // the settings HTTP_User and HTTP_Group fill
  Script *install_ = nullptr;
};

}  // namespace

int check(const Options &o) { return Checker(o).run(); }

}  // namespace installer::tool
