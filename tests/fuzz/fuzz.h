// What the fuzz targets share: a debug log that writes nowhere, and the input as a file.
#pragma once

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ini.h"
#include "log.h"

namespace fuzz {

// Set up once; every message is formatted and written, to /dev/null, which never rotates.
inline bool quiet_log() {
  static std::unique_ptr<installer::Log> log = installer::log_init(installer::LogDebug);
  log->Rotate = SIZE_MAX;
  installer::log_set(log.get());
  return installer::log_open(log.get(), "/dev/null") == 1;
}

// The loaders read files: the input is written to one of this process's own.
inline std::string as_file(const uint8_t *data, size_t size) {
  static const std::string path = [] {
    std::atexit([] { std::remove(("/tmp/fuzz-input." + std::to_string(getpid())).c_str()); });
    return "/tmp/fuzz-input." + std::to_string(getpid());
  }();
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
  return path;
}

// Settings for the substitutions: a value, one that names itself, a long one, none.
inline installer::Ini *settings() {
  static std::unique_ptr<installer::Ini> ini = [] {
    auto x = installer::ini_init();
    std::vector<installer::SettingList> table = {
        {"a", "A", installer::Ini_Replace},
        {"b", "$(a)$(b)", installer::Ini_None},
        {"long", std::string(9000, 'l'), installer::Ini_None},
        {"none", std::nullopt, 0}};
    installer::ini_setup(x.get(), &table, nullptr, 1);
    return x;
  }();
  return ini.get();
}

inline std::string text(const uint8_t *data, size_t size) {
  return std::string(reinterpret_cast<const char *>(data), size);
}

}  // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return fuzz::quiet_log() ? 0 : 1; }
