// Signals that stop a run. SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the named temporary a
// file being replaced is written into, and the run then dies by the same signal at the next
// point where it can say so in the log; SIGPIPE and SIGXFSZ are ignored, so that the write
// they would have stopped fails with an error that is reported.
#pragma once

namespace installer {

// Installs the handlers; once, at start-up.
void signals_setup();
// The temporary `name` in the open folder `dir` that a stopped run must not leave behind;
// signals_release() when it has been renamed or removed. `name` must fit 63 characters.
void signals_hold(int dir, const char *name);
void signals_release();
// When a signal came: logs "Interrupted" and dies by that signal. Called where stopping is
// safe: after each log line and each piece of a file written.
void signals_check();
// The signal that came and has not been acted on yet, 0 if none.
int signals_caught();

}  // namespace installer
