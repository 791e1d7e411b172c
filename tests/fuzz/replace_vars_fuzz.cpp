// The copy script's substitution.
#include "copy.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static auto copy = installer::copy_init(fuzz::settings());
  installer::replace_vars(copy.get(), fuzz::text(data, size).c_str());
  return 0;
}
