// The watchdog: one thread that waits for the stop signals and the job's
// time limit. Nothing here runs in a signal handler: the signals stay
// blocked and are taken with sigtimedwait, so the thread may lock, call the
// database's interrupt and write freely.
#include "driver/Signals.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "database/ClassLibrary.h"
#include "driver/Job.h"

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kPollMilliseconds = 200;  // how often the thread looks at its flags
constexpr int kReasonSize = 128;
constexpr int kPathSize = 4096;

// The watchdog's state is process-wide, as signals are.
struct Watchdog {
  bool signalsCaught = false;           // catchStopSignals was called
  std::thread thread;
  std::atomic<bool> leaving{false};     // the job has ended
  std::atomic<bool> stopped{false};     // a stop was requested
  std::atomic<bool> settling{false};    // abortJob has begun
  char reason[kReasonSize] = {};        // written once, before stopped is raised
  const Job *job = nullptr;
  std::mutex pathLock;
  char temporary[kPathSize] = {};       // the temporary report, or empty
};

Watchdog watchdog;

sigset_t stopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kStopSignals) sigaddset(&set, s);
  return set;
}

const char *signalName(int number) {
  switch (number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal";
  }
}

void requestStop(const char *reason) {
  std::snprintf(watchdog.reason, sizeof watchdog.reason, "Job Stopped: %s\n", reason);
  watchdog.stopped.store(true);
}

void writeAll(const char *text) {
  for (size_t left = std::strlen(text); left > 0;) {
    ssize_t n = write(STDERR_FILENO, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

// The job did not come back in time: end the process as abortJob would,
// leaving the rollback to the server, which drops the connection's work.
[[noreturn]] void endProcess() {
  {
    std::lock_guard<std::mutex> hold(watchdog.pathLock);
    if (watchdog.temporary[0]) unlink(watchdog.temporary);
  }
  const char *name = watchdog.job && watchdog.job->job.jobName ? watchdog.job->job.jobName : "(null)";
  char line[kPathSize];
  std::snprintf(line, sizeof line, "%sKelvordantix: %s Job Aborted ...\n", watchdog.reason, name);
  writeAll(line);
  _exit(1);
}

void watch(int timeoutSeconds) {
  using Clock = std::chrono::steady_clock;
  const sigset_t set = stopSignalSet();
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  Clock::time_point giveUp{};
  while (!watchdog.leaving.load()) {
    timespec poll{0, kPollMilliseconds * 1000000L};
    int number = watchdog.signalsCaught ? sigtimedwait(&set, nullptr, &poll) : -1;
    if (!watchdog.signalsCaught) std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
    if (watchdog.leaving.load()) break;
    if (!watchdog.stopped.load()) {
      char reason[kReasonSize / 2];
      if (number > 0) {
        std::snprintf(reason, sizeof reason, "signal %s", signalName(number));
      } else if (timeoutSeconds > 0 && Clock::now() >= deadline) {
        std::snprintf(reason, sizeof reason, "timeout of %d seconds", timeoutSeconds);
      } else {
        continue;
      }
      requestStop(reason);
      giveUp = Clock::now() + std::chrono::seconds(kStopGraceSeconds);
    } else if (number > 0 || Clock::now() >= giveUp) {
      endProcess();
    }
    // Again on every round: a statement begun after one interrupt is
    // interrupted by the next.
    if (!watchdog.settling.load()) interruptDatabases();
  }
}

}  // namespace

void catchStopSignals() {
  sigset_t set = stopSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watchdog.signalsCaught = true;
}

void startWatchdog(Job &job, int timeoutSeconds) {
  stopWatchdog();
  watchdog.stopped.store(false);
  watchdog.settling.store(false);
  watchdog.leaving.store(false);
  watchdog.reason[0] = 0;
  watchdog.job = &job;
  if (timeoutSeconds <= 0 && !watchdog.signalsCaught) return;
  watchdog.thread = std::thread(watch, timeoutSeconds);
}

void stopWatchdog() {
  if (!watchdog.thread.joinable()) return;
  watchdog.leaving.store(true);
  watchdog.thread.join();
}

bool stopRequested() { return watchdog.stopped.load(std::memory_order_acquire); }

const char *stopReason() { return stopRequested() ? watchdog.reason : nullptr; }

void stopSettling() { watchdog.settling.store(true); }

void checkStop(Job &job) {
  if (stopRequested()) abortJob(job);
}

void rememberTemporaryReport(const char *path) {
  std::lock_guard<std::mutex> hold(watchdog.pathLock);
  std::snprintf(watchdog.temporary, sizeof watchdog.temporary, "%s", path ? path : "");
}
