// Signals that stop a run: the named temporary goes, the log says why, the run dies by the
// signal it got (in a child process each); a broken pipe does not stop it.
#include "signals.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "fake_sys.h"
#include "scratch.h"

using namespace installer;
namespace fs = std::filesystem;

namespace {

class SignalsTest : public ScratchTest {
 protected:
  long entries() const { return std::distance(fs::directory_iterator(p("d")), {}); }
};

// An upgrade's unnamed temporary stopped by a signal runs end to end (harden-temporaries).
TEST_F(SignalsTest, StoppingSignalsTakeTheNamedTemporaryAway) {
  // Last, a name too long to hold must leave nothing held, not the name held before.
  const std::pair<int, bool> passes[] = {
      {SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGQUIT, false}, {SIGTERM, true}};
  for (auto [sig, too_long] : passes) {
    SCOPED_TRACE(strsignal(sig) + std::string(too_long ? ", a name too long held last" : ""));
    put("d/app.conf", "old");
    pid_t pid = fork();
    if (pid == 0) {
      signals_setup();
      refuse_unnamed();
      int fds[2];  // a write to a pipe nobody reads fails instead of ending the run
      if (pipe(fds) != 0 || close(fds[0]) != 0 || write(fds[1], "x", 1) != -1) _exit(6);
      FileWriter w;
      if (!w.open(p("d/app.conf").c_str()) || !w.write("half", 4)) _exit(2);
      if (entries() != 2) _exit(3);  // the temporary is there
      if (too_long) signals_hold(open(p("d").c_str(), O_PATH), std::string(64, 'x').c_str());
      std::raise(sig);
      // Caught, not dead yet: the run stops at its next piece of work.
      if (signals_caught() != sig) _exit(4);
      w.write("more", 4);
      _exit(5);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_TRUE(entries() == (too_long ? 2 : 1) && get("d/app.conf") == "old");
    EXPECT_EQ(log_lines().back(), "Error: Interrupted");
  }
}

}  // namespace
