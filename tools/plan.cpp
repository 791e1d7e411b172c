// install-check --plan: what one action would do on this host now, touching nothing. The
// settings come from the installer's own loaders and init commands (init "WFile" only
// shown); the copy section runs through the installer's own engine, with the system calls
// answered by a model of the disk (disk_model.h): every rule of the commands is the one
// the real run follows. Files are read as the installer reads them (regular files only,
// without blocking, within its caps), and a file read from outside the product is shown
// by its size, never its content.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <map>

#include "disk_model.h"
#include "file.h"
#include "init.h"
#include "lib.h"
#include "log.h"
#include "shared.h"
#include "sys.h"
#include "tool.h"

namespace installer::tool {

namespace {

// The plan's text goes to standard output unless the plan is asked for as JSON.
bool quiet = false;

void say(const char *format, ...) INSTALLER_PRINTF(1, 2);
void say(const char *format, ...) {
  if (quiet) return;
  va_list ap;
  va_start(ap, format);
  con_vprint(format, ap);
  va_end(ap);
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

// Where the planned run would stop, and why.
struct Stop {
  std::string file;
  std::optional<int> line;
  std::optional<std::string> command;
  std::string reason;
};

const char *word(int type) {
  const char *w = copy_word(type);
  return w ? w : "(unknown)";
}

// Runs the section with the installer's own engine over the model of the disk, as a flow
// runs it, and tells what each command does. The stop, if the run would end on a failure.
std::optional<Stop> run_section(const Options &o, Copy *copy, bool stop, DiskModel &model) {
  std::optional<Stop> stopped;
  copy->before = [&](unsigned i) {
    const CCmd &c = copy->list[i];
    say("%s:%d: %s %s%s%s\n", companion(o, ".cpy").c_str(), c.line, word(c.type),
        c.source.value_or("").c_str(), c.dest ? " -> " : "", c.dest.value_or("").c_str());
    if (c.control && copy_allows(copy, i))
      say("  runs: its controlling setting '%s' lets it\n", c.control->c_str());
    model.begin(c.line, word(c.type));
  };
  copy->after = [&](unsigned i, int result) {
    const CCmd &c = copy->list[i];
    if (result == -1) {
      say("  skipped: its controlling setting '%s' does not let it run\n",
          c.control.value_or("").c_str());
      return;
    }
    std::vector<Touch> touched = model.touched();
    for (const Touch &t : touched) {
      if (t.op)
        say("  %c %s%s%s%s\n", t.op, t.path.c_str(), t.dir ? "/" : "", t.source ? " <- " : "",
            t.source.value_or("").c_str());
      if (t.owner) say("  owner %s %s\n", t.owner->c_str(), t.path.c_str());
      if (t.mode) say("  mode %04o %s\n", static_cast<unsigned>(*t.mode), t.path.c_str());
    }
    if (result > 0) {
      struct stat st {};
      if (c.type == MkDir && touched.empty()) say("  (already there)\n");
      if (c.type == CpyIni && c.source && c.dest) model.made_from(*c.dest, *c.source);
      // What a file holds is never shown, only how much of it the setting takes.
      if (c.type == RFile && c.source && sys().stat(c.source->c_str(), &st) == 0)
        say("  (%llu bytes from %s) into %s\n", static_cast<unsigned long long>(st.st_size),
            c.source->c_str(), c.dest.value_or("").c_str());
      return;
    }
    std::string reason = c.type == Error ? copy_error() : model.last_error();
    say("  fails%s%s\n", reason.empty() ? "" : ": ", reason.c_str());
    if (stop && !stopped) {
      say("  the run stops here\n");
      stopped = Stop{companion(o, ".cpy"), c.line, word(c.type), reason};
    }
  };
  // The log's lines go to the model, which keeps the errors: the stream is one in memory
  // that the model's fwrite recognises, so nothing reaches a file.
  char unused[16];
  OwnedFile sink(fmemopen(unused, sizeof unused, "w"));
  std::unique_ptr<Log> log = log_init(LogError);
  Log *was = log_current();
  log->F = sink.get();
  log->Rotate = static_cast<std::size_t>(-1);
  {
    SysGuard guard;
    sys() = model.calls(sink.get());
    log_set(log.get());
    copy_setup(copy, nullptr, nullptr);
    unsigned files = 0;
    ByteCount bytes = 0;
    copy_process(copy, &files, stop ? &bytes : nullptr, stop ? 1 : 0);
    log_set(was);
  }
  log->F = nullptr;
  copy->before = nullptr;
  copy->after = nullptr;
  return stopped;
}

void show_httpd(bool named) {
  char values[4][LINE_SIZE] = {};
  char error[LINE_SIZE] = "";
  const char *labels[4] = {"User", "Group", "DocumentRoot", "ScriptAlias"};
  bool found[4];
  for (int v = 0; v < 4; v++)
    found[v] =
        init_find_http_conf(v == 0 ? values[0] : nullptr, v == 1 ? values[1] : nullptr,
                            v == 2 ? values[2] : nullptr, v == 3 ? values[3] : nullptr, error) != 0;
  if (const char *path = init_http_path()) {
    say("httpd.conf: %s\n", path);
  } else if (named) {
    say("httpd.conf: the file named cannot be read\n");
  } else {
    say("httpd.conf: none found; tried:\n");
    for (const char *place : http_files) say("  %s\n", place);
  }
  for (int v = 0; v < 4; v++) say("  %s %s\n", labels[v], found[v] ? values[v] : "(not found)");
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
      std::size_t len = c >= 0xc2 && c <= 0xdf   ? 2
                        : c >= 0xe0 && c <= 0xef ? 3
                        : c >= 0xf0 && c <= 0xf4 ? 4
                                                 : 0;
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

std::string json(const std::optional<std::string> &text) { return text ? json(*text) : "null"; }

std::string json(const std::optional<int> &n) { return n ? std::to_string(*n) : "null"; }

std::string json(const std::optional<Attr> &a, bool with_source) {
  if (!a) return "null";
  char mode[16] = "null";
  if (a->mode) snprintf(mode, sizeof mode, "\"%04o\"", static_cast<unsigned>(*a->mode));
  return "{\"type\": " + json(a->type) + ", \"mode\": " + mode + ", \"owner\": " + json(a->owner) +
         ", \"group\": " + json(a->group) +
         ", \"size\": " + (a->size ? std::to_string(*a->size) : "null") +
         (with_source ? ", \"source\": " + json(a->source) : std::string()) + "}";
}

void print_json(const std::string &action, const char *product, const std::optional<Stop> &stop,
                const std::vector<Change> &entries) {
  std::string out = "{\"format\": 1, \"action\": " + json(action) +
                    ", \"product\": " + (product ? json(std::string(product)) : "null") +
                    ",\n \"stops\": ";
  if (stop)
    out += "{\"file\": " + json(stop->file) + ", \"line\": " + json(stop->line) +
           ", \"command\": " + json(stop->command) + ", \"reason\": " + json(stop->reason) + "}";
  else
    out += "null";
  out += ",\n \"entries\": [";
  const char *sep = "\n  ";
  for (const Change &e : entries) {
    const char *op = e.op == '+' ? "create" : e.op == '-' ? "remove" : "change";
    const std::optional<Attr> &shown = e.after ? e.after : e.before;
    out += sep;
    out += "{\"path\": " + json(e.path) + ", \"op\": \"" + op +
           "\", \"type\": " + json(shown ? std::optional<std::string>(shown->type) : std::nullopt) +
           ", \"line\": " + (e.line ? std::to_string(e.line) : "null") +
           ", \"command\": " + (e.line ? json(e.command) : "null") +
           ",\n   \"before\": " + json(e.before, false) +
           ",\n   \"after\": " + json(e.after, true) + "}";
    sep = ",\n  ";
  }
  out += entries.empty() ? "]}\n" : "\n ]}\n";
  std::fputs(out.c_str(), stdout);
}

void print_text(const std::vector<Change> &entries, const std::optional<Stop> &stop) {
  say("Net effect:\n");
  for (const Change &e : entries) {
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
                      const std::vector<Change> &entries) {
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
    say("%s:%d: WFile %s would be written (not done here)\n", companion(o, ".int").c_str(), i->line,
        path);
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
          static_cast<unsigned long long>(read->second.value.size()), read->second.path.c_str());
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
  DiskModel model;
  std::optional<Stop> stops = run_section(o, copy.get(), stop, model);
  // The product's name as the run would end with it.
  product = ini_value_name(ini.get(), "product");
  if (quiet)
    json_out(product, stops, model.net_effect());
  else
    print_text(model.net_effect(), stops);
  return stops ? 1 : 0;
}

}  // namespace installer::tool
