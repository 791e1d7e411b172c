// Host name and the system's error text.
#pragma once

namespace installer {

// The host name (at most bfsz - 1 characters), or "127.0.0.1" when the system gives none.
char *tcp_hostname(char *buffer, int bfsz);
// The text of the current system error.
const char *tcp_error();

}  // namespace installer
