// What the fuzz targets share: a debug log that writes nowhere, and the input as a file.
#pragma once

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <string>

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

inline std::string text(const uint8_t *data, size_t size) {
  return std::string(reinterpret_cast<const char *>(data), size);
}

}  // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return fuzz::quiet_log() ? 0 : 1; }
