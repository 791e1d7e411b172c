// The init file loader.
#include "fuzz.h"
#include "init.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  auto init = installer::init_init();
  installer::init_load(init.get(), fuzz::as_file(data, size).c_str());
  return 0;
}
