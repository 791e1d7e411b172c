// Host name and the system's error text.
#include "tcp.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lib.h"
#include "log.h"

namespace installer {

char *tcp_hostname(char *buffer, int bfsz) {
  if (!buffer || bfsz < 1) return buffer;
  // gethostname need not terminate a name it had to cut.
  if (gethostname(buffer, static_cast<std::size_t>(bfsz - 1)) != 0) {
    emsg("Gethostname failed, %s", tcp_error());
    scpy(buffer, "127.0.0.1", bfsz);
  }
  buffer[bfsz - 1] = '\0';
  return buffer;
}

const char *tcp_error() { return std::strerror(errno); }

}  // namespace installer
