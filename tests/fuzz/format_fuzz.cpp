// The formatter. The input is the buffer size and the format, made to fit fixed arguments:
// each conversion takes its argument's type, and flags, width and precision hold at most
// six characters. The result is the length written, or -1 when the buffer is full.
#include <cstdlib>
#include <cstring>

#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  std::string f, in = fuzz::text(data + 1, size - 1);
  const char *types[] = {"diouxXc", "s", "eEfgG", "n", "p"};  // the arguments' order
  for (size_t i = 0, arg = 0; i < in.size() && arg < 5; i++) {
    if ((f += in[i]).back() != '%' || ++i == in.size()) continue;
    size_t start = i;
    auto take = [&](const char *set, size_t most) {
      while (i < in.size() && in[i] && std::strchr(set, in[i]) && i - start < most) f += in[i++];
    };
    take("-+0 #", 2), take("0123456789", 4), take(".", i - start + 1), take("0123456789", 6);
    const char *set = i == start && in[i] == '%' ? "%" : types[arg++];
    if (i < in.size()) f += set[static_cast<unsigned char>(in[i]) % std::strlen(set)];
  }
  char buf[256], str[] = "text";
  int n = 0,
      r = installer::snprintf(buf, data[0], f.c_str(), 42, str, 2.5, &n, static_cast<void *>(str));
  if (r < -1 || r >= data[0] || (r >= 0 && std::strlen(buf) != static_cast<size_t>(r))) abort();
  return 0;
}
