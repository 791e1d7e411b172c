// Strings, paths, truth words, wildcards, the bounded formatter, the console and the
// shared reading discipline of the companion files.
#include "lib.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sys.h"

namespace installer {

namespace {

bool is_sep(char c) { return c == '/' || c == '\\'; }
// White space as the C locale's isspace sees it.
bool is_white(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

const char *last_sep(const char *s) {
  const char *found = nullptr;
  for (; *s; s++) {
    if (is_sep(*s)) found = s;
  }
  return found;
}

}  // namespace

// ---------------------------------------------------------------- wrappers

// atoi's reading of a leading number, held to the range of int: atoi itself is undefined
// when the number overflows. errno is kept, so a number out of range does not turn up in a
// later error report.
int s_atoi(const char *string) {
  if (!string) return 0;
  const int saved = errno;
  long n = std::strtol(string, nullptr, 10);
  errno = saved;
  if (n > INT_MAX) return INT_MAX;
  if (n < INT_MIN) return INT_MIN;
  return static_cast<int>(n);
}

int s_strcmp(const char *string1, const char *string2) {
  if (!string1 || !string2) return -1;
  return std::strcmp(string1, string2);
}

int s_stricmp(const char *string1, const char *string2) {
  if (!string1 || !string2) return -1;
  const auto *a = reinterpret_cast<const unsigned char *>(string1);
  const auto *b = reinterpret_cast<const unsigned char *>(string2);
  while (*a && *b && charmap[*a] == charmap[*b]) {
    a++;
    b++;
  }
  return charmap[*a] - charmap[*b];
}

const char *s_strstr(const char *string1, const char *string2) {
  if (!string1 || !string2) return nullptr;
  return std::strstr(string1, string2);
}

std::FILE *s_fopen(const char *filename, const char *mode) {
  if (!filename || !mode) return nullptr;
  // A directory opens for reading on this system and then reads as empty; a companion
  // file that is really a directory must fail to open like any other unreadable file.
  struct stat st {};
  if (mode[0] == 'r' && sys().stat(filename, &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return nullptr;
  }
  return sys().fopen(filename, mode);
}

void FileCloser::operator()(std::FILE *f) const {
  if (f) sys().fclose(f);
}

void s_fclose(std::FILE **f) {
  if (!f || !*f) return;
  sys().fclose(*f);
  *f = nullptr;
}

char *s_strtrm(char *string) {
  if (!string) return nullptr;
  std::size_t len = std::strlen(string);
  while (len > 0 && is_white(string[len - 1])) string[--len] = '\0';
  while (is_white(*string)) string++;
  return string;
}

// ---------------------------------------------------------------- bounded copies

int scpy(char *dst, const char *src, int size) {
  if (!dst || size < 1) return 0;
  if (!src) {
    dst[0] = '\0';
    return 0;
  }
  std::size_t n = strnlen(src, static_cast<std::size_t>(size - 1));
  std::memmove(dst, src, n);
  dst[n] = '\0';
  return static_cast<int>(n);
}

int scat(char *dst, const char *src, int size) {
  if (!dst || !src || size < 1) return 0;
  int len = static_cast<int>(std::strlen(dst));
  if (len >= size) {  // too long already: cut, with nothing appended
    dst[size - 1] = '\0';
    return size - 1;
  }
  // Anything appended leaves the combined text at most size - 2 characters long.
  int room = size - 2 - len;
  if (room <= 0) return len;
  int n = static_cast<int>(strnlen(src, static_cast<std::size_t>(room)));
  std::memmove(dst + len, src, static_cast<std::size_t>(n));
  dst[len + n] = '\0';
  return len + n;
}

char *attach_ext(char *result, const char *ext, unsigned bfsz) {
  if (!result || bfsz == 0) return nullptr;
  if (!ext) return result;
  std::size_t len = strnlen(result, bfsz - 1);
  std::size_t n = strnlen(ext, bfsz - 1 - len);
  std::memmove(result + len, ext, n);
  result[len + n] = '\0';
  return result;
}

std::optional<std::string> smake(const char *src, unsigned size) {
  if (!src || size == 0) return std::nullopt;
  return std::string(src, strnlen(src, size - 1));
}

std::string sadd(std::string buffer, const char *src) {
  if (src) buffer += src;
  return buffer;
}

unsigned schunk(const char *src, const char *stop_on, char *result, unsigned bfsz) {
  if (!src || !result || bfsz == 0) return 0;
  unsigned n = 0;
  while (src[n] && n < bfsz - 1 && !(stop_on && std::strchr(stop_on, src[n]))) {
    result[n] = src[n];
    n++;
  }
  result[n] = '\0';
  return n;
}

char *spre(char *buffer, const char *prefix, unsigned bfsz) {
  if (!buffer || !prefix) return nullptr;
  std::size_t blen = std::strlen(buffer);
  std::size_t plen = std::strlen(prefix);
  if (blen + plen >= bfsz) return nullptr;
  std::memmove(buffer + plen, buffer, blen + 1);
  std::memcpy(buffer, prefix, plen);
  return buffer;
}

char *sreplace(const char *source, const char *find, const char *with, char *result,
               unsigned bfsz) {
  if (!source || !find || !result) return nullptr;
  std::string out;
  std::size_t flen = std::strlen(find);
  if (flen == 0) {
    out = source;
  } else {
    const char *p = source;
    while (const char *hit = std::strstr(p, find)) {
      out.append(p, hit);
      if (with) out += with;
      p = hit + flen;
    }
    out += p;
  }
  if (bfsz > 0) scpy(result, out.c_str(), static_cast<int>(bfsz));
  return result;
}

// ---------------------------------------------------------------- paths

char *strip_file(char *file, char *buffer, unsigned bfsz) {
  if (!file) return nullptr;
  const char *sep = last_sep(file);
  if (sep) {
    scpy(buffer, sep + 1, static_cast<int>(bfsz));
    file[sep - file] = '\0';
  } else {
    scpy(buffer, file, static_cast<int>(bfsz));
    file[0] = '\0';
  }
  return file;
}

char *strip_path(char *file) {
  if (!file) return nullptr;
  const char *sep = last_sep(file);
  if (sep) std::memmove(file, sep + 1, std::strlen(sep + 1) + 1);
  return file;
}

char *strip_ext(char *file) {
  if (!file) return nullptr;
  const char *sep = last_sep(file);
  char *dot = std::strrchr(file, '.');
  // A leading dot names a hidden file rather than starting an extension.
  if (dot && dot != file && (!sep || dot > sep)) *dot = '\0';
  return file;
}

char *attach_path(char *result, const char *file, unsigned bfsz) {
  if (!result || bfsz == 0) return nullptr;
  unsigned len = 0;
  for (; len < bfsz - 1 && result[len]; len++) {
    if (is_sep(result[len])) result[len] = Sep;
  }
  if (!file) {
    result[len] = '\0';
    return result;
  }
  bool ends_sep = len > 0 && result[len - 1] == Sep;
  if (is_sep(*file)) {
    if (len > 0 && ends_sep) file++;
  } else if (len > 0 && !ends_sep && len < bfsz - 1) {
    result[len++] = Sep;
  }
  for (; *file && len < bfsz - 1; file++) result[len++] = is_sep(*file) ? Sep : *file;
  result[len] = '\0';
  return len ? result : nullptr;
}

char *setsep(char *string, char sep) {
  if (!string) return nullptr;
  for (char *p = string; *p; p++) {
    if (is_sep(*p)) *p = sep;
  }
  return string;
}

// ---------------------------------------------------------------- truth words

int istrue(const char *string) {
  if (!string) return 0;
  for (const char *word : {"true", "yes", "y", "on", "checked", "selected"}) {
    if (s_stricmp(string, word) == 0) return 1;
  }
  return s_atoi(string) != 0;
}

int isfalse(const char *string) {
  if (!string || !*string) return 0;
  for (const char *word : {"false", "no", "n", "off"}) {
    if (s_stricmp(string, word) == 0) return 1;
  }
  if (is_digit(string[0]) || is_digit(string[1])) return s_atoi(string) == 0;
  return 0;
}

// ---------------------------------------------------------------- own name, directories

char *exename(char *buffer, const char *arg0, unsigned bfsz) {
  if (!buffer || !arg0 || bfsz == 0) return nullptr;
  const char *sep = last_sep(arg0);
  const char *name = sep ? sep + 1 : arg0;
  schunk(name, ".", buffer, bfsz);
  return buffer;
}

char *currentdir(char *buffer, unsigned bfsz) {
  if (!buffer || bfsz == 0) return nullptr;
  return sys().getcwd(buffer, bfsz);
}

char *systemdir(char *buffer, unsigned bfsz) {
  if (!buffer) return nullptr;
  scpy(buffer, "/etc", static_cast<int>(bfsz));
  return buffer;
}

// ---------------------------------------------------------------- wildcards

// The search keeps only the position of the last '*' to fall back to. With '*' and '?' as
// the only special characters that loses no match, and it keeps the cost at most
// proportional to text times pattern where plain backtracking is exponential in the stars.
int wmatch(const char *text, const char *wild, int case_sensitive) {
  if (!text || !wild) return 0;
  auto same = [case_sensitive](char a, char b) {
    if (case_sensitive) return a == b;
    return charmap[static_cast<unsigned char>(a)] == charmap[static_cast<unsigned char>(b)];
  };
  const char *t = text;
  const char *w = wild;
  const char *star = nullptr;
  const char *mark = nullptr;
  while (*t) {
    if (*w == '*') {
      star = w++;
      mark = t;
    } else if (*w && (*w == '?' || same(*w, *t))) {
      w++;
      t++;
    } else if (star) {
      w = star + 1;
      t = ++mark;
    } else {
      return 0;
    }
  }
  while (*w == '*') w++;
  return *w == '\0';
}

int wild_match(const char *text, const char *wild) {
  if (!text || !wild) return 0;
  if (std::strcmp(wild, "*") == 0) return 1;
  return wmatch(text, wild, 1);
}

namespace {

std::vector<std::string> list_items(const char *list) {
  std::vector<std::string> items;
  std::string item;
  for (const char *p = list;; p++) {
    if (*p == '\0' || *p == ' ' || *p == '\t' || *p == ',') {
      if (!item.empty()) items.push_back(item);
      item.clear();
      if (*p == '\0') break;
    } else {
      item += *p;
    }
  }
  return items;
}

int match_lists(const char *list, const char *wilds, int case_sensitive) {
  if (!list || !wilds) return 0;
  const std::vector<std::string> patterns = list_items(wilds);
  for (const std::string &item : list_items(list)) {
    for (const std::string &pattern : patterns) {
      if (wmatch(item.c_str(), pattern.c_str(), case_sensitive)) return 1;
    }
  }
  return 0;
}

}  // namespace

int wild_list(const char *list, const char *wilds) { return match_lists(list, wilds, 1); }
int wild_ilist(const char *list, const char *wilds) { return match_lists(list, wilds, 0); }

// ---------------------------------------------------------------- formatter

namespace {

// Renders one conversion with the C library, the text it gives being the standard one.
template <class... A>
std::string render(const char *conversion, A... args) {
  int n = std::snprintf(nullptr, 0, conversion, args...);
  if (n <= 0) return std::string();
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), conversion, args...);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// Applies the '*' width and precision that a conversion took, if any.
template <class T>
std::string render_with(const char *conversion, int stars, int w, int p, T value) {
  switch (stars) {
    case 2:
      return render(conversion, w, p, value);
    case 1:
      return render(conversion, w, value);
    default:
      return render(conversion, value);
  }
}

// One conversion as the format writes it: '%', flags, width, precision, length, character.
struct Conversion {
  std::string written = "%";
  char type = 0;
  int longs = 0;  // 'l' length modifiers, at most two
  int stars = 0;  // '*' width and precision taken from the arguments
  int star_values[2] = {};
};

// Reads the conversion that starts at the '%' of f, taking any '*' values from ap. Returns
// the character after it, or null when the format ends inside it or it is too long.
const char *parse_conversion(const char *f, va_list *ap, Conversion *c) {
  const char *p = f + 1;
  while (*p && std::strchr("-+0 #", *p)) c->written += *p++;
  auto number = [&]() {
    if (*p == '*') {
      c->star_values[c->stars++] = va_arg(*ap, int);
      c->written += *p++;
    } else {
      while (is_digit(*p)) c->written += *p++;
    }
  };
  number();
  if (*p == '.') {
    c->written += *p++;
    number();
  }
  while (*p == 'l' && c->longs < 2) {
    c->written += *p++;
    c->longs++;
  }
  if (!*p || c->written.size() + 1 > CONVERSION_MAX) return nullptr;
  c->type = *p++;
  c->written += c->type;
  return p;
}

// Renders a whole number of the width the conversion's length modifiers name.
template <class I, class L, class LL>
std::string render_integer(const Conversion &c, va_list *ap) {
  const char *cs = c.written.c_str();
  int w = c.star_values[0];
  int pr = c.star_values[1];
  if (c.longs == 2) return render_with(cs, c.stars, w, pr, va_arg(*ap, LL));
  if (c.longs == 1) return render_with(cs, c.stars, w, pr, va_arg(*ap, L));
  return render_with(cs, c.stars, w, pr, va_arg(*ap, I));
}

// Renders the argument of one conversion; count is what has been written so far, for %n.
std::string render_argument(const Conversion &c, va_list *ap, unsigned count) {
  const char *cs = c.written.c_str();
  int w = c.star_values[0];
  int pr = c.star_values[1];
  switch (c.type) {
    case 'd':
    case 'i':
      return render_integer<int, long, long long>(c, ap);
    case 'o':
    case 'u':
    case 'x':
    case 'X':
      return render_integer<unsigned, unsigned long, unsigned long long>(c, ap);
    case 'c':
    case 'C':
      return render_with(cs, c.stars, w, pr, va_arg(*ap, int));
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G':
      return render_with(cs, c.stars, w, pr, va_arg(*ap, double));
    case 's': {
      const char *s = va_arg(*ap, const char *);
      return s ? render_with(cs, c.stars, w, pr, s) : std::string("(NULL)");
    }
    case 'S': {
      const wchar_t *s = va_arg(*ap, const wchar_t *);
      return s ? render_with(cs, c.stars, w, pr, s) : std::string("(NULL)");
    }
    case 'p':
      return render_with(cs, c.stars, w, pr, va_arg(*ap, void *));
    case 'n':
      *va_arg(*ap, int *) = static_cast<int>(count);
      return std::string();
    default:
      // Not a conversion this formatter knows: write it as it stands.
      return c.written;
  }
}

}  // namespace

int vsnprintf(char *buffer, unsigned bfsz, const char *format, va_list arg) {
  if (!buffer || !format) return 0;
  va_list ap;
  va_copy(ap, arg);
  unsigned count = 0;
  const char *f = format;
  while (*f && count < bfsz) {
    if (*f != '%') {
      buffer[count++] = *f++;
      continue;
    }
    if (f[1] == '%') {
      buffer[count++] = '%';
      f += 2;
      continue;
    }
    Conversion c;
    f = parse_conversion(f, &ap, &c);
    if (!f) break;
    std::string text = render_argument(c, &ap, count);
    count +=
        static_cast<unsigned>(scpy(buffer + count, text.c_str(), static_cast<int>(bfsz - count)));
  }
  va_end(ap);
  if (count < bfsz) {
    buffer[count] = '\0';
    return static_cast<int>(count);
  }
  return -1;
}

int snprintf(char *buffer, unsigned bfsz, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = vsnprintf(buffer, bfsz, format, ap);
  va_end(ap);
  return n;
}

int lprintf(char *bf, int bfsz, const char *format, ...) {
  if (bfsz < 1) return 0;  // a null buffer or format: the formatter answers 0
  va_list ap;
  va_start(ap, format);
  int n = vsnprintf(bf, static_cast<unsigned>(bfsz), format, ap);
  va_end(ap);
  if (n == -1 || n == bfsz) {
    bf[bfsz - 1] = '\0';
    return bfsz - 1;
  }
  return n;
}

void format_line(char *buffer, const char *format, va_list arg) {
  if (vsnprintf(buffer, LINE_SIZE, format, arg) < 0) buffer[LINE_SIZE - 1] = '\0';
}

// ---------------------------------------------------------------- console

void con_vprint(const char *format, va_list ap) {
  if (!format) return;
  char text[CONSOLE_SIZE];
  int n = vsnprintf(text, sizeof text, format, ap);
  if (n < 0) text[sizeof text - 1] = '\0';
  std::fputs(text, stdout);
}

void con_print(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  con_vprint(format, ap);
  va_end(ap);
}

void con_flush() { std::fflush(stdout); }

bool con_readline(char *buffer, unsigned bfsz) {
  if (!buffer || bfsz < 2) return false;
  // Whatever was printed must be on the screen before the user is asked for anything.
  std::fflush(stdout);
  return std::fgets(buffer, static_cast<int>(bfsz), stdin) != nullptr;
}

// ---------------------------------------------------------------- reading discipline

char *read_line(std::FILE *f, char *buffer, unsigned bfsz) {
  if (!f || !buffer || bfsz < 2) return nullptr;
  if (!std::fgets(buffer, static_cast<int>(bfsz), f)) return nullptr;
  return s_strtrm(buffer);
}

bool is_comment(const char *line) { return !line || !*line || *line == '#'; }

std::string section_name(const char *line) {
  if (!line || *line != '[') return std::string();
  std::string name(line + 1);
  if (!name.empty() && name.back() == ']') name.pop_back();
  return name;
}

bool section_matches(const char *line, const char *section) {
  if (!line || *line != '[') return false;  // a null section matches no name: see s_stricmp
  return s_stricmp(section_name(line).c_str(), section) == 0;
}

void read_lines(std::FILE *f, const LineFn &each) {
  if (!f) return;
  char buffer[LINE_SIZE];
  Line line{nullptr, 1, 0};
  while (std::fgets(buffer, LINE_SIZE, f)) {
    // Whether this read ends its file line must be seen before the trim takes the '\n'.
    std::size_t length = std::strlen(buffer);
    bool ends = length > 0 && buffer[length - 1] == '\n';
    line.text = s_strtrm(buffer);
    if (!is_comment(line.text) && !each(line)) return;
    if (ends) {
      line.number++;
      line.piece = 0;
    } else {
      line.piece++;
    }
  }
}

bool read_section(std::FILE *f, const char *section, const LineFn &each) {
  bool found = false;
  read_lines(f, [&](const Line &line) {
    if (line.text[0] == '[') {
      if (found) return false;  // the next header ends the section
      found = section_matches(line.text, section);
      return true;
    }
    return !found || each(line);
  });
  return found;
}

std::optional<std::string> Fields::next() {
  if (!pos_) return std::nullopt;
  while (is_blank(*pos_)) pos_++;
  if (!*pos_) return std::nullopt;
  const char *start = pos_;
  while (*pos_ && !is_blank(*pos_)) pos_++;
  return std::string(start, pos_);
}

}  // namespace installer
