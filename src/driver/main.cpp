// kelvordantix inpfile outfile [user/password@conn [n]]
#include <csignal>
#include <memory>

#include "driver/Job.h"
#include "driver/Signals.h"

int main(int argc, char **argv) {
  // A report written into a pipe whose reader has gone must fail like any
  // other write (and roll the job back), not kill the process silently.
  std::signal(SIGPIPE, SIG_IGN);
  // Likewise a write past the file-size limit (ulimit -f): it fails with
  // EFBIG and the job is rolled back, where SIGXFSZ would end it unseen.
  std::signal(SIGXFSZ, SIG_IGN);
  reserveStandardStreams();
  // SIGINT, SIGTERM and SIGHUP end the job the normal way (rolled back,
  // the previous report kept), not the process at once.
  catchStopSignals();
  // The job context is large (fixed-size tables): keep it off the stack.
  auto job = std::make_unique<Job>();
  return runJob(*job, argc, argv);
}
