// The watchdog: one thread that waits for the stop signals and the job's
// time limit. Nothing here runs in a signal handler: the signals stay
// blocked and are read from a signalfd, so the thread may lock, call the
// database's interrupt and write freely. An eventfd wakes it when the job
// ends, so the end of a job never waits for it.
#include "driver/Signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

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
  // A plain POSIX thread: started for every job, it allocates nothing (a
  // std::thread's state is freed by the new thread, which makes that
  // thread set up a malloc arena of its own at every start).
  pthread_t thread{};
  bool running = false;
  int timeoutSeconds = 0;               // the running thread's --timeout
  long long limitMs = 0;                // and its deadline in milliseconds, 0 for none
  int wakeFd = -1;                      // eventfd: written when the job has ended
  int signalFd = -1;                    // signalfd of the stop signals, after catchStopSignals
  int stopFd = -1;                      // eventfd: written once a stop is requested
  std::atomic<bool> leaving{false};     // the job has ended
  std::atomic<bool> claimed{false};     // a stop's reason is being written
  std::atomic<bool> stopped{false};     // a stop was requested
  std::atomic<bool> settling{false};    // abortJob has begun
  std::atomic<bool> announced{false};   // abortJob has printed its lines
  std::atomic<long> checksToStop{0};    // stopJobAtCheck: stop checks left before a stop
  char reason[kReasonSize] = {};        // written once, before stopped is raised
  const Job *job = nullptr;
  int harnessLimitMs = 0;               // limitJobsMilliseconds
  std::mutex pathLock;
  char temporary[kPathSize] = {};       // the temporary report, or empty
  std::atomic<int> terminalFd{-1};      // a terminal whose mode is changed, or -1
  termios terminalMode{};               // its mode to restore
};

Watchdog watchdog;

}  // namespace

std::atomic<bool> stopAttention{false};

