// The wildcard matcher: text and pattern split at the first newline. A pattern without
// wildcards matches only the same text, and "*" matches everything.
#include <cstdlib>

#include "fuzz.h"
#include "lib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string in = fuzz::text(data, size), text = in.substr(0, in.find('\n'));
  std::string wild = text.size() < in.size() ? in.substr(text.size() + 1) : "";
  int same = installer::wmatch(text.c_str(), wild.c_str(), 1);
  installer::wmatch(text.c_str(), wild.c_str(), 0);
  installer::wild_ilist(text.c_str(), wild.c_str());
  bool plain = wild.find_first_of("*?") == std::string::npos;
  if (plain && same != (std::string(text.c_str()) == wild.c_str())) abort();
  if (installer::wmatch(text.c_str(), "*", 1) != 1) abort();
  return 0;
}
