// install-check: checks a product's companion files, or shows what one action would do.
#include <unistd.h>

#include <cstring>
#include <string>

#include "lib.h"
#include "release.h"
#include "tool.h"

namespace installer::tool {

std::unique_ptr<Copy> expand_copy(const Copy &raw, Ini *ini) {
  auto x = copy_init(ini);
  x->list = raw.list;
  x->count = raw.count;
  for (unsigned i = 0; i < x->count; i++) copy_processpaths(x.get(), i);
  return x;
}

std::vector<std::pair<std::string, int>> sections(const std::string &file) {
  std::vector<std::pair<std::string, int>> list;
  OwnedFile f(file_open_read(file.c_str()));
  read_lines(f.get(), [&list](const Line &line) {
    if (line.text[0] == '[') list.emplace_back(section_name(line.text), line.number);
    return true;
  });
  return list;
}

std::string here() {
  char dir[PATH_SIZE];
  return currentdir(dir, PATH_SIZE) ? std::string(dir) + "/" : std::string();
}

std::string relative(const std::string &path) {
  static const std::string dir = here();
  return !dir.empty() && path.compare(0, dir.size(), dir) == 0 ? path.substr(dir.size()) : path;
}

}  // namespace installer::tool

namespace {

int usage() {
  installer::con_print(
      "usage: install-check [--name BASE] [DIR]\n"
      "       install-check --plan ACTION [--httpd FILE] [--set NAME=VALUE]... [--name BASE] "
      "[--format json] [DIR]\n"
      "       install-check --version\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  using namespace installer;
  tool::Options o;
  const char *dir = ".";
  bool have_dir = false;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == "--version") {
      con_print("install-check %s\n", RELEASE_VERSION);
      return 0;
    } else if (arg == "--name" && has_value) {
      o.base = argv[++i];
    } else if (arg == "--plan" && has_value) {
      o.plan = argv[++i];
    } else if (arg == "--format" && has_value) {
      o.format = argv[++i];
    } else if (arg == "--httpd" && has_value) {
      o.httpd = argv[++i];
    } else if (arg == "--set" && has_value && std::strchr(argv[i + 1], '=')) {
      std::string set = argv[++i];
      o.sets.emplace_back(set.substr(0, set.find('=')), set.substr(set.find('=') + 1));
    } else if (arg[0] != '-' && !have_dir) {
      dir = argv[i];
      have_dir = true;
    } else {
      return usage();
    }
  }
  if ((o.httpd || !o.sets.empty()) && !o.plan) return usage();
  // The installer runs in the product folder and names its files from there.
  if (chdir(dir) != 0 || access(".", R_OK | X_OK) != 0) {
    con_print("install-check: cannot read %s: %s\n", dir, std::strerror(errno));
    return 2;
  }
  return o.plan ? tool::plan(o) : tool::check(o);
}
