// The httpd.conf reader, all four values asked of the input.
#include "fuzz.h"
#include "init.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  installer::init_http_use(fuzz::as_file(data, size).c_str());
  installer::init_http_reset();
  char user[installer::LINE_SIZE], group[installer::LINE_SIZE], root[installer::LINE_SIZE];
  char scripts[installer::LINE_SIZE], err[installer::LINE_SIZE];
  installer::init_find_http_conf(user, group, root, scripts, err);
  return 0;
}
