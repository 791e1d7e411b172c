// The init file: start-up commands, and the discovery of the web server's configuration.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "array.h"
#include "ini.h"
#include "lib.h"

namespace installer {

enum IItemMode : int {
  IExist = 1,
  ICopy = 2,
  IHTTP = 16,
  IHTTP_User = 20,
  IHTTP_Group = 24,
  IHTTP_Root = 272,
  IHTTP_Scripts = 528,
  ITimeDate = 1024,
  IWFile = 2048,
  IRFile = 4096,
};

// One command. On a line the order is command, a, b, control, compare.
struct IItem {
  std::optional<std::string> a;
  std::optional<std::string> b;
  std::optional<std::string> compare;  // absent when the line gives "-"
  std::optional<std::string> control;  // absent when the line gives "-"
  int mode = 0;                        // IItemMode
  int line = 0;                        // the file line that completed it
  int first_line = 0;                  // the line that began it: earlier when short lines merged
};
using init_item = IItem;

struct Init {
  std::unique_ptr<Array<IItem>> list;
  std::unique_ptr<IItem> pending;  // filled by short lines until a complete one ends it
  std::vector<LoadNote> notes;     // unknown words and dropped lines, with their lines
};

std::unique_ptr<Init> init_init();
int init_load(Init *x, const char *file);
// One line of the init file (trimmed, not a comment), read from file line `number`.
void init_parse_line(Init *x, const char *line, int number);
IItem *init_get_num(Init *x, int index);
IItem *init_get(Init *x);
void init_free(std::unique_ptr<Init> *x);
void init_item_free(std::unique_ptr<IItem> *x);
void init_seterror(const char *format, ...) INSTALLER_PRINTF(1, 2);
const char *init_error();

// Whether an init command's control lets it run, and running it against the settings.
bool init_applies(Ini *ini, const IItem &item);
void init_do(Ini *ini, const IItem &item);

// The eight places searched for httpd.conf, in order.
inline constexpr int HTTP_FILES = 8;
extern const char *const http_files[HTTP_FILES];

// Each non-null buffer (LINE_SIZE bytes) requests that value. 1 when all requested values
// are known, else 0 with the reason in errmsg.
int init_find_http_conf(char *user, char *group, char *root, char *scripts, char *errmsg);
// Forgets the values found so far (tests only; a run keeps them).
void init_http_reset();
// For the tools: read path instead of searching the eight places (null: search again), and
// the file the last read took its values from (null before any).
void init_http_use(const char *path);
const char *init_http_path();

}  // namespace installer
