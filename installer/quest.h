// The question engine: one section of the question file, asking on the console, and
// checking and storing the answers.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ini.h"
#include "lib.h"

namespace installer {

enum QType : int {
  QText = 1,
  QYN = 2,
  QDir = 4,
  QFile = 8,
  QFileName = 16,
  QExist = 256,
  QDirExist = 260,
  QFileExist = 264,
  QXExist = 512,
  QCopy = 1024,
  QError = 2048,
  QLoop = 4096,
  QEmpty = 8192,
  QDirEmpty = 8196,
};

struct Quest {
  std::optional<std::string> text;
  std::optional<std::string> setting;
  std::optional<std::string> control;
  std::optional<std::string> control_cmp;
  std::optional<std::string> help_id;
  int type = 0;  // QType
  int line = 0;  // the file line it was read from
};
using quest = Quest;

inline constexpr unsigned QUEST_STEP = 5;  // the list grows 5 entries at a time

struct Questions {
  unsigned count = 0;
  std::optional<std::string> last_error;  // unused: the engine's error text is process-wide
  std::optional<std::string> section;
  std::vector<Quest> list;
  Ini *ini = nullptr;           // not owned
  std::vector<LoadNote> notes;  // unknown words and dropped lines, with their lines
};

std::unique_ptr<Questions> quest_init(Ini *ini);
int quest_load(Questions *x, const char *file, const char *section);
// One line of the loaded section (trimmed, not a comment, not a header), from file line
// `number`.
void quest_parse_line(Questions *x, const char *line, int number);
void quest_clear(Questions *x);
void quest_free(std::unique_ptr<Questions> *x);
int quest_count(Questions *x);
const char *quest_text(Questions *x, unsigned index);
const char *quest_setting(Questions *x, unsigned index);
const char *quest_control(Questions *x, unsigned index);
const char *quest_control_cmp(Questions *x, unsigned index);
int quest_type(Questions *x, unsigned index);
void cvt_linefeeds(char *ptr);

char *quest_default(Questions *x, unsigned index, char *buffer, unsigned bfsz);
// 1 with the answer, 0 with an error text. At end of input it returns QUEST_EOF and leaves
// answer as it was: the flows treat that as quit.
inline constexpr int QUEST_EOF = -1;
int quest_ask(Questions *x, unsigned index, char *answer, unsigned bfsz);
int quest_answer(Questions *x, unsigned index, char *answer);
// Records and logs an error: quest_seterror ends it with the text of the error number
// current in the process, when there is one; quest_seterror_at with that of `error` (none
// for 0), the error of the call that failed.
void quest_seterror(const char *format, ...) INSTALLER_PRINTF(1, 2);
void quest_seterror_at(int error, const char *format, ...) INSTALLER_PRINTF(2, 3);
const char *quest_error();

}  // namespace installer
