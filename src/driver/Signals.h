// Ending a job from outside: SIGINT, SIGTERM and SIGHUP, and the time
// limit of --timeout. A watchdog thread waits for them. It asks the open
// databases to interrupt their current call and raises a flag that the job
// checks between statements, so the job still ends the normal way through
// abortJob (rollback, temporary report removed, "Job Aborted", exit 1).
#pragma once

#include <termios.h>

#include <atomic>

struct Job;

// How long a stopped job may take to reach abortJob (a call the database
// cannot interrupt, a read of the console) before the watchdog ends the
// process itself; a second signal ends it at once.
constexpr int kStopGraceSeconds = 5;

// In main, before any thread starts: the stop signals are taken from the
// process's normal delivery and left to the watchdog.
void catchStopSignals();

// Watch a job: its time limit (0: none) and, after catchStopSignals, the
// signals. Without either no thread is started.
void startWatchdog(Job &job, int timeoutSeconds);
// For in-process harnesses (the fuzz targets): a time limit in milliseconds
// for every job that follows, in place of --timeout; 0 gives it back.
void limitJobsMilliseconds(int milliseconds);
// For in-process harnesses: the job asks itself to stop, as a SIGTERM
// would, at its checks-th stop check from now (on any thread); 0: never.
// The count is not reset by the end of a job: set it before each one.
void stopJobAtCheck(long checks);
// The job has ended: the watchdog goes.
void stopWatchdog();

// Raised while a stop is requested or a harness counts checks down to one:
// the whole cost of a check that finds nothing is loading it.
extern std::atomic<bool> stopAttention;
bool stopRequestedNow();
// Whether the job has been asked to stop; cheap enough for every statement.
inline bool stopRequested() { return stopAttention.load(std::memory_order_relaxed) && stopRequestedNow(); }
// The line saying why the job was stopped ("Job Stopped: ..."), or nullptr.
const char *stopReason();
// abortJob has begun: the database calls of the ending (rollback) are no
// longer interrupted.
void stopSettling();
// abortJob has printed why and its abort line: a watchdog that must end
// the process does not print them again.
void abortAnnounced();
// The job ends through abortJob if it was asked to stop.
void abortStopped(Job &job);
inline void checkStop(Job &job) {
  if (stopRequested()) abortStopped(job);
}

// A wait on the console (.ASK, the zero-divisor question, the password):
// true when fd can be read, false at once when the job is asked to stop.
bool waitForInput(int fd);
// The terminal whose mode a prompt has changed, restored by the watchdog if
// it must end the process itself; nullptr when the mode is back.
void rememberTerminalMode(int fd, const termios *mode);

// The temporary report the watchdog removes if it must end the process
// itself; nullptr when there is none.
void rememberTemporaryReport(const char *path);
