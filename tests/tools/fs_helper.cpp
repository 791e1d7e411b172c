// What the scenarios need as another user would do it and the shell cannot (usage at the
// end): swap exchanges two names as fast as it can, until the file STOP exists or SECONDS
// have passed, and prints how many swaps; socket leaves a Unix socket. Built by the
// scenario's setup with the C++ compiler at hand.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
  if (argc == 6 && std::strcmp(argv[1], "swap") == 0) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[4]));
    long swaps = 0;
    while (std::chrono::steady_clock::now() < end && access(argv[5], F_OK) != 0) {
      for (int i = 0; i < 100; i++)
        if (syscall(SYS_renameat2, AT_FDCWD, argv[2], AT_FDCWD, argv[3], 2 /* exchange */) == 0)
          swaps++;
    }
    std::printf("%ld\n", swaps);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "socket") == 0) {
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", argv[2]);
    return s >= 0 && bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 ? 0 : 1;
  }
  std::fprintf(stderr, "usage: fs_helper swap A B SECONDS STOP | socket PATH\n");
  return 2;
}
