// The front end: start-up, options, banner, menu, the init command loop and the four flows.
#pragma once

#include <optional>
#include <string>

#include "ini.h"
#include "init.h"
#include "log.h"

namespace installer {

enum FlowResult { FAILED = 0, SUCEEDED = 1, QUIT = 4 };

inline constexpr const char *VERSION = "1.0d";

extern std::optional<std::string> myname;        // the executable's base name
extern std::optional<std::string> special_mode;  // the tag of -special
extern int automate;                             // 1 with -automate

void process_args(Log *log, char **argv, unsigned argc);
void print_header(Ini *ini);
void print_menu(Ini *ini);
void print_blurb(Ini *ini);
void printdot(const char *src, const char *dst, int mode);
void printerror(const char *src, const char *dst, int mode);

void run_init_commands(Init *init, Ini *ini);

int install_product(Ini *ini);
int upgrade_product(Ini *ini);
int remove_product(Ini *ini);
int do_special(Ini *ini);

}  // namespace installer
