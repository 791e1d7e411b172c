// Filling references at the moment of use, into a buffer of the size the first byte gives,
// from settings that name each other.
#include <cstdlib>
#include <cstring>

#include "fuzz.h"
#include "ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  static auto ini = [] {
    auto x = installer::ini_init();
    std::vector<installer::SettingList> table = {
        {"a", "A", installer::Ini_Replace}, {"b", "$(a)$(b)", installer::Ini_None},
        {"long", std::string(900, 'l'), installer::Ini_None}, {"none", std::nullopt, 0}};
    installer::ini_setup(x.get(), &table, nullptr, 1);
    return x;
  }();
  char result[256];
  std::memset(result, 'Z', sizeof result);
  installer::ini_replace(ini.get(), fuzz::text(data + 1, size - 1).c_str(), result, data[0]);
  if (data[0] && !std::memchr(result, 0, data[0])) abort();
  return 0;
}
