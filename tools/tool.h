// install-check: what the tools share. Both read the product with the installer's own
// loaders; neither writes anything.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "copy.h"
#include "ini.h"

namespace installer::tool {

struct Options {
  std::string base = "install";  // the companion files' base name
  std::optional<std::string> plan;
  std::optional<std::string> httpd;
  std::vector<std::pair<std::string, std::string>> sets;
  std::string format;  // empty for the default of each mode
  // The checker's: the severity from which findings make the status 1, the previous
  // release's product folder, and how the product folder was named on the command line, so
  // that the paths printed open from where the tool ran.
  std::string fail_on = "error";
  std::optional<std::string> from;
  std::string shown_dir;
};

// A kind of finding. Its code never changes meaning; its severity is the usual one.
struct Code {
  enum Severity { Error, Warning, Note };
  const char *id;
  Severity severity;
  const char *title;
  const char *text;  // what happens, an example and the fix
};
const Code *find_code(const std::string &id);
std::vector<const Code *> all_codes();
const char *severity_name(Code::Severity s);
// Prints the explanation of a code; 2 for a code that does not exist.
int explain(const std::string &id);

struct Finding {
  std::string file;  // as the product folder names it
  int line;
  const Code *code;
  Code::Severity severity;
  std::string message;
};
// Leaves out what the product says to (comments in the files that take them, and the
// product's .install-check), prints the rest in the chosen format with the count on
// standard error, and returns the exit status.
int report(const Options &o, const std::vector<Finding> &findings,
           const std::vector<std::string> &commented);

// Both run in the product folder, as the installer does; each returns the exit status.
int check(const Options &o);
int plan(const Options &o);

// A companion file's name: base and extension.
inline std::string companion(const Options &o, const char *ext) { return o.base + ext; }

// The raw commands of a section loaded without a store, with their paths expanded from ini
// by the installer's own expansion, as copy_load would have done with that store.
std::unique_ptr<Copy> expand_copy(const Copy &raw, Ini *ini);

// The names of the sections of a sectioned file, each with the line of its header.
std::vector<std::pair<std::string, int>> sections(const std::string &file);

// The working directory with a trailing '/', for showing paths below it relative to it.
std::string here();
std::string relative(const std::string &path);

}  // namespace installer::tool
