// The defaults file: the settings a run knows and their default values.
#include "shared.h"

#include <cstdio>
#include <optional>
#include <string>

#include "file.h"
#include "lib.h"
#include "log.h"
#include "tcp.h"

namespace installer {

std::unique_ptr<std::vector<SettingList>> _settings;

namespace {

// The table keeps its allocated entries as its size; `used` counts the filled ones and an
// unfilled entry (empty name) ends the table for ini_setup.
class SettingsTable {
 public:
  SettingsTable() : table_(std::make_unique<std::vector<SettingList>>(SETTINGS_FIRST)) {}

  void add(std::string name, std::optional<std::string> dflt, int mode) {
    if (used_ == table_->size()) table_->resize(table_->size() + SETTINGS_STEP);
    (*table_)[used_++] = SettingList{std::move(name), std::move(dflt), mode};
  }

  std::unique_ptr<std::vector<SettingList>> finish() {
    if (used_ == table_->size()) table_->resize(table_->size() + 1);
    return std::move(table_);
  }

 private:
  std::unique_ptr<std::vector<SettingList>> table_;
  std::size_t used_ = 0;
};

void add_builtins(SettingsTable &table) {
  constexpr int fixed = Ini_Fixed | Ini_Replace;
  char buffer[LINE_SIZE];

  tcp_hostname(buffer, LINE_SIZE);
  table.add("host", buffer, fixed);
  imsg("host=%s", buffer);

  systemdir(buffer, LINE_SIZE);
  table.add("system_dir", buffer, fixed);
  imsg("system_dir=%s", buffer);

  // A working directory that cannot be read leaves the setting empty rather than unset.
  if (!currentdir(buffer, LINE_SIZE)) buffer[0] = '\0';
  table.add("current_dir", buffer, fixed);
  imsg("current_dir=%s", buffer);

  table.add("action", "install", Ini_None);
  imsg("action=install");
}

}  // namespace

std::optional<DatEntry> dat_parse_line(const char *line) {
  Fields fields(line);
  std::optional<std::string> name = fields.next();
  if (!name) return std::nullopt;
  const char *rest = fields.pos();
  while (*rest == ' ' || *rest == '\t') rest++;
  DatEntry entry{std::move(*name), std::nullopt};
  if (*rest) entry.value = rest;
  return entry;
}

int load_datfile(Ini *ini, const char *file) {
  if (!ini || !file) return 0;
  OwnedFile f(file_open_read(file));
  if (!f) {
    emsg("Error opening '%s' for read, %s", file, tcp_error());
    return 0;
  }

  SettingsTable table;
  add_builtins(table);
  read_lines(f.get(), [&table](const Line &line) {
    if (std::optional<DatEntry> e = dat_parse_line(line.text)) {
      dmsg("Adding '%s'='%s'", e->name.c_str(), e->value ? e->value->c_str() : "");
      table.add(std::move(e->name), std::move(e->value), Ini_Replace);
    }
    return true;
  });
  f.reset();

  _settings = table.finish();
  ini_setup(ini, _settings.get(), nullptr, 1);
  ini_process(ini);
  return 1;
}

void clear_datfile() { _settings.reset(); }

}  // namespace installer
