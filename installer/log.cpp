// The diagnostic log: time-stamped lines in a file that rotates at a size limit.
#include "log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "signals.h"
#include "sys.h"

namespace installer {

const char *const LevelNames[4] = {"None", "Error", "Info", "Debug"};

namespace {

// Room for the time, the process id and the level name in front of a message.
constexpr unsigned LOG_LINE_SIZE = LINE_SIZE + 64;

Log *CurrentLog = nullptr;
// Error messages that came before any log could take them.
std::unique_ptr<Array<std::string>> EmsgLog;
// Whether the last open found a file that is not the installer's own to write.
bool Refused = false;

// Copies `in` with every control character and DEL written as an escape (\n, \t, \r,
// \x1b ...), so that no name or value can start a line of its own or steer a terminal that
// shows the log; the result is cut to size - 1 characters, never inside an escape.
void escape_controls(char *out, std::size_t size, const char *in) {
  static const char hex[] = "0123456789abcdef";
  std::size_t n = 0;
  for (; *in; in++) {
    auto c = static_cast<unsigned char>(*in);
    char esc[sizeof "\\x00"] = {static_cast<char>(c), '\0'};  // the longest escape
    const char *named = c == '\n' ? "\\n" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : nullptr;
    if (named) {
      std::strcpy(esc, named);
    } else if (c < 0x20 || c == 0x7f) {
      esc[0] = '\\', esc[1] = 'x', esc[2] = hex[c >> 4], esc[3] = hex[c & 15];  // then its NUL
    }
    std::size_t len = std::strlen(esc);
    if (n + len >= size) break;
    std::memcpy(out + n, esc, len);
    n += len;
  }
  out[n] = '\0';
}

// The installer writes its log only into a file of its own: a plain file, with one name,
// owned by root or the user running the installer. Anything else (another user's file, a
// hard link to a file elsewhere, a pipe or a device) could be read, changed or redirected by
// someone else, and is left alone.
bool own_log_file(const struct stat &st) {
  return S_ISREG(st.st_mode) && st.st_nlink == 1 && (st.st_uid == 0 || st.st_uid == geteuid());
}

}  // namespace

Log::~Log() { s_fclose(&F); }

std::unique_ptr<Log> log_init(LogLevel l) {
  auto x = std::make_unique<Log>();
  x->Level = l;
  return x;
}

void log_free(std::unique_ptr<Log> *x) {
  if (!x || !*x) return;
  // Nothing may write through a log that no longer exists.
  if (CurrentLog == x->get()) CurrentLog = nullptr;
  x->reset();
}

int log_open(Log *x, const char *file) {
  if (!x || !file) return 0;
  log_close(x);
  Refused = false;
  struct stat st {};
  // A device is not even opened: opening one can act on it.
  if (sys().fstatat(AT_FDCWD, file, &st, AT_SYMLINK_NOFOLLOW) == 0 && !own_log_file(st)) {
    Refused = true;
    errno = EPERM;
    return 0;
  }
  // The log can hold answers and file contents: only root may read it. A link is not
  // followed, and what was opened is checked again: the name may have changed meanwhile.
  int fd = sys().openat(AT_FDCWD, file,
                        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
  if (fd >= 0) {
    bool seen = sys().fstat(fd, &st) == 0;
    if (!seen || !own_log_file(st)) {
      Refused = seen;
      sys().close(fd);
      errno = EPERM;
      return 0;
    }
  }
  // A log left readable to others by an older run is closed to them before anything is added.
  if (fd >= 0 && (st.st_mode & 077) != 0) sys().fchmod(fd, st.st_mode & 0600);
  x->Size = fd >= 0 ? static_cast<std::size_t>(st.st_size) : 0;
  x->F = fd >= 0 ? sys().fdopen(fd, "a") : nullptr;
  if (!x->F) {
    if (fd >= 0) sys().close(fd);
    return 0;
  }
  if (x->File != file) scpy(x->File, file, sizeof x->File);
  if (!CurrentLog) {
    CurrentLog = x;
    check_emsglog();
  }
  return 1;
}

void log_close(Log *x) {
  if (x && x->F) s_fclose(&x->F);
}

void log_doflush(Log *x, int doflush) {
  if (x) x->DoFlush = doflush;
}

void log_set(Log *x) { CurrentLog = x; }

void log_set_level(Log *x, LogLevel l) {
  if (x) x->Level = l;
}

void log_line(Log *x, const char *line, LogLevel l) {
  if (!x || !line || static_cast<unsigned>(x->Level) < static_cast<unsigned>(l)) return;
  if (!x->F) {
    if (!x->File[0]) return;
    char path[LINE_SIZE];
    scpy(path, x->File, sizeof path);
    if (!log_open(x, path)) return;
  }
  std::time_t now = std::time(nullptr);
  char stamp[26] = {};
  std::tm tm{};
  localtime_r(&now, &tm);
  asctime_r(&tm, stamp);
  char safe[LINE_SIZE];
  escape_controls(safe, sizeof safe, line);
  char text[LOG_LINE_SIZE];
  int n = snprintf(text, sizeof text, "%.20s [%d] %s: %s\n", stamp, static_cast<int>(getpid()),
                   LevelNames[l], safe);
  if (n < 0) n = static_cast<int>(sizeof text);
  x->Size += sys().fwrite(text, 1, static_cast<std::size_t>(n), x->F);
  if (x->Size >= x->Rotate) {
    log_rotate(x);
  } else if (x->DoFlush != 0 && x->Lines % x->DoFlush == 0) {
    sys().fflush(x->F);
  }
  x->Lines++;
  // A run a signal stopped says so here, once the line that was due is written.
  signals_check();
}

int log_rotate(Log *x) {
  if (!x) return 0;
  char path[LINE_SIZE];
  scpy(path, x->File, sizeof path);
  char temp[LINE_SIZE];
  lprintf(temp, sizeof temp, "%s.%05d%05d", path, std::rand(), std::rand());
  log_close(x);
  sys().rename(path, temp);
  int result = log_open(x, path);
  char older[LINE_SIZE];
  char newer[LINE_SIZE];
  for (int k = x->Rotations - 1; k >= 0; k--) {
    lprintf(newer, sizeof newer, "%s%d", path, k + 1);
    lprintf(older, sizeof older, "%s%d", path, k);
    sys().remove(newer);
    sys().rename(older, newer);
  }
  lprintf(older, sizeof older, "%s%d", path, 0);
  sys().rename(temp, older);
  return result;
}

void vlog(LogLevel l, const char *format, va_list ap) {
  // Errors wait in the queue until a log can take them; information and detail that no log
  // would write are not even formatted.
  bool queued = l == LogError;
  if (!format || (!queued && (!CurrentLog || CurrentLog->Level < l))) return;
  char text[LINE_SIZE];
  format_line(text, format, ap);
  if (CurrentLog && CurrentLog->Level != LogNone) {
    log_line(CurrentLog, text, l);
    return;
  }
  if (!EmsgLog) EmsgLog = array_init<std::string>();
  array_add(EmsgLog.get(), std::make_unique<std::string>(text));
}

void emsg(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  vlog(LogError, format, ap);
  va_end(ap);
}

void imsg(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  vlog(LogInfo, format, ap);
  va_end(ap);
}

void dmsg(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  vlog(LogDebug, format, ap);
  va_end(ap);
}

void check_emsglog() {
  if (!EmsgLog || !CurrentLog) return;
  for (std::string *text = array_get_num(EmsgLog.get(), 0); text; text = array_get(EmsgLog.get())) {
    log_line(CurrentLog, text->c_str(), LogError);
  }
  EmsgLog.reset();
}

bool log_refused() { return Refused; }

Log *log_current() { return CurrentLog; }
Array<std::string> *log_queue() { return EmsgLog.get(); }

}  // namespace installer
