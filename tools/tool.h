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
  std::string format;  // --format: empty for the plain text of each mode
};

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
