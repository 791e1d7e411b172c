// The author's tool as a whole: install-check's own entry point, as the checker or as a
// plan, on a product folder whose files (files[]) are the input but its first byte, which
// picks the run, split at NUL bytes.
#include <fcntl.h>

#include <string>
#include <vector>

#include "fuzz.h"
#include "init.h"

// The tool's main, under another name, so that the fuzzer can call it.
#define main install_check_main
#include "../../tools/install_check.cpp"
#undef main

namespace {

const char *const files[] = {"install.dat", "install.int", "install.q",
                             "install.cpy", "blurb.txt",   "tpl.in"};
// The product folder, made once; a plain array, so that the clean-up at exit can still
// read it after the statics are gone.
char folder[] = "/tmp/fuzz-product.XXXXXX";

std::string product() {
  static const bool made = [] {
    if (!mkdtemp(folder)) return false;
    std::atexit([] {
      for (const char *f : files) std::remove((std::string(folder) + "/" + f).c_str());
      rmdir(folder);
    });
    return true;
  }();
  return made ? folder : "/nonexistent";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The tool's output is not what is tested: it goes nowhere.
  static const bool silent = std::freopen("/dev/null", "w", stdout) != nullptr;
  if (size == 0 || !silent) return 0;
  std::string rest = fuzz::text(data + 1, size - 1);
  std::size_t at = 0;
  for (const char *f : files) {
    std::size_t end = std::min(rest.find('\0', at), rest.size());
    std::ofstream(product() + "/" + f, std::ios::binary | std::ios::trunc)
        << rest.substr(std::min(at, rest.size()), end - std::min(at, rest.size()));
    at = end + 1;
  }
  static const std::vector<std::vector<std::string>> runs = {
      {},
      {"--plan", "install"},
      {"--plan", "upgrade"},
      {"--plan", "remove"},
      {"--plan", "special:backup", "--set", "go_on=yes"},
      {"--plan", "install", "--format", "json"}};
  std::vector<std::string> args = {"install-check"};
  for (const std::string &a : runs[data[0] % runs.size()]) args.push_back(a);
  args.push_back(product());
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  installer::init_http_reset();
  int here = open(".", O_RDONLY | O_DIRECTORY);
  install_check_main(static_cast<int>(args.size()), argv.data());
  std::fflush(stdout);
  if (here >= 0) {
    if (fchdir(here) != 0) std::abort();
    close(here);
  }
  return 0;
}
