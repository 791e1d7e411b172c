// The defaults file: the settings a run knows and their default values.
#pragma once

#include <memory>
#include <vector>

#include "ini.h"

namespace installer {

inline constexpr int SETTINGS_FIRST = 10;  // the table starts with room for 10 entries
inline constexpr int SETTINGS_STEP = 5;    // and grows by 5

// The table built by load_datfile; null before loading and after clear_datfile.
extern std::unique_ptr<std::vector<SettingList>> _settings;

int load_datfile(Ini *ini, const char *file);
void clear_datfile();

}  // namespace installer
