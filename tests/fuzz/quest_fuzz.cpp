// The question file: one section found and loaded, each question's fields read back.
#include "fuzz.h"
#include "quest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  auto ini = installer::ini_init();
  auto q = installer::quest_init(ini.get());
  installer::quest_load(q.get(), fuzz::as_file(data, size).c_str(), "install");
  for (unsigned i = 0; i < static_cast<unsigned>(installer::quest_count(q.get())); i++) {
    installer::quest_text(q.get(), i);
    installer::quest_control_cmp(q.get(), i);
  }
  return 0;
}
