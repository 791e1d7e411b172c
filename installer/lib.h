// Strings, paths, truth words, wildcards, the bounded formatter, the console and the
// shared reading discipline of the companion files.
#pragma once

#include <array>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#define INSTALLER_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

namespace installer {

// Fixed sizes. Each counts the terminating NUL, so a buffer of N holds N - 1 characters.
inline constexpr unsigned PATH_SIZE = 256;            // every built path
inline constexpr unsigned LINE_SIZE = 1000;           // lines, answers, messages, values
inline constexpr unsigned TEMPLATE_LINE_SIZE = 3000;  // one line of an "Ini" template
inline constexpr unsigned EXPAND_SIZE = 10000;        // a copy-script path after expansion
inline constexpr unsigned EXPAND_PIECE_MAX = 8999;    // one inserted value in that expansion
inline constexpr unsigned RFILE_PIECE_SIZE = 999;     // "RFile" reads 998 characters at a time
inline constexpr unsigned RFILE_MAX = 65536;          // the most "RFile" takes into a setting
inline constexpr unsigned OWNER_SIZE = 999;           // owner text of "Chown" (998 characters)
inline constexpr unsigned COPY_BLOCK = 131072;        // file copies move blocks of this size
inline constexpr unsigned PROMPT_WIDTH = 80;          // console width that prompts wrap at
inline constexpr unsigned CONVERSION_MAX = 29;        // one formatter conversion, '%' included
inline constexpr unsigned CONSOLE_SIZE = 4096;        // one formatted console write

// Bytes copied in one run. Wide enough that a product larger than 4 GiB is counted truly.
using ByteCount = unsigned long long;

// The separator attach_path writes; both '/' and '\\' are separators on input.
inline constexpr char Sep = '/';

// Lower-case map: every byte maps to itself except 'A'..'Z'.
constexpr std::array<unsigned char, 256> make_charmap() {
  std::array<unsigned char, 256> map{};
  for (unsigned i = 0; i < 256; i++) {
    map[i] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i - 'A' + 'a' : i);
  }
  return map;
}
inline constexpr std::array<unsigned char, 256> charmap = make_charmap();

// Null-tolerant wrappers.
int s_atoi(const char *string);
int s_strcmp(const char *string1, const char *string2);
int s_stricmp(const char *string1, const char *string2);
const char *s_strstr(const char *string1, const char *string2);
std::FILE *s_fopen(const char *filename, const char *mode);
void s_fclose(std::FILE **f);

// An open stream, closed when it goes.
struct FileCloser {
  void operator()(std::FILE *f) const;
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

// Trimming: cuts trailing white space in place and returns the first non-blank character.
char *s_strtrm(char *string);

// Bounded copy and append.
int scpy(char *dst, const char *src, int size);
int scat(char *dst, const char *src, int size);
char *attach_ext(char *result, const char *ext, unsigned bfsz);

// Heap strings.
std::optional<std::string> smake(const char *src, unsigned size);
std::string sadd(std::string buffer, const char *src);

// Pieces, prefixes and replacement.
unsigned schunk(const char *src, const char *stop_on, char *result, unsigned bfsz);
char *spre(char *buffer, const char *prefix, unsigned bfsz);
char *sreplace(const char *source, const char *find, const char *with, char *result, unsigned bfsz);

// Paths.
char *strip_file(char *file, char *buffer, unsigned bfsz);
char *strip_path(char *file);
char *strip_ext(char *file);
char *attach_path(char *result, const char *file, unsigned bfsz);
char *setsep(char *string, char sep);

// Truth words.
int istrue(const char *string);
int isfalse(const char *string);

// The installer's own name and directories.
char *exename(char *buffer, const char *arg0, unsigned bfsz);
char *currentdir(char *buffer, unsigned bfsz);
char *systemdir(char *buffer, unsigned bfsz);

// Wildcards: '*' and '?', anchored, no classes, no escapes.
int wmatch(const char *text, const char *wild, int case_sensitive);
int wild_match(const char *text, const char *wild);
int wild_list(const char *list, const char *wilds);
int wild_ilist(const char *list, const char *wilds);

// The bounded formatter. It shadows the C library's functions of the same names inside
// this namespace. Besides the plain conversions it takes the length modifiers l and ll,
// so that 64-bit counters print truly.
int vsnprintf(char *buffer, unsigned bfsz, const char *format, va_list arg) INSTALLER_PRINTF(3, 0);
int snprintf(char *buffer, unsigned bfsz, const char *format, ...) INSTALLER_PRINTF(3, 4);
int lprintf(char *bf, int bfsz, const char *format, ...) INSTALLER_PRINTF(3, 4);
// Formats a message into a LINE_SIZE buffer the way every reporter does: cut to 999
// characters and always terminated (vsnprintf alone leaves a full buffer unterminated).
void format_line(char *buffer, const char *format, va_list arg) INSTALLER_PRINTF(2, 0);

// Console: standard output and standard input, nothing else writes or reads them.
void con_print(const char *format, ...) INSTALLER_PRINTF(1, 2);
void con_vprint(const char *format, va_list ap) INSTALLER_PRINTF(1, 0);
void con_flush();
// Reads one line (at most bfsz - 1 characters, line end kept) into buffer. At end of input
// it returns false and leaves buffer as it was.
bool con_readline(char *buffer, unsigned bfsz);

// The reading discipline every companion file shares. read_line reads at most
// LINE_SIZE - 1 characters (a longer line goes on as the next line), trims both ends in
// place and returns the trimmed text, or null at end of file.
char *read_line(std::FILE *f, char *buffer, unsigned bfsz);
// An empty line or one whose first character is '#'.
bool is_comment(const char *line);
// The name a header line gives: the text after '[', without a ']' that ends the line.
std::string section_name(const char *line);
// Whether a header line ("[name]", the closing bracket optional) names section, ignoring
// letter case. Blanks inside the brackets are part of the name.
bool section_matches(const char *line, const char *section);

// One read of a companion file as a loader sees it. A file line longer than LINE_SIZE - 1
// characters comes as several reads; each is a line to the loader, and all of them carry
// the number of the file line they come from.
struct Line {
  char *text;  // trimmed
  int number;  // the file line, counted from 1
  int piece;   // 0 for the read that starts the file line, 1, 2... for the rest of it
};
// Returns false to stop reading.
using LineFn = std::function<bool(const Line &)>;

// Hands every read that is not a comment to each, in file order.
void read_lines(std::FILE *f, const LineFn &each);
// Hands the lines of one section to each: those after the first header that names it, up
// to the next header of any name. True when the header was found.
bool read_section(std::FILE *f, const char *section, const LineFn &each);

// What a loader made of a line other than taking it as written (dropped it, did not know
// its word): the message it logged and the file line. The tools report these.
struct LoadNote {
  int line;
  std::string message;
};

// Splits a line into fields at runs of blanks and tabs.
class Fields {
 public:
  explicit Fields(const char *line) : pos_(line) {}
  // The next field, or nullopt when the line has no more.
  std::optional<std::string> next();
  // Where reading stands: just after the last field taken (at its separator or the end).
  const char *pos() const { return pos_; }

 private:
  const char *pos_;
};

// Null for an absent text, the text otherwise.
inline const char *opt_cstr(const std::optional<std::string> &s) {
  return s ? s->c_str() : nullptr;
}

}  // namespace installer
