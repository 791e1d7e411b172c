// The copy script engine: one section of the copy script, the expansion of its paths, its
// run loop and each of its commands.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "file.h"
#include "ini.h"
#include "lib.h"

namespace installer {

enum CType : int {
  Cpy = 256,
  CpyFile = 257,
  CpyDir = 258,
  MkDir = 260,
  CpyIni = 264,
  Rename = 272,
  Rm = 512,
  RmFile = 513,
  RmDir = 514,
  Exist = 1024,
  Chown = 2048,
  Chmod = 2049,
  Error = 4096,
  WFile = 8192,
  RFile = 16384,
};

struct CCmd {
  std::optional<std::string> source;
  std::optional<std::string> dest;
  std::optional<std::string> not_;  // the exclusion list (`not` is a C++ keyword)
  std::optional<std::string> control;
  std::optional<std::string> control_cmp;
  int type = 0;  // CType
  int line = 0;  // the file line it was read from
};
using copy_cmd = CCmd;

inline constexpr unsigned COPY_STEP = 5;  // the command array grows 5 records at a time

struct Copy {
  std::vector<CCmd> list;
  Ini *ini = nullptr;  // borrowed
  std::uint32_t count = 0;
  std::vector<LoadNote> notes;  // unknown words and dropped lines, with their lines
  // Watchers of a run, for the author's plan: before each command, and after it with what
  // copy_do answered.
  std::function<void(unsigned index)> before;
  std::function<void(unsigned index, int result)> after;
};
using pCopy = Copy *;

std::unique_ptr<Copy> copy_init(Ini *ini);
void copy_free(std::unique_ptr<Copy> *x);
void copy_setup(Copy *x, FileFn ok, FileFn fail);
int copy_load(Copy *x, const char *file, const char *section);
// One command line of the loaded section (trimmed, not a comment, not a header), from file
// line `number`.
void copy_parse_line(Copy *x, const char *line, int number);
unsigned copy_count(Copy *x);
const char *copy_src(Copy *x, unsigned index);
const char *copy_dst(Copy *x, unsigned index);
const char *copy_not(Copy *x, unsigned index);
const char *copy_control(Copy *x, unsigned index);
const char *copy_control_cmp(Copy *x, unsigned index);
// Whether the command's controlling setting lets it run, as the settings stand now.
int copy_allows(Copy *x, unsigned index);
// The keyword of a command type, as a copy script spells it; null for none.
const char *copy_word(int type);
// A "Chmod" mode text as an octal number, or nothing when it is not octal digits.
std::optional<mode_t> copy_parse_mode(const char *text);
const char *copy_error();
void cerror(const char *format, ...) INSTALLER_PRINTF(1, 2);
// The same with the system error captured where the call failed (0: none to add).
void cerror_at(int error, const char *format, ...) INSTALLER_PRINTF(2, 3);

// Expansion of $(name) in paths: nullopt when there is nothing to change.
std::optional<std::string> replace_vars(Copy *x, const char *string);
void copy_processpaths(Copy *x, unsigned index);
char *copy_src_path(Copy *x, unsigned index, char *buffer, unsigned bfsz);
char *copy_src_file(Copy *x, unsigned index, char *buffer, unsigned bfsz);
char *copy_dst_path(Copy *x, unsigned index, char *buffer, unsigned bfsz);
char *copy_dst_file(Copy *x, unsigned index, char *buffer, unsigned bfsz);

// 1 when the run reached the end, 0 when it stopped at a failed command.
int copy_process(Copy *x, unsigned *files, ByteCount *bytes, int stop_on_fail);
// -1 skipped by its controlling setting, 0 failed, else a count of what was done.
int copy_do(Copy *x, unsigned index, ByteCount *bytes);

int copy_write_ini(Copy *x, unsigned index);
int copy_rename(Copy *x, unsigned index);
int copy_exist(Copy *x, unsigned index);
int copy_chown(Copy *x, unsigned index);
int copy_chmod(Copy *x, unsigned index);
int copy_seterror(Copy *x, unsigned index);
int copy_wfile(Copy *x, unsigned index);
int copy_rfile(Copy *x, unsigned index);
int dochown(const char *path, const char *file, const char *not_, int uid, int gid);
int dochmod(const char *path, const char *file, const char *not_, mode_t mode);

}  // namespace installer
