// The copy script engine: loading one section of the copy script, expanding the settings
// in its paths, and running its commands against the disk.
#include "copy.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <functional>
#include <utility>

#include "array.h"
#include "log.h"

namespace installer {

namespace {

// The message of the last "Error" command that fired; it outlives every Copy.
std::optional<std::string> last_error;

// The commands that work on files and directories count the bytes they copy.
int make_dir(Copy *x, unsigned index, ByteCount *bytes);
int copy_files(Copy *x, unsigned index, ByteCount *bytes);
int remove_files(Copy *x, unsigned index, ByteCount *bytes);

// The other commands have no bytes to count.
template <int (*Run)(Copy *, unsigned)>
int no_bytes(Copy *x, unsigned index, ByteCount *) {
  return Run(x, index);
}

// ---------------------------------------------------------------------------------------
// Loading

// Which fields a keyword takes after its source.
enum Shape { SrcOnly, SrcNot, SrcDest, SrcNotDest, SrcMessage };

// Everything about one keyword: its type, the fields it takes and what runs it.
struct Keyword {
  const char *word;
  int type;
  Shape shape;
  int (*run)(Copy *x, unsigned index, ByteCount *bytes);
};

constexpr Keyword keywords[] = {
    {"CopyFile", CpyFile, SrcNotDest, copy_files},
    {"CopyDir", CpyDir, SrcNotDest, copy_files},
    {"MkDir", MkDir, SrcOnly, make_dir},
    {"Ini", CpyIni, SrcDest, no_bytes<copy_write_ini>},
    {"Rename", Rename, SrcDest, no_bytes<copy_rename>},
    {"RmFile", RmFile, SrcNot, remove_files},
    {"RmDir", RmDir, SrcNot, remove_files},
    {"Exist", Exist, SrcDest, no_bytes<copy_exist>},
    {"Chown", Chown, SrcNotDest, no_bytes<copy_chown>},
    {"Chmod", Chmod, SrcNotDest, no_bytes<copy_chmod>},
    {"Error", Error, SrcMessage, no_bytes<copy_seterror>},
    {"WFile", WFile, SrcDest, no_bytes<copy_wfile>},
    {"RFile", RFile, SrcDest, no_bytes<copy_rfile>},
};

const Keyword *keyword_of(int type) {
  for (const Keyword &k : keywords)
    if (k.type == type) return &k;
  return nullptr;
}

const Keyword *find_keyword(const std::string &word) {
  for (const Keyword &k : keywords)
    if (s_stricmp(word.c_str(), k.word) == 0) return &k;
  return nullptr;
}

// Reports a line's trouble and keeps it for the tools.
void note(Copy *x, int number, const std::string &message) {
  cerror("%s", message.c_str());
  x->notes.push_back({number, message});
}

// Takes one mandatory field; logs it and reports it when missing. Returns false if missing.
bool take_field(Copy *x, int number, Fields &fields, std::optional<std::string> *field,
                const char *label, const char *missing) {
  *field = fields.next();
  dmsg("Copy line '%s' is [%s]", label, opt_cstr(*field));
  if (*field) return true;
  note(x, number, missing);
  return false;
}

// The message of "Error": everything after the one separator that ends the setting name.
void take_message(Fields &fields, CCmd *cmd) {
  const char *rest = fields.pos();
  if (*rest && rest[1]) cmd->dest = std::string(rest + 1);
  dmsg("Copy list error string is '%s'", opt_cstr(cmd->dest));
}

void take_controls(Fields &fields, CCmd *cmd) {
  cmd->control = fields.next();
  if (!cmd->control) return;
  dmsg("Copy line 'control' is [%s]", cmd->control->c_str());
  cmd->control_cmp = fields.next();
  if (cmd->control_cmp) dmsg("Copy line 'control_cmp' is [%s]", cmd->control_cmp->c_str());
}

}  // namespace

// The record at x->count is kept (count grows) only when every mandatory field is there.
void copy_parse_line(Copy *x, const char *line, int number) {
  if (!x || !line) return;
  dmsg("Process .cpy file line [%s]", line);
  Fields fields(line);
  std::optional<std::string> word = fields.next();
  if (!word) return;
  if (x->count % COPY_STEP == 0) x->list.resize(x->count + COPY_STEP);
  // Empty: either new from the growth or released when the line before it was dropped.
  CCmd &cmd = x->list[x->count];
  cmd.line = number;

  const Keyword *k = find_keyword(*word);
  if (!k) note(x, number, "Unknown copy type '" + *word + "'");
  cmd.type = k ? k->type : 0;
  Shape shape = k ? k->shape : SrcNotDest;
  dmsg("Copy line 'type' is [%d]", cmd.type);

  // Once a field is missing the line has no more fields, so each later one is reported too.
  bool ok = take_field(x, number, fields, &cmd.source, "source", "Missing copy source path");
  if (shape == SrcNot || shape == SrcNotDest)
    ok = take_field(x, number, fields, &cmd.not_, "not", "Missing not wildcard") && ok;
  if (shape == SrcDest || shape == SrcNotDest)
    ok = take_field(x, number, fields, &cmd.dest, "destination", "Missing copy destination path") &&
         ok;
  if (!ok) {
    cmd = CCmd{};
    return;
  }
  if (shape == SrcMessage)
    take_message(fields, &cmd);
  else
    take_controls(fields, &cmd);

  x->count++;
  if (x->ini) copy_processpaths(x, x->count - 1);
}

namespace {

const CCmd *command(Copy *x, unsigned index) {
  return x && index < x->count ? &x->list[index] : nullptr;
}

// ---------------------------------------------------------------------------------------
// Path fields

// The last slash or backslash, or null.
const char *last_sep(const char *s) {
  const char *sep = nullptr;
  for (; *s; s++)
    if (*s == '/' || *s == '\\') sep = s;
  return sep;
}

// The directory part, trailing separator kept; the working directory when there is no
// separator.
char *dir_part(const char *field, char *buffer, unsigned bfsz) {
  if (!field || !buffer) return nullptr;
  const char *sep = last_sep(field);
  if (!sep) {
    if (currentdir(buffer, bfsz)) return buffer;
    // No working directory to offer: an empty directory part names nothing on the disk.
    if (bfsz) buffer[0] = '\0';
    return nullptr;
  }
  std::size_t size = static_cast<std::size_t>(sep - field) + 2;  // the separator and the NUL
  scpy(buffer, field, static_cast<int>(std::min<std::size_t>(size, bfsz)));
  return buffer;
}

// The last component. A source without one takes every entry, a source without a separator
// is a pattern by itself; a destination has a last component only after a separator.
char *file_part(const char *field, char *buffer, unsigned bfsz, bool source) {
  if (!field || !buffer) return nullptr;
  const char *sep = last_sep(field);
  const char *part;
  if (sep && sep[1])
    part = sep + 1;
  else if (!source)
    return nullptr;
  else
    part = sep ? "*" : field;
  scpy(buffer, part, static_cast<int>(bfsz));
  return buffer;
}

const char *field(Copy *x, unsigned index, std::optional<std::string> CCmd::*member) {
  const CCmd *c = command(x, index);
  return c ? opt_cstr(c->*member) : nullptr;
}

// ---------------------------------------------------------------------------------------
// Running

// The directory part and the pattern of a command's source.
struct Source {
  char path[PATH_SIZE] = "";
  char wild[PATH_SIZE] = "";
  Source(Copy *x, unsigned index) {
    copy_src_path(x, index, path, PATH_SIZE);
    copy_src_file(x, index, wild, PATH_SIZE);
  }
};

int make_dir(Copy *x, unsigned index, ByteCount *) {
  return file_mkdir(copy_src(x, index), 1) ? 1 : 0;
}

// The directories that match the last component of dest, skipping excluded names.
std::unique_ptr<Array<std::string>> destination_dirs(Copy *x, unsigned index, int *err) {
  auto dirs = array_init<std::string>();
  char path[PATH_SIZE], wild[PATH_SIZE];
  if (!copy_dst_file(x, index, wild, PATH_SIZE) || !copy_dst_path(x, index, path, PATH_SIZE))
    return dirs;
  Walk walk(path, wild, copy_not(x, index), Exclude::NameAnyCase);
  for (File *e = walk.entry(); e; e = walk.next()) {
    if (file_isdir(e)) array_add(dirs.get(), std::make_unique<std::string>(file_name(e)));
  }
  *err = walk.error();
  return dirs;
}

// Copies the source entries into one destination directory; "CopyDir" takes whole trees.
// The destination is opened once and every entry goes in through that descriptor; where it
// cannot be opened, each entry goes by its path and reports the failure as its own.
int copy_into(Copy *x, unsigned index, const Source &src, const char *dir, ByteCount *bytes) {
  const char *not_ = copy_not(x, index);
  int result = 0;
  Walk walk(src.path, src.wild);
  if (!walk.entry()) imsg("No files found to copy in '%s' matching '%s'", src.path, src.wild);
  int err = 0;  // not read: each entry then reports its own failure
  Fd out = walk.entry() ? file_open_folder(dir, &err) : Fd();
  for (File *e = walk.entry(); e; e = walk.next()) {
    if (wild_ilist(e->entry.c_str(), not_)) continue;
    char target[PATH_SIZE];
    if (!file_join(dir, e->entry.c_str(), target)) continue;
    bool tree = x->list[index].type == CpyDir;
    if (!file_isdir(e) && out)
      result += file_copy_into(e, out.get(), target, bytes);
    else if (!file_isdir(e))
      result += file_copy(file_name(e), target, 1, bytes) > 0 ? 1 : 0;
    else if (tree && out)
      result += file_xcopy_into(e, not_, out.get(), target, bytes);
    else if (tree)
      result += file_xcopy(file_name(e), "*", not_, target, 1, bytes);
  }
  return result;
}

int copy_files(Copy *x, unsigned index, ByteCount *bytes) {
  int err = 0;
  std::unique_ptr<Array<std::string>> dirs = destination_dirs(x, index, &err);
  if (dirs->items == 0) {
    cerror_at(err, "No destination directories found");
    return 0;
  }
  // The source is listed again for each destination, so each receives the same entries.
  Source src(x, index);
  int result = 0;
  for (int i = 0; i < dirs->items; i++)
    result += copy_into(x, index, src, array_get_num(dirs.get(), i)->c_str(), bytes);
  return result;
}

int remove_files(Copy *x, unsigned index, ByteCount *) {
  const char *not_ = copy_not(x, index);
  Source src(x, index);
  int result = 0;
  Walk walk(src.path, src.wild, not_, Exclude::NameAnyCase);
  for (File *e = walk.entry(); e; e = walk.next()) {
    if (!file_isdir(e))
      result += file_remove(e);
    else if (x->list[index].type == RmDir)
      result += file_rmdir_entry(e, not_);
  }
  return result;
}

// Reads one template line of at most TEMPLATE_LINE_SIZE - 1 characters. A longer line goes
// on as the next line; a line of exactly that length does not leave an empty line behind.
bool read_template_line(std::FILE *f, char *buffer) {
  if (!std::fgets(buffer, TEMPLATE_LINE_SIZE, f)) return false;
  std::size_t length = std::strlen(buffer);
  if (length == TEMPLATE_LINE_SIZE - 1 && buffer[length - 1] != '\n') {
    int c = std::fgetc(f);
    if (c == '\r') c = std::fgetc(f);
    if (c != '\n' && c != EOF) std::ungetc(c, f);
  }
  return true;
}

// Both walks share one shape; only the change and the words in the log differ.
struct WalkKind {
  const char *verb;       // "chown" / "chmod"
  const char *not_doing;  // "chown'ing" / "chmod'ding"
  const char *finished;   // "chown'ing" / "chmod'ing"
};

constexpr WalkKind ChownWalk = {"chown", "chown'ing", "chown'ing"};
constexpr WalkKind ChmodWalk = {"chmod", "chmod'ding", "chmod'ing"};

void announce(const WalkKind &kind, const char *not_) {
  if (not_)
    dmsg("Found files to %s, not doing '%s'", kind.verb, not_);
  else
    dmsg("Found files to %s, doing all of them", kind.verb);
}

// One level of a walk: `open` lists the folder (with the callback for entries passed
// over), and each sub-folder is entered from the folder descriptor held, only if it is
// still the folder listed. change() answers 1 done, 0 failed, -1 passed over.
using OpenWalk = std::function<std::unique_ptr<Walk>(std::function<void(const File &)>)>;

template <class Change>
int walk_tree(const WalkKind &kind, const char *not_, Change change, const OpenWalk &open) {
  int count = 0;
  bool found = false;
  auto passed_over = [&](const File &e) {
    if (!found) announce(kind, not_);
    found = true;
    dmsg("Not %s '%s'", kind.not_doing, e.name);
  };
  std::unique_ptr<Walk> walk = open(passed_over);
  if (!found) {
    if (walk->entry())
      announce(kind, not_);
    else
      dmsg("No files found to %s", kind.verb);
    // The header is given: an entry excluded later in the walk must not give it again.
    found = true;
  }
  for (File *entry = walk->entry(); entry; entry = walk->next()) {
    // A link another user planted, or their hard link to a file not theirs, is left alone.
    if (!file_trusted(entry)) continue;
    // Contents first, so a tree changes bottom-up.
    if (file_isdir(entry)) {
      count += walk_tree(kind, not_, change, [entry, not_](auto on_excluded) {
        return std::make_unique<Walk>(entry->dir, entry->entry, entry->name, "*", not_,
                                      Exclude::PathAnyCase, &entry->info, on_excluded);
      });
    }
    int done = change(entry);
    if (done < 0) continue;
    if (done == 0) {
      dmsg("file_%s failed", kind.verb);
      break;
    }
    count++;
  }
  dmsg("Finished %s, %d files done", kind.finished, count);
  return count;
}

template <class Change>
int walk_top(const WalkKind &kind, const char *path, const char *file, const char *not_,
             Change change) {
  return walk_tree(kind, not_, change, [path, file, not_](auto on_excluded) {
    return std::make_unique<Walk>(path, file, not_, Exclude::PathAnyCase, on_excluded);
  });
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Objects and accessors

const char *copy_word(int type) {
  const Keyword *k = keyword_of(type);
  return k ? k->word : nullptr;
}

// The mode text as an octal number, or nullopt when it is not one.
std::optional<mode_t> copy_parse_mode(const char *text) {
  if (!text || !*text) return std::nullopt;
  unsigned long mode = 0;
  for (const char *p = text; *p; p++) {
    if (*p < '0' || *p > '7') return std::nullopt;
    mode = mode * 8 + static_cast<unsigned long>(*p - '0');
    if (mode > 07777) return std::nullopt;
  }
  return static_cast<mode_t>(mode);
}

std::unique_ptr<Copy> copy_init(Ini *ini) {
  auto x = std::make_unique<Copy>();
  x->ini = ini;
  return x;
}

void copy_free(std::unique_ptr<Copy> *x) {
  if (x) x->reset();
}

void copy_setup(Copy *x, FileFn ok, FileFn fail) {
  (void)x;  // the callbacks belong to the file layer, not to one script
  file_setup_fn(ok, fail);
}

int copy_load(Copy *x, const char *file, const char *section) {
  if (!x || !file || !section) return 0;
  OwnedFile f(file_open_read(file));
  if (!f) {
    cerror_at(errno, "Error opening '%s'", file);
    return 0;
  }
  bool found = read_section(f.get(), section, [x](const Line &line) {
    copy_parse_line(x, line.text, line.number);
    return true;
  });
  return found ? 1 : 0;
}

unsigned copy_count(Copy *x) { return x ? x->count : 0; }

const char *copy_src(Copy *x, unsigned index) { return field(x, index, &CCmd::source); }
const char *copy_dst(Copy *x, unsigned index) { return field(x, index, &CCmd::dest); }
const char *copy_not(Copy *x, unsigned index) { return field(x, index, &CCmd::not_); }
const char *copy_control(Copy *x, unsigned index) { return field(x, index, &CCmd::control); }

const char *copy_control_cmp(Copy *x, unsigned index) {
  return field(x, index, &CCmd::control_cmp);
}

int copy_allows(Copy *x, unsigned index) {
  const CCmd *cmd = command(x, index);
  if (!cmd) return 0;
  const char *value = ini_value_name(x->ini, opt_cstr(cmd->control));
  if (!value) return 1;
  const char *cmp = ini_value_name(x->ini, opt_cstr(cmd->control_cmp));
  if (!cmp) cmp = opt_cstr(cmd->control_cmp);
  if (!cmp) return istrue(value);
  return s_stricmp(value, cmp) == 0;
}

const char *copy_error() { return last_error ? last_error->c_str() : ""; }

namespace {

void vcerror(int error, const char *format, va_list arg) INSTALLER_PRINTF(2, 0);
void vcerror(int error, const char *format, va_list arg) {
  char message[LINE_SIZE];
  format_line(message, format, arg);
  if (error)
    emsg("%s, %s", message, std::strerror(error));
  else
    emsg("%s", message);
}

}  // namespace

void cerror(const char *format, ...) {
  int error = errno;
  if (!format) return;
  va_list arg;
  va_start(arg, format);
  vcerror(error, format, arg);
  va_end(arg);
}

void cerror_at(int error, const char *format, ...) {
  if (!format) return;
  va_list arg;
  va_start(arg, format);
  vcerror(error, format, arg);
  va_end(arg);
}

// ---------------------------------------------------------------------------------------
// Script variables and path fields

std::optional<std::string> replace_vars(Copy *x, const char *string) {
  if (!x || !string || !std::strstr(string, "$(")) return std::nullopt;
  std::string result;
  // Everything lands through here, so the result never passes EXPAND_SIZE - 1 characters.
  auto append = [&result](const char *text, std::size_t length) {
    std::size_t room = EXPAND_SIZE - 1 - result.size();
    result.append(text, std::min(length, room));
  };
  auto piece = [](std::size_t length) { return std::min(length, std::size_t{EXPAND_PIECE_MAX}); };

  const char *pos = string;
  while (const char *ref = std::strstr(pos, "$(")) {
    append(pos, static_cast<std::size_t>(ref - pos));
    const char *close = std::strchr(ref + 2, ')');
    if (!close) {
      // An unterminated reference stays as written, with everything after it.
      append(ref, std::strlen(ref));
      return result;
    }
    std::string name(ref + 2, close);
    const char *value = ini_value_name(x->ini, name.c_str());
    if (value)
      append(value, piece(std::strlen(value)));
    else
      append(ref, static_cast<std::size_t>(close + 1 - ref));
    pos = close + 1;
  }
  append(pos, piece(std::strlen(pos)));
  return result;
}

void copy_processpaths(Copy *x, unsigned index) {
  if (!x || index >= x->count) return;
  CCmd &cmd = x->list[index];
  if (cmd.not_ && *cmd.not_ == "-") cmd.not_.reset();
  if (auto s = replace_vars(x, opt_cstr(cmd.source))) cmd.source = std::move(s);
  if (auto d = replace_vars(x, opt_cstr(cmd.dest))) cmd.dest = std::move(d);
}

char *copy_src_path(Copy *x, unsigned index, char *buffer, unsigned bfsz) {
  return dir_part(copy_src(x, index), buffer, bfsz);
}

char *copy_src_file(Copy *x, unsigned index, char *buffer, unsigned bfsz) {
  return file_part(copy_src(x, index), buffer, bfsz, true);
}

char *copy_dst_path(Copy *x, unsigned index, char *buffer, unsigned bfsz) {
  return dir_part(copy_dst(x, index), buffer, bfsz);
}

char *copy_dst_file(Copy *x, unsigned index, char *buffer, unsigned bfsz) {
  return file_part(copy_dst(x, index), buffer, bfsz, false);
}

// ---------------------------------------------------------------------------------------
// Running a script

int copy_process(Copy *x, unsigned *files, ByteCount *bytes, int stop_on_fail) {
  if (!x) return 0;
  if (files) *files = 0;
  if (bytes) *bytes = 0;
  imsg("Processing copy script...");
  for (unsigned i = 0; i < x->count; i++) {
    const CCmd &cmd = x->list[i];
    auto text = [](const std::optional<std::string> &s) { return s ? s->c_str() : ""; };
    dmsg("Processing [%d:%s->%s,%s,%s,%s]", cmd.type, text(cmd.source), text(cmd.dest),
         text(cmd.not_), text(cmd.control), text(cmd.control_cmp));
    if (x->before) x->before(i);
    int result = copy_do(x, i, bytes);
    if (x->after) x->after(i, result);
    if (result == 0) {
      if (stop_on_fail) {
        imsg("Stop on fail set, stopping...");
        return 0;
      }
      imsg("Stop on fail NOT set, continuing...");
    } else if (result != -1 && files) {
      *files += static_cast<unsigned>(result);
    }
  }
  imsg("Copy script completed successfully");
  return 1;
}

int copy_do(Copy *x, unsigned index, ByteCount *bytes) {
  const CCmd *cmd = command(x, index);
  if (!cmd) return 0;
  if (!copy_allows(x, index)) {
    dmsg("Doing nothing due to controlling setting");
    return -1;
  }
  const Keyword *k = keyword_of(cmd->type);
  if (!k) {
    cerror("How did we get here!");
    return 0;
  }
  return k->run(x, index, bytes);
}

// ---------------------------------------------------------------------------------------
// The remaining commands

int copy_write_ini(Copy *x, unsigned index) {
  const CCmd *cmd = command(x, index);
  if (!cmd) return 0;
  const char *source = opt_cstr(cmd->source);
  const char *dest = opt_cstr(cmd->dest);
  // The configuration is written whole or not at all: until commit() the old file stays.
  FileWriter out;
  if (!out.open(dest)) {
    cerror_at(errno, "Error creating ini file '%s'", dest);
    return 0;
  }
  OwnedFile in(file_open_read(source));
  if (!in) {
    cerror_at(errno, "Error reading ini file '%s'", source);
    return 0;
  }
  imsg("Writing INI file '%s' to '%s'", source, dest);

  char buffer[TEMPLATE_LINE_SIZE];
  bool written = true;
  while (written && read_template_line(in.get(), buffer)) {
    const char *text = s_strtrm(buffer);
    std::optional<std::string> expanded = replace_vars(x, text);
    // Without a reference the line keeps its indentation; an expanded one loses it.
    if (expanded)
      written = out.write(expanded->data(), expanded->size());
    else
      written = out.write(buffer, std::strlen(buffer));
    written = written && out.write("\n", 1);
  }
  if (std::ferror(in.get())) {
    cerror_at(errno, "Error reading ini file '%s'", source);
    return 0;
  }
  if (!written || !out.commit()) {
    cerror_at(errno, "Error writing ini file '%s'", dest);
    return 0;
  }
  return 1;
}

int copy_rename(Copy *x, unsigned index) {
  const CCmd *cmd = command(x, index);
  if (!cmd || !cmd->source || !cmd->dest) return 0;
  if (file_rename(cmd->source->c_str(), cmd->dest->c_str())) return 1;
  int err = errno;
  cerror_at(err, "Error renaming '%s'->'%s', %s", cmd->source->c_str(), cmd->dest->c_str(),
            std::strerror(err));
  return 0;
}

int copy_exist(Copy *x, unsigned index) {
  const CCmd *cmd = command(x, index);
  if (!cmd) return 0;
  const char *value = file_exist(opt_cstr(cmd->source)) ? "true" : "false";
  ini_add_name(x->ini, opt_cstr(cmd->dest), value);
  return 1;
}

int copy_chown(Copy *x, unsigned index) {
  const CCmd *cmd = command(x, index);
  if (!cmd) return 0;
  // The owner is read at run time, so it sees settings that earlier commands changed.
  // Without a settings store it stays as written.
  char owner[LINE_SIZE];
  scpy(owner, opt_cstr(cmd->dest), OWNER_SIZE);
  ini_replace(x->ini, opt_cstr(cmd->dest), owner, OWNER_SIZE);
  std::string user = owner, group = owner;
  if (const char *colon = std::strchr(owner, ':')) {
    user.assign(owner, static_cast<std::size_t>(colon - owner));
    group = colon + 1;
  }
  int uid = file_getuid(user.c_str());
  dmsg("Found user id for '%s'=%d", user.c_str(), uid);
  int gid = file_getgid(group.c_str());
  dmsg("Found group id for '%s'=%d", group.c_str(), gid);
  Source src(x, index);
  return dochown(src.path, src.wild, opt_cstr(cmd->not_), uid, gid);
}

int copy_chmod(Copy *x, unsigned index) {
  const CCmd *cmd = command(x, index);
  if (!cmd) return 0;
  std::optional<mode_t> mode = copy_parse_mode(opt_cstr(cmd->dest));
  if (!mode) {
    // A mode that is not octal digits would set bits nobody asked for. No system call
    // failed here, so no system error text belongs after the message.
    cerror_at(0, "Bad mode '%s', expected octal digits", opt_cstr(cmd->dest));
    return 0;
  }
  Source src(x, index);
  return dochmod(src.path, src.wild, opt_cstr(cmd->not_), *mode);
}

int copy_seterror(Copy *x, unsigned index) {
  const CCmd *cmd = command(x, index);
  if (!cmd) return 0;
  const char *value = ini_value_name(x->ini, opt_cstr(cmd->source));
  if (!value || !isfalse(value)) return 1;
  last_error = cmd->dest;
  return 0;
}

int copy_wfile(Copy *x, unsigned index) {
  const CCmd *cmd = command(x, index);
  if (!cmd) return 0;
  const char *file = opt_cstr(cmd->source);
  FileWriter out;
  if (!out.open(file)) {
    cerror_at(errno, "Failed to write (%s)", file);
    return 0;
  }
  const char *value = ini_value_name(x->ini, opt_cstr(cmd->dest));
  if (!value) value = cmd->dest ? cmd->dest->c_str() : "";
  if (!out.write(value, std::strlen(value)) || !out.commit()) {
    cerror_at(errno, "Error writing to '%s'", file);
    return 0;
  }
  return 1;
}

int copy_rfile(Copy *x, unsigned index) {
  const CCmd *cmd = command(x, index);
  if (!cmd) return 0;
  const char *file = opt_cstr(cmd->source);
  std::optional<std::string> text = file_read_text(file);
  if (!text) {
    // Half a file in a setting would be worse than none.
    cerror_at(errno, "Failed to read (%s)", file);
    return 0;
  }
  if (!text->empty()) ini_add_name(x->ini, opt_cstr(cmd->dest), text->c_str());
  return 1;
}

int dochown(const char *path, const char *file, const char *not_, int uid, int gid) {
  return walk_top(ChownWalk, path, file, not_,
                  [uid, gid](File *entry) { return file_chown(entry, uid, gid); });
}

int dochmod(const char *path, const char *file, const char *not_, mode_t mode) {
  return walk_top(ChmodWalk, path, file, not_,
                  [mode](File *entry) { return file_chmod(entry, mode); });
}

}  // namespace installer
