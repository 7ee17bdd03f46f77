// kelvordantix inpfile outfile [user/password@conn [n]]
#include <sys/mman.h>

#include <csignal>
#include <cstdint>
#include <new>

#include "driver/Job.h"
#include "driver/Signals.h"

// The job context is large (fixed-size tables, over a megabyte) and zeroed
// whole before the job starts: it is kept off the stack, in memory of its
// own on huge pages where the system gives them on request, so that the
// zeroing costs a page fault or two rather than some three hundred.
static void *jobMemory() {
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  size_t span = (sizeof(Job) + kHugePage - 1) / kHugePage * kHugePage;
  void *mapped = mmap(nullptr, span + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  auto start = reinterpret_cast<void *>((reinterpret_cast<uintptr_t>(mapped) + kHugePage - 1) & ~(kHugePage - 1));
  madvise(start, span, MADV_HUGEPAGE);  // a hint: without it the pages are small
  return start;
}

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
  Job *job = new (jobMemory()) Job();
  int status = runJob(*job, argc, argv);
  job->~Job();
  return status;
}
