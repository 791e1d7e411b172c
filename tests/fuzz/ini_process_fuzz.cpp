// Resolving the references between settings once, after loading: each input line is a
// setting, its name up to the first blank and its value the rest.
#include <sstream>

#include "fuzz.h"
#include "ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<installer::SettingList> table;
  std::istringstream in(fuzz::text(data, size));
  for (std::string line; std::getline(in, line) && table.size() < 32;) {
    size_t blank = line.find(' ');
    table.push_back(
        {line.substr(0, blank),
         blank == std::string::npos ? std::nullopt : std::optional(line.substr(blank + 1)),
         installer::Ini_Replace});
  }
  auto ini = installer::ini_init();
  installer::ini_setup(ini.get(), &table, nullptr, 1);
  installer::ini_process(ini.get());
  return 0;
}
