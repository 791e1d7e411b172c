// The question engine: loads one section of the question file, asks its questions on the
// console, and checks and stores the answers.
#include "quest.h"

#include <cerrno>
#include <cstring>

#include "file.h"
#include "log.h"

namespace installer {

namespace {

// The engine's error text is shared by every question set of the run.
std::optional<std::string> last_error;

Quest *entry(Questions *x, unsigned index) {
  if (!x || index >= x->count || index >= x->list.size()) return nullptr;
  return &x->list[index];
}

// One text field of question `index`, or null.
const char *field(Questions *x, unsigned index, std::optional<std::string> Quest::*member) {
  Quest *q = entry(x, index);
  return q ? opt_cstr(q->*member) : nullptr;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The parsers below return null when the line was complete, or the message for the first
// field that is missing.

// A required field.
const char *take(Fields &f, std::optional<std::string> &field, const char *missing) {
  field = f.next();
  return field ? nullptr : missing;
}

// "-" in a control position means that there is none.
const char *take_control(Fields &f, std::optional<std::string> &field, const char *missing) {
  if (const char *why = take(f, field, missing)) return why;
  if (*field == "-") field.reset();
  return nullptr;
}

// The text that runs to the end of the line, with its escapes converted.
const char *take_rest(Fields &f, std::optional<std::string> &field) {
  char buffer[LINE_SIZE];
  scpy(buffer, f.pos(), LINE_SIZE);
  char *text = s_strtrm(buffer);
  if (!*text) return "Missing question text";
  cvt_linefeeds(text);
  field = text;
  return nullptr;
}

// The first message of a chain of takes, or null when all of them were complete.
template <class... Why>
const char *first_missing(Why... why) {
  const char *result = nullptr;
  ((result = result ? result : why()), ...);
  return result;
}

const char *parse_long(Fields &f, Quest &q) {
  return first_missing([&] { return take(f, q.setting, "Missing setting label"); },
                       [&] { return take_control(f, q.control, "Missing control"); },
                       [&] { return take_control(f, q.control_cmp, "Missing control comparison"); },
                       [&] { return take(f, q.help_id, "Missing Help ID text"); },
                       [&] { return take_rest(f, q.text); });
}

const char *parse_error(Fields &f, Quest &q) {
  return first_missing([&] { return take(f, q.setting, "Missing setting label"); },
                       [&] { return take(f, q.help_id, "Missing Help ID text"); },
                       [&] { return take_rest(f, q.text); });
}

// Exist: the path, then the setting that receives the result.
const char *parse_exist(Fields &f, Quest &q) {
  return first_missing([&] { return take(f, q.text, "Missing setting label"); },
                       [&] { return take(f, q.setting, "Missing Help ID text"); });
}

// Loop: the setting, then the entry number to go back to.
const char *parse_loop(Fields &f, Quest &q) {
  return first_missing([&] { return take(f, q.setting, "Missing setting label"); },
                       [&] { return take(f, q.text, "Missing Help ID text"); });
}

using Parse = const char *(*)(Fields &f, Quest &q);

struct TypeWord {
  const char *word;
  int type;
  Parse parse;  // the fields after the type word
};

constexpr TypeWord type_words[] = {
    {"Text", QText, parse_long},
    {"YN", QYN, parse_long},
    {"Dir", QDir, parse_long},
    {"DirExist", QDirExist, parse_long},
    {"DirEmpty", QDirEmpty, parse_long},
    {"File", QFile, parse_long},
    {"FileExist", QFileExist, parse_long},
    {"FileName", QFileName, parse_long},
    {"Copy", QCopy, parse_long},
    {"Error", QError, parse_error},
    {"Exist", QXExist, parse_exist},
    {"Loop", QLoop, parse_loop},
};

// Logs a line's trouble and keeps it for the tools.
void note(Questions *x, int number, const std::string &message) {
  emsg("%s", message.c_str());
  x->notes.push_back({number, message});
}

}  // namespace

void quest_parse_line(Questions *x, const char *line, int number) {
  if (!x || !line) return;
  Fields f(line);
  auto word = f.next();
  if (!word) return;
  if (x->count % QUEST_STEP == 0) x->list.resize(x->count + QUEST_STEP);
  // Each line starts from a cleared entry, so a line dropped half-way leaves nothing
  // behind in the next one.
  Quest &q = x->list[x->count];
  q = Quest{};
  q.line = number;
  // An unknown word keeps type 0 and is read like the asked types.
  Parse parse = parse_long;
  bool known = false;
  for (const auto &t : type_words) {
    if (s_stricmp(word->c_str(), t.word) == 0) {
      q.type = t.type;
      parse = t.parse;
      known = true;
      break;
    }
  }
  if (!known) note(x, number, "Unknown question type '" + *word + "'");
  if (const char *why = parse(f, q))
    note(x, number, why);
  else
    x->count++;
}

namespace {

// The prompt is shown wrapped at the console width: lines break at the last blank or tab
// that still fits, or hard after 79 characters when there is none.
void print_prompt(const char *p) {
  if (std::strlen(p) > PROMPT_WIDTH) {
    while (std::strlen(p) > PROMPT_WIDTH - 1) {
      int cut = 0;
      for (int i = PROMPT_WIDTH - 1; i >= 1; --i) {
        if (is_blank(p[i])) {
          cut = i;
          break;
        }
      }
      if (cut) {
        con_print("%.*s\n", cut, p);
        p += cut;
        while (is_blank(*p)) ++p;
      } else {
        con_print("%.*s\n", static_cast<int>(PROMPT_WIDTH - 1), p);
        p += PROMPT_WIDTH - 1;
      }
    }
  }
  con_print("%s ", p);
}

void store(Questions *x, const Quest &q, const char *answer) {
  if (x->ini) ini_add_name(x->ini, opt_cstr(q.setting), answer);
}

bool dir_has_entries(const char *dir) {
  std::unique_ptr<FHandle> h;  // closes the walk on return
  if (file_first(&h, dir, "*")) return true;
  // An unreadable or missing directory counts as empty; its failure is not the user's. The
  // error number is cleared, as the answer's check defines: a later refusal that ends with
  // the current error text must not carry this one.
  errno = 0;
  return false;
}

}  // namespace

std::unique_ptr<Questions> quest_init(Ini *ini) {
  auto x = std::make_unique<Questions>();
  x->ini = ini;
  return x;
}

int quest_load(Questions *x, const char *file, const char *section) {
  if (!x || !file || !section) return 0;
  if (x->section) {
    if (s_stricmp(x->section->c_str(), section) == 0) return 1;
    quest_clear(x);
  }
  OwnedFile f(file_open_read(file));
  if (!f) {
    quest_seterror("Error opening '%s'", file);
    return 0;
  }
  bool found = read_section(f.get(), section, [x](const Line &line) {
    quest_parse_line(x, line.text, line.number);
    return true;
  });
  f.reset();
  if (!found) {
    emsg("Section '%s' not found", section);
    x->count = 0;
    x->list.clear();
    return 0;
  }
  x->section = section;
  return 1;
}

void quest_clear(Questions *x) {
  if (!x || !x->section) return;
  x->section.reset();
  x->list.clear();
  x->notes.clear();
  x->count = 0;
}

void quest_free(std::unique_ptr<Questions> *x) {
  if (!x || !*x) return;
  quest_clear(x->get());
  x->reset();
}

int quest_count(Questions *x) { return x ? static_cast<int>(x->count) : 0; }

const char *quest_text(Questions *x, unsigned index) { return field(x, index, &Quest::text); }

const char *quest_setting(Questions *x, unsigned index) { return field(x, index, &Quest::setting); }

const char *quest_control(Questions *x, unsigned index) { return field(x, index, &Quest::control); }

const char *quest_control_cmp(Questions *x, unsigned index) {
  return field(x, index, &Quest::control_cmp);
}

int quest_type(Questions *x, unsigned index) {
  Quest *q = entry(x, index);
  return q ? q->type : 0;
}

void cvt_linefeeds(char *ptr) {
  if (!ptr) return;
  char *out = ptr;
  for (const char *in = ptr; *in; ++in) {
    if (*in != '\\') {
      *out++ = *in;
      continue;
    }
    ++in;
    if (!*in) break;  // a lone backslash at the end is dropped
    *out++ = *in == 'n' ? '\n' : *in == 't' ? '\t' : *in;
  }
  *out = '\0';
}

char *quest_default(Questions *x, unsigned index, char *buffer, unsigned bfsz) {
  Quest *q = entry(x, index);
  if (!q || !buffer || !x->ini) return nullptr;
  const char *value = ini_value_name(x->ini, opt_cstr(q->setting));
  if (!value) return nullptr;
  if (q->type & QYN) value = istrue(value) ? "y" : "n";
  scpy(buffer, value, static_cast<int>(bfsz));
  return buffer;
}

int quest_ask(Questions *x, unsigned index, char *answer, unsigned bfsz) {
  Quest *q = entry(x, index);
  if (!q || !answer) return 0;
  char dflt[LINE_SIZE] = "";
  quest_default(x, index, dflt, LINE_SIZE);

  char prompt[LINE_SIZE] = "";
  if (x->ini)
    ini_replace(x->ini, opt_cstr(q->text), prompt, LINE_SIZE);
  else
    scpy(prompt, opt_cstr(q->text), LINE_SIZE);
  std::size_t len = std::strlen(prompt);
  snprintf(prompt + len, static_cast<unsigned>(LINE_SIZE - len), " [%s]?", dflt);
  prompt[LINE_SIZE - 1] = '\0';  // the formatter leaves a full buffer unterminated
  print_prompt(prompt);

  if (!con_readline(answer, bfsz)) return QUEST_EOF;
  s_strtrm(answer);  // trailing white space only: leading blanks belong to the answer
  if (!*answer) {
    if (!*dflt) {
      quest_seterror("You must enter an answer");
      return 0;
    }
    scpy(answer, dflt, static_cast<int>(bfsz));
  }
  return 1;
}

int quest_answer(Questions *x, unsigned index, char *answer) {
  Quest *q = entry(x, index);
  if (!q || !answer) return 0;
  const int type = q->type;
  if (type & QDir) {
    std::size_t len = std::strlen(answer);
    if (len && (answer[len - 1] == '/' || answer[len - 1] == '\\')) answer[len - 1] = '\0';
  }
  if (type & QExist) {
    if (!file_exist(answer)) {
      const int why = errno;  // the failed look-up's
      if (type & QDir)
        quest_seterror_at(why, "Directory '%s' must exist", answer);
      else
        quest_seterror_at(why, "File '%s' must exist", answer);
      return 0;
    }
  } else if (type == QDirEmpty) {
    if (dir_has_entries(answer)) {
      quest_seterror("Directory '%s' must be empty", answer);
      return 0;
    }
  } else if (type & QYN) {
    if (istrue(answer)) {
      store(x, *q, "true");
    } else if (isfalse(answer)) {
      store(x, *q, "false");
    } else {
      quest_seterror("You must answer either Yes or No");
      return 0;
    }
    return 1;
  } else if (type & QFileName) {
    strip_ext(strip_path(answer));
  }
  store(x, *q, answer);
  return 1;
}

namespace {

void vseterror(int error, const char *format, va_list args) INSTALLER_PRINTF(2, 0);
void vseterror(int error, const char *format, va_list args) {
  char message[LINE_SIZE];
  format_line(message, format, args);
  if (error != 0) {
    const char *why = std::strerror(error);
    emsg("%s, %s", message, why);
    scat(message, ", ", LINE_SIZE);
    scat(message, why, LINE_SIZE);
  } else {
    emsg("%s", message);
  }
  last_error = message;
}

}  // namespace

void quest_seterror(const char *format, ...) {
  const int error = errno;
  if (!format) return;
  va_list args;
  va_start(args, format);
  vseterror(error, format, args);
  va_end(args);
}

void quest_seterror_at(int error, const char *format, ...) {
  if (!format) return;
  va_list args;
  va_start(args, format);
  vseterror(error, format, args);
  va_end(args);
}

const char *quest_error() { return last_error ? last_error->c_str() : ""; }

}  // namespace installer
