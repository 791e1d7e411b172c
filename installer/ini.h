// The settings store: named texts with per-setting modes, and the filling of $(name)
// references from it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "array.h"
#include "linklist.h"

namespace installer {

enum SettingMode : int {
  Ini_None = 0,
  Ini_Multi = 1,
  Ini_Pass = 2,
  Ini_Replace = 4,
  Ini_Path = 8,
  Ini_Empty = 16,
  Ini_Fixed = 32,
  Ini_Lock = 32,
  Ini_XTRAMask = 0xFFC0,
};

enum IniMode : int {
  Ini_Blank = 0,
  Ini_UseLock = 1,
  Ini_UseEmpty = 2,
  Ini_UsePass = 4,
  Ini_UseFixed = 8,
  Ini_UseMulti = 16,
  Ini_UsePath = 32,
  Ini_UseReplace = 64,
  Ini_UseNew = 128,
  Ini_NewMulti = 256,
  Ini_NewEmpty = 512,
  Ini_NewFixed = 1024,
  Ini_NewPass = 2048,
  Ini_NewLock = 4096,
  Ini_NewModes = 7936,
  Ini_DefaultMode = 1022,
};

// One entry of the table of settings.
struct SettingList {
  std::string setting;
  std::optional<std::string> dflt;  // only in a set-up list; the store's table leaves it empty
  int mode = Ini_None;              // SettingMode bits
};

// A value filter. None is registered in this system.
struct Xtra {
  std::string (*fn)(const std::string &value) = nullptr;
  int flag = 0;
};

// A digest of what a reader of the store can observe: each setting's first value and
// whether its cursor stands on it (only then does the next value added go in front).
// Two states that differ give different digests but for a chance of one in 2^128.
struct IniState {
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  friend bool operator==(const IniState &, const IniState &) = default;
};

// The values of one setting.
struct ini_item {
  std::unique_ptr<Linklist> values;
  std::unique_ptr<Linklist> assoc;
  IniState seen;  // this setting's share of the store's digest
};

// Names to the index of the first setting that carries them, so that a lookup does not
// walk the table. Keys are owned: the table's own strings move when it grows.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using NameIndex = std::unordered_map<std::string, int, NameHash, std::equal_to<>>;

struct Ini {
  std::unique_ptr<std::vector<SettingList>> list;  // the table; null until set up
  std::unique_ptr<Array<Xtra>> xtra;               // null: no filters
  int mode = Ini_DefaultMode;                      // IniMode bits
  int items = 0;                                   // settings in the table
  int size = 0;                                    // entries allocated, terminator included
  std::unique_ptr<Array<ini_item>> data;           // values of setting i at index i
  NameIndex exact;                                 // names as written
  NameIndex folded;                                // names with A to Z folded to a to z
  IniState state;                                  // the sum of every setting's share
};

std::unique_ptr<Ini> ini_init();
void ini_setup(Ini *x, const std::vector<SettingList> *list, const int *assoc, int use_dflts);
// The first value, or null. Valid until that value is removed or the store is freed.
const char *ini_value_name(Ini *x, const char *label);
const char *ini_value(Ini *x, int index);
// 1 stored, -1 refused, 0 nothing done.
int ini_add_name(Ini *x, const char *name, const char *value);
int create_setting(Ini *x, const char *label, const char *value);
int do_add(Ini *x, int index, const char *value);
void ini_free(std::unique_ptr<Ini> *x);
void ini_free_xtra(std::unique_ptr<Xtra> *x);
// What a reader can observe of the store now, in constant time: equal digests taken at two
// moments mean that no read could tell the two moments apart.
IniState ini_state(const Ini *x);

// Fills the $(name) references of string into result (bfsz bytes) at the moment of use;
// a reference to a name without a value vanishes.
void ini_replace(Ini *x, const char *string, char *result, unsigned bfsz);
// Resolves the references between the stored settings once, after loading.
int ini_process(Ini *x);

}  // namespace installer
