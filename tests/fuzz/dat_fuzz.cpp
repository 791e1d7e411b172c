// The defaults file: loading, then resolving the references between its settings.
#include "fuzz.h"
#include "shared.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  auto ini = installer::ini_init();
  installer::load_datfile(ini.get(), fuzz::as_file(data, size).c_str());
  installer::clear_datfile();
  return 0;
}
