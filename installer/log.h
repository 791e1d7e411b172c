// The diagnostic log: time-stamped lines in a file that rotates at a size limit.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "array.h"
#include "lib.h"

namespace installer {

enum LogLevel { LogNone = 0, LogError = 1, LogInfo = 2, LogDebug = 3 };

extern const char *const LevelNames[4];

inline constexpr int LOG_ROTATIONS = 4;             // old files install.log0 .. log4
inline constexpr std::size_t LOG_ROTATE = 1048576;  // rotate at 1 MiB

struct Log {
  char File[LINE_SIZE] = {};
  LogLevel Level = LogNone;
  int DoFlush = 0;
  int Lines = 0;
  int Rotations = LOG_ROTATIONS;
  std::size_t Size = 0;
  std::size_t Rotate = LOG_ROTATE;
  std::FILE *F = nullptr;
  ~Log();
};

std::unique_ptr<Log> log_init(LogLevel l);
// Closes and frees the log; if it is the current log, there is no current log afterwards.
void log_free(std::unique_ptr<Log> *x);
int log_open(Log *x, const char *file);
void log_close(Log *x);
void log_doflush(Log *x, int doflush);
void log_set(Log *x);
void log_set_level(Log *x, LogLevel l);
void log_line(Log *x, const char *line, LogLevel l);
int log_rotate(Log *x);
// Whether the last log_open left the file alone because it is not the installer's own to
// write (another user's, a hard link, not a plain file).
bool log_refused();

// The one reporter behind emsg, imsg and dmsg: formats and writes at level l.
void vlog(LogLevel l, const char *format, va_list ap) INSTALLER_PRINTF(2, 0);
void emsg(const char *format, ...) INSTALLER_PRINTF(1, 2);
void imsg(const char *format, ...) INSTALLER_PRINTF(1, 2);
void dmsg(const char *format, ...) INSTALLER_PRINTF(1, 2);
void check_emsglog();

// For tests: the current log and the queue of error messages that wait for a log.
Log *log_current();
Array<std::string> *log_queue();

}  // namespace installer
