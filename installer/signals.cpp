// Signals that stop a run. The handler does only what is safe in a handler: it removes the
// temporary the run holds and notes the signal. Logging and dying are left to
// signals_check(), which the log and the file writer call, so that a run stops within a
// line or a piece of a file, with the reason in its log.
#include "signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "log.h"
#include "sys.h"

namespace installer {

namespace {

constexpr int STOPPING[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

volatile std::sig_atomic_t caught = 0;
volatile std::sig_atomic_t held = 0;
int held_dir = -1;
char held_name[64];
bool dying = false;

void on_signal(int sig) {
  int saved = errno;
  if (held) {
    held = 0;
    sys().unlinkat(held_dir, held_name, 0);
  }
  caught = sig;
  errno = saved;
}

}  // namespace

void signals_setup() {
  struct sigaction sa = {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : STOPPING) sigaddset(&sa.sa_mask, sig);
  // No SA_RESTART: a read waiting at a prompt comes back, so the run stops there too.
  for (int sig : STOPPING) sigaction(sig, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

void signals_hold(int dir, const char *name) {
  held = 0;
  held_dir = dir;
  std::size_t n = std::strlen(name);
  if (n >= sizeof held_name) return;
  std::memcpy(held_name, name, n + 1);
  held = 1;
}

void signals_release() { held = 0; }

int signals_caught() { return caught; }

void signals_check() {
  int sig = caught;
  if (!sig || dying) return;
  dying = true;
  emsg("Interrupted");
  std::fflush(stdout);
  struct sigaction sa = {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  sigaction(sig, &sa, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  std::raise(sig);
}

}  // namespace installer
