// The copy script's substitution, from settings that name each other and a long one.
#include "copy.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static auto ini = [] {
    auto x = installer::ini_init();
    std::vector<installer::SettingList> table = {
        {"a", "A", installer::Ini_Replace}, {"b", "$(a)$(b)", installer::Ini_None},
        {"long", std::string(9000, 'l'), installer::Ini_None}, {"none", std::nullopt, 0}};
    installer::ini_setup(x.get(), &table, nullptr, 1);
    return x;
  }();
  static auto copy = installer::copy_init(ini.get());
  installer::replace_vars(copy.get(), fuzz::text(data, size).c_str());
  return 0;
}