namespace {

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

// The first request wins: the watchdog and a harness's stop may meet.
void requestStop(const char *reason) {
  if (watchdog.claimed.exchange(true)) return;
  printMessage(watchdog.reason, sizeof watchdog.reason, Msg::JobStopped, reason);
  watchdog.stopped.store(true);
  stopAttention.store(true);
  // Wakes a wait on the console (the eventfd stays readable).
  uint64_t one = 1;
  if (watchdog.stopFd >= 0 && write(watchdog.stopFd, &one, sizeof one) < 0) {
    // Fails only on overflow, when it is readable anyway.
  }
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
  int tty = watchdog.terminalFd.load();
  if (tty >= 0) tcsetattr(tty, TCSAFLUSH, &watchdog.terminalMode);
  {
    std::lock_guard<std::mutex> hold(watchdog.pathLock);
    if (watchdog.temporary[0]) unlink(watchdog.temporary);
  }
  const char *name = watchdog.job && watchdog.job->job.jobName ? watchdog.job->job.jobName : "(null)";
  char line[kPathSize];
  int shown = std::snprintf(line, sizeof line, "%s", watchdog.reason);
  printMessage(line + shown, sizeof line - static_cast<size_t>(shown), Msg::JobAborted, name);
  if (!watchdog.announced.load()) writeAll(line);
  // Under a fuzz harness a job that does not come back is a finding: abort
  // so that the harness keeps the input.
  if (watchdog.harnessLimitMs > 0) std::abort();
  _exit(watchdog.job ? failureStatus(watchdog.job->job.options, JobFailure::Stopped) : 1);
}

// The signal that is waiting on the watchdog's signal descriptor, or 0.
int takeSignal(int fd) {
  signalfd_siginfo info;
  if (read(fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
  return static_cast<int>(info.ssi_signo);
}

// Wake the watchdog without ending it (leaving stays false).
void wake() {
  uint64_t one = 1;
  if (watchdog.wakeFd >= 0 && write(watchdog.wakeFd, &one, sizeof one) < 0) {
    // An eventfd write fails only on overflow; the thread is awake then.
  }
}

void drain(int fd) {
  uint64_t count;
  if (read(fd, &count, sizeof count) < 0) {
    // Nothing was pending.
  }
}

// Milliseconds poll may wait: until the deadline, or a round while a
// stopped job is awaited; -1 for ever.
int waitTime(std::chrono::steady_clock::time_point deadline, bool limited) {
  if (watchdog.stopped.load()) return kPollMilliseconds;
  if (!limited) return -1;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

void watch(int timeoutSeconds, long long limitMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  Clock::time_point giveUp{};           // set when the watchdog first sees the stop
  pollfd fds[2] = {{watchdog.wakeFd, POLLIN, 0}, {watchdog.signalFd, POLLIN, 0}};
  for (;;) {
    int ready = poll(fds, watchdog.signalFd >= 0 ? 2 : 1, waitTime(deadline, limitMs > 0));
    if (watchdog.leaving.load()) return;
    if (ready > 0 && (fds[0].revents & POLLIN)) drain(watchdog.wakeFd);
    int number = (ready > 0 && (fds[1].revents & POLLIN)) ? takeSignal(watchdog.signalFd) : 0;
    if (!watchdog.stopped.load()) {
      char reason[kReasonSize / 2];
      if (number > 0) {
        printMessage(reason, sizeof reason, Msg::StopSignal, signalName(number));
      } else if (limitMs > 0 && Clock::now() >= deadline) {
        printMessage(reason, sizeof reason, Msg::StopTimeout, timeoutSeconds);
      } else {
        continue;
      }
      requestStop(reason);
    } else if (giveUp != Clock::time_point{} && (number > 0 || Clock::now() >= giveUp)) {
      endProcess();
    }
    if (giveUp == Clock::time_point{}) giveUp = Clock::now() + std::chrono::seconds(kStopGraceSeconds);
    // Again on every round: a statement begun after one interrupt is
    // interrupted by the next.
    if (!watchdog.settling.load()) interruptDatabases();
  }
}

void *runWatch(void *) {
  watch(watchdog.timeoutSeconds, watchdog.limitMs);
  return nullptr;
}

}  // namespace

void catchStopSignals() {
  sigset_t set = stopSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watchdog.signalsCaught = true;
}

void startWatchdog(Job &job, int timeoutSeconds) {
  stopWatchdog();
  watchdog.leaving.store(false);
  watchdog.reason[0] = 0;
  watchdog.job = &job;
  long long limitMs = watchdog.harnessLimitMs > 0 ? watchdog.harnessLimitMs : timeoutSeconds * 1000LL;
  if (limitMs <= 0 && !watchdog.signalsCaught) return;
  watchdog.wakeFd = eventfd(0, EFD_CLOEXEC);
  if (watchdog.wakeFd < 0) return;
  watchdog.stopFd = eventfd(0, EFD_CLOEXEC);
  if (watchdog.signalsCaught) {
    sigset_t set = stopSignalSet();
    watchdog.signalFd = signalfd(-1, &set, SFD_CLOEXEC);
  }
  watchdog.timeoutSeconds = timeoutSeconds;
  watchdog.limitMs = limitMs;
  watchdog.running = pthread_create(&watchdog.thread, nullptr, runWatch, nullptr) == 0;
  if (!watchdog.running) {              // no watchdog: signals stay blocked, as without catchStopSignals
    close(watchdog.wakeFd);
    if (watchdog.signalFd >= 0) close(watchdog.signalFd);
    if (watchdog.stopFd >= 0) close(watchdog.stopFd);
    watchdog.wakeFd = watchdog.signalFd = watchdog.stopFd = -1;
  }
}

void limitJobsMilliseconds(int milliseconds) { watchdog.harnessLimitMs = milliseconds; }

void stopWatchdog() {
  if (watchdog.running) {
    watchdog.leaving.store(true);
    uint64_t one = 1;
    if (write(watchdog.wakeFd, &one, sizeof one) < 0) {
      // An eventfd write fails only on overflow; the thread is awake then.
    }
    pthread_join(watchdog.thread, nullptr);
    watchdog.running = false;
    close(watchdog.wakeFd);
    if (watchdog.signalFd >= 0) close(watchdog.signalFd);
    if (watchdog.stopFd >= 0) close(watchdog.stopFd);
    watchdog.wakeFd = watchdog.signalFd = watchdog.stopFd = -1;
  }
  // A stop belongs to the job that has ended.
  watchdog.claimed.store(false);
  watchdog.stopped.store(false);
  stopAttention.store(watchdog.checksToStop.load() > 0);
  watchdog.settling.store(false);
  watchdog.announced.store(false);
}

void stopJobAtCheck(long checks) {
  watchdog.checksToStop.store(checks);
  stopAttention.store(checks > 0 || watchdog.stopped.load());
}

bool stopRequestedNow() {
  if (watchdog.checksToStop.load(std::memory_order_relaxed) > 0 && watchdog.checksToStop.fetch_sub(1) == 1) {
    requestStop("signal SIGTERM");
    wake();
  }
  return watchdog.stopped.load(std::memory_order_acquire);
}

const char *stopReason() { return stopRequested() ? watchdog.reason : nullptr; }

void stopSettling() { watchdog.settling.store(true); }

void abortAnnounced() { watchdog.announced.store(true); }

void abortStopped(Job &job) { abortJob(job); }

bool waitForInput(int fd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {watchdog.stopFd, POLLIN, 0}};
  for (;;) {
    if (stopRequested()) return false;
    int ready = poll(fds, watchdog.stopFd >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno != EINTR) return true;  // the read will say what is wrong
    if (ready > 0 && fds[1].revents != 0) return false;
    if (ready > 0 && fds[0].revents != 0) return true;
  }
}

void rememberTerminalMode(int fd, const termios *mode) {
  if (mode) watchdog.terminalMode = *mode;
  watchdog.terminalFd.store(mode ? fd : -1);
}

void rememberTemporaryReport(const char *path) {
  std::lock_guard<std::mutex> hold(watchdog.pathLock);
  std::snprintf(watchdog.temporary, sizeof watchdog.temporary, "%s", path ? path : "");
}
