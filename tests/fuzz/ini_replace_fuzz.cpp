// Filling references at the moment of use, into a buffer of the size the first byte gives.
#include <cstdlib>
#include <cstring>

#include "fuzz.h"
#include "ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  char result[256];
  std::memset(result, 'Z', sizeof result);
  installer::ini_replace(fuzz::settings(), fuzz::text(data + 1, size - 1).c_str(), result, data[0]);
  if (data[0] && !std::memchr(result, 0, data[0])) abort();
  return 0;
}
