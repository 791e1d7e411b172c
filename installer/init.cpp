// The init file loader and the discovery of the web server's configuration.
#include "init.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "file.h"
#include "log.h"

namespace installer {

// ---------------------------------------------------------------------------------------
// Init file

namespace {

std::optional<std::string> last_error;

struct CommandWord {
  const char *word;
  IItemMode mode;
};

constexpr CommandWord command_words[] = {
    {"Exist", IExist},           {"Copy", ICopy},           {"HTTP_User", IHTTP_User},
    {"HTTP_Group", IHTTP_Group}, {"HTTP_Root", IHTTP_Root}, {"HTTP_Scripts", IHTTP_Scripts},
    {"TimeDate", ITimeDate},     {"WFile", IWFile},         {"RFile", IRFile},
};

// An unknown word leaves the mode alone: a pending item keeps the command an earlier
// short line gave it.
void set_command(Init *x, IItem *item, const std::string &word, int number) {
  for (const CommandWord &c : command_words) {
    if (word == c.word) {
      item->mode = c.mode;
      return;
    }
  }
  emsg("Unknown init command '%s'", word.c_str());
  x->notes.push_back({number, "Unknown init command '" + word + "'"});
}

// "-" means "none" only for the control and compare positions, and then it keeps
// whatever an earlier short line put there.
void set_optional(std::optional<std::string> *slot, std::string field) {
  if (field != "-") *slot = std::move(field);
}

// Fills the pending item from one command line. True when the line was complete (five
// fields), so the item is ready; a shorter line leaves its fields for the next line.
bool fill_item(Init *x, IItem *item, const char *line, int number) {
  Fields fields(line);
  std::optional<std::string> word = fields.next();
  if (!word) return false;
  set_command(x, item, *word, number);

  std::optional<std::string> field = fields.next();
  if (!field) return false;
  item->a = std::move(field);
  if (!(field = fields.next())) return false;
  item->b = std::move(field);
  if (!(field = fields.next())) return false;
  set_optional(&item->control, std::move(*field));
  if (!(field = fields.next())) return false;
  set_optional(&item->compare, std::move(*field));
  return true;  // anything after the fifth field is ignored
}

}  // namespace

std::unique_ptr<Init> init_init() {
  auto x = std::make_unique<Init>();
  x->list = array_init<IItem>();
  return x;
}

void init_parse_line(Init *x, const char *line, int number) {
  if (!x || !line || is_comment(line)) return;
  if (!x->list) x->list = array_init<IItem>();
  if (!x->pending) {
    x->pending = std::make_unique<IItem>();
    x->pending->first_line = number;
  }
  if (fill_item(x, x->pending.get(), line, number)) {
    x->pending->line = number;
    array_add(x->list.get(), std::move(x->pending));
  }
}

int init_load(Init *x, const char *file) {
  if (!x || !file) return 0;
  OwnedFile f(file_open_read(file));
  if (!f) {
    init_seterror("Failed to read '%s', %s", file, std::strerror(errno));
    return 0;
  }
  read_lines(f.get(), [x](const Line &line) {
    init_parse_line(x, line.text, line.number);
    return true;
  });
  // An item still pending here had no complete line: it is dropped.
  if (x->pending) {
    x->notes.push_back(
        {x->pending->first_line, "Missing fields at the end of the file (a command takes five)"});
    x->pending.reset();
  }
  return 1;
}

IItem *init_get_num(Init *x, int index) {
  return x ? array_get_num(x->list.get(), index) : nullptr;
}

IItem *init_get(Init *x) { return x ? array_get(x->list.get()) : nullptr; }

void init_free(std::unique_ptr<Init> *x) {
  if (x) x->reset();
}

void init_item_free(std::unique_ptr<IItem> *x) {
  if (x) x->reset();
}

void init_seterror(const char *format, ...) {
  if (!format) return;
  char buffer[LINE_SIZE];
  va_list args;
  va_start(args, format);
  format_line(buffer, format, args);
  va_end(args);
  last_error = buffer;
}

const char *init_error() { return last_error ? last_error->c_str() : ""; }

// ---------------------------------------------------------------------------------------
// Web server configuration

const char *const http_files[HTTP_FILES] = {
    "/etc/apache/httpd.conf",
    "/etc/httpd/conf/httpd.conf",
    "/etc/httpd/httpd.conf",
    "/usr/local/apache/conf/httpd.conf",
    "/usr/local/httpd/conf/httpd.conf",
    "/usr/local/apache/etc/httpd.conf",
    "/usr/internet/httpd/public/conf/httpd.conf",
    "/opt/apache/conf/httpd.conf",
};

namespace {

struct HttpValue {
  std::string value;
  bool done = false;
};

// What the configuration gave so far. Kept for the whole run, so that the four init
// commands read the file once between them.
struct HttpValues {
  HttpValue user, group, root, scripts;
  bool all_done() const { return user.done && group.done && root.done && scripts.done; }
} http;

bool known(const char *want, const HttpValue &v) { return !want || v.done; }

bool all_requested_known(const char *user, const char *group, const char *root,
                         const char *scripts) {
  return known(user, http.user) && known(group, http.group) && known(root, http.root) &&
         known(scripts, http.scripts);
}

void give(char *buffer, const HttpValue &v) {
  if (buffer) scpy(buffer, v.value.c_str(), LINE_SIZE);
}

// A value comes from one line read, so it always fits the caller's buffer.
void store(HttpValue *v, std::string value) {
  v->value = std::move(value);
  v->done = true;
}

// The configuration may quote a path; the quotes are taken off by dropping the first and
// the last character, so a quoted path with a blank in it, cut at the blank, loses one
// character of its own.
std::string unquote(std::string value) {
  if (value.empty() || value.front() != '"') return value;
  return value.size() < 2 ? std::string() : value.substr(1, value.size() - 2);
}

// Where the configuration was read from, and the file a tool names in place of the search.
std::string http_path;
std::optional<std::string> http_override;

OwnedFile open_http_conf() {
  if (http_override) {
    OwnedFile f(file_open_read(http_override->c_str()));
    if (f) http_path = *http_override;
    return f;
  }
  for (const char *path : http_files) {
    dmsg("Is Httpd conf?[%s]", path);
    if (OwnedFile f{file_open_read(path)}) {
      dmsg("Httpd conf is [%s]", path);
      http_path = path;
      return f;
    }
  }
  return nullptr;
}

// "User" or "Group": a name the system does not know makes the whole request fail, since
// files would otherwise be given to an owner that cannot exist.
bool take_owner(Fields *fields, const char *directive, const char *noun,
                int (*lookup)(const char *), HttpValue *into, char *errmsg) {
  std::optional<std::string> name = fields->next();
  if (!name) return true;
  int id = lookup(name->c_str());
  if (id < 0) {
    // lprintf: a reason that fills the buffer is still a terminated text.
    if (errmsg)
      lprintf(errmsg, LINE_SIZE, "%s '%s' has bad uid '%d'", directive, name->c_str(), id);
    return false;
  }
  dmsg("Found %s [%s]", noun, name->c_str());
  store(into, std::move(*name));
  return true;
}

// Only the alias of the CGI directory counts; other aliases map icons, manuals and such.
void take_scripts(Fields *fields) {
  std::optional<std::string> alias = fields->next();
  if (!alias || !s_strstr(alias->c_str(), "cgi-bin")) return;
  std::optional<std::string> dir = fields->next();
  if (dir) store(&http.scripts, unquote(std::move(*dir)));
}

void take_root(Fields *fields) {
  std::optional<std::string> dir = fields->next();
  if (dir) store(&http.root, unquote(std::move(*dir)));
}

// One line of the configuration. False when it names a user or group the system lacks.
// Blocks are not recognised: a directive inside one counts like one at the top level.
bool take_http_line(const char *line, char *errmsg) {
  Fields fields(line);
  std::optional<std::string> directive = fields.next();
  if (!directive) return true;  // a comment's first word, '#' and all, names no directive
  const char *d = directive->c_str();
  if (s_stricmp(d, "User") == 0)
    return take_owner(&fields, "User", "user", file_getuid, &http.user, errmsg);
  if (s_stricmp(d, "Group") == 0)
    return take_owner(&fields, "Group", "group", file_getgid, &http.group, errmsg);
  if (s_stricmp(d, "ScriptAlias") == 0) {
    take_scripts(&fields);
  } else if (s_stricmp(d, "DocumentRoot") == 0) {
    take_root(&fields);
  }
  return true;
}

// Reads the first configuration file found until all four values are known.
bool read_http_conf(char *errmsg) {
  OwnedFile f = open_http_conf();
  if (!f) {
    if (errmsg) scpy(errmsg, "Cannot find httpd.conf file", LINE_SIZE);
    return false;
  }
  bool ok = true;
  read_lines(f.get(), [&ok, errmsg](const Line &line) {
    ok = take_http_line(line.text, errmsg);
    return ok && !http.all_done();
  });
  return ok;
}

// Names every value still missing, requested or not, in a fixed order.
void missing_reason(char *errmsg) {
  if (!errmsg) return;
  scpy(errmsg, "Could not find", LINE_SIZE);
  if (!http.group.done) scat(errmsg, ", Group", LINE_SIZE);
  if (!http.user.done) scat(errmsg, ", User", LINE_SIZE);
  if (!http.root.done) scat(errmsg, ", DocumentRoot", LINE_SIZE);
  if (!http.scripts.done) scat(errmsg, ", ScriptAlias", LINE_SIZE);
}

}  // namespace

int init_find_http_conf(char *user, char *group, char *root, char *scripts, char *errmsg) {
  if (!all_requested_known(user, group, root, scripts)) {
    if (!read_http_conf(errmsg)) return 0;
    if (!all_requested_known(user, group, root, scripts)) {
      missing_reason(errmsg);
      return 0;
    }
  }
  give(user, http.user);
  give(group, http.group);
  give(root, http.root);
  give(scripts, http.scripts);
  return 1;
}

void init_http_reset() { http = HttpValues(); }

void init_http_use(const char *path) {
  if (path)
    http_override = path;
  else
    http_override.reset();
}

const char *init_http_path() { return http_path.empty() ? nullptr : http_path.c_str(); }

}  // namespace installer
