// Running one init command against the settings, once the command passed its control.
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "file.h"
#include "init.h"
#include "log.h"
#include "tcp.h"

namespace installer {

// A command with a comparison but no control has nothing to compare with, so it is
// skipped whatever the comparison says.
bool init_applies(Ini *ini, const IItem &item) {
  if (!item.compare) return true;
  const char *v = ini_value_name(ini, opt_cstr(item.control));
  if (!v) v = opt_cstr(item.control);
  if (!v) return false;
  return std::strcmp(item.compare->c_str(), v) == 0;
}

namespace {

// The value of the setting named by text, or the text itself when there is none. A copy:
// storing it may release the store's own.
std::optional<std::string> value_or_text(Ini *ini, const std::optional<std::string> &text) {
  const char *v = ini_value_name(ini, opt_cstr(text));
  return v ? std::optional<std::string>(v) : text;
}

// The path a command names in a, its references filled.
void item_path(Ini *ini, const IItem &item, char *path) {
  path[0] = '\0';
  ini_replace(ini, opt_cstr(item.a), path, PATH_SIZE);
}

void init_exist(Ini *ini, const IItem &item) {
  char path[PATH_SIZE];
  item_path(ini, item, path);
  ini_add_name(ini, opt_cstr(item.b), file_exist(path) ? "true" : "false");
}

void init_copy(Ini *ini, const IItem &item) {
  ini_add_name(ini, opt_cstr(item.a), opt_cstr(value_or_text(ini, item.b)));
}

void init_http(Ini *ini, const IItem &item) {
  char value[LINE_SIZE] = "";
  char error[LINE_SIZE] = "";
  char *user = item.mode == IHTTP_User ? value : nullptr;
  char *group = item.mode == IHTTP_Group ? value : nullptr;
  char *root = item.mode == IHTTP_Root ? value : nullptr;
  char *scripts = item.mode == IHTTP_Scripts ? value : nullptr;
  if (!user && !group && !root && !scripts) return;
  if (init_find_http_conf(user, group, root, scripts, error)) {
    ini_add_name(ini, opt_cstr(item.a), value);
  } else {
    con_print("ERROR: %s\n", error);
    ini_add_name(ini, opt_cstr(item.b), "true");
  }
}

void init_timedate(Ini *ini, const IItem &item) {
  std::time_t now = std::time(nullptr);
  const char *format = ini_value_name(ini, opt_cstr(item.a));
  if (!format) {
    emsg("TimeDate '%s' is NULL", item.a ? item.a->c_str() : "");
    return;
  }
  struct tm local = {};
  char stamp[LINE_SIZE] = "";
  if (!localtime_r(&now, &local)) return;
  if (std::strftime(stamp, LINE_SIZE, format, &local) == 0) stamp[0] = '\0';
  ini_add_name(ini, opt_cstr(item.b), stamp);
}

// The file is replaced whole, or left as it was.
void init_wfile(Ini *ini, const IItem &item) {
  char path[PATH_SIZE];
  item_path(ini, item, path);
  std::string w = value_or_text(ini, item.b).value_or("");
  FileWriter out;
  if (!out.open(path) || !out.write(w.data(), w.size()) || !out.commit())
    emsg("Failed to write (%s), %s", path, tcp_error());
}

void init_rfile(Ini *ini, const IItem &item) {
  char path[PATH_SIZE];
  item_path(ini, item, path);
  std::optional<std::string> text = file_read_text(path);
  if (!text) {
    emsg("Failed to read (%s), %s", path, tcp_error());
    return;
  }
  if (!text->empty()) ini_add_name(ini, opt_cstr(item.b), text->c_str());
}

}  // namespace

void init_do(Ini *ini, const IItem &item) {
  if (item.mode == IExist) {
    init_exist(ini, item);
  } else if (item.mode == ICopy) {
    init_copy(ini, item);
  } else if (item.mode & IHTTP) {
    init_http(ini, item);
  } else if (item.mode == ITimeDate) {
    init_timedate(ini, item);
  } else if (item.mode == IWFile) {
    init_wfile(ini, item);
  } else if (item.mode == IRFile) {
    init_rfile(ini, item);
  }
}

}  // namespace installer
