// The defaults file: the settings a run knows and their default values.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ini.h"

namespace installer {

inline constexpr int SETTINGS_FIRST = 10;  // the table starts with room for 10 entries
inline constexpr int SETTINGS_STEP = 5;    // and grows by 5

// The table built by load_datfile; null before loading and after clear_datfile.
extern std::unique_ptr<std::vector<SettingList>> _settings;

// One declaration of the defaults file: the name, then after the blanks and tabs that
// follow it the rest of the line as the value, inner blanks included.
struct DatEntry {
  std::string name;
  std::optional<std::string> value;  // none for a name alone
};
// One line (trimmed, not a comment); nullopt for a line without a name.
std::optional<DatEntry> dat_parse_line(const char *line);

int load_datfile(Ini *ini, const char *file);
void clear_datfile();

}  // namespace installer
