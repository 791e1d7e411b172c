// The copy script: one section found and loaded, its paths split as the commands need them.
#include "copy.h"
#include "fuzz.h"
#include "lib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  auto ini = installer::ini_init();
  auto copy = installer::copy_init(ini.get());
  installer::copy_load(copy.get(), fuzz::as_file(data, size).c_str(), "install");
  char path[installer::PATH_SIZE], file[installer::PATH_SIZE];
  for (unsigned i = 0; i < installer::copy_count(copy.get()); i++) {
    installer::copy_src_path(copy.get(), i, path, sizeof path);
    installer::copy_src_file(copy.get(), i, file, sizeof file);
    installer::copy_dst_path(copy.get(), i, path, sizeof path);
    installer::copy_dst_file(copy.get(), i, file, sizeof file);
  }
  return 0;
}
