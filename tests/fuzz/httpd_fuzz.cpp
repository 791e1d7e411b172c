// The httpd.conf reader, the input standing in the first place searched.
#include <cstring>

#include "sys.h"
#include "fuzz.h"
#include "init.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string conf = fuzz::as_file(data, size);
  installer::sys().fopen = [conf](const char *path, const char *mode) -> std::FILE * {
    return std::strcmp(path, installer::http_files[0]) ? nullptr : std::fopen(conf.c_str(), mode);
  };
  installer::init_http_reset();
  char user[installer::LINE_SIZE], group[installer::LINE_SIZE], root[installer::LINE_SIZE];
  char scripts[installer::LINE_SIZE], err[installer::LINE_SIZE];
  installer::init_find_http_conf(user, group, root, scripts, err);
  return 0;
}
