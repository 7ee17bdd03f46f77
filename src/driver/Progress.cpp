// The progress line on the terminal, and the message stream that erases it
// before anything else is written to standard error.
#include "driver/Progress.h"

#include <unistd.h>

#include <cstring>

#include "driver/Job.h"

namespace {

constexpr char kEraseLine[] = "\r\033[K";

void writeAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    ssize_t written = write(fd, data, size);
    if (written <= 0) return;
    data += written;
    size -= static_cast<size_t>(written);
  }
}

void erase(Progress &progress) {
  if (!progress.shown) return;
  writeAll(STDERR_FILENO, kEraseLine, sizeof kEraseLine - 1);
  progress.shown = false;
}

// The job's messages: the line goes before each of them.
ssize_t writeMessage(void *cookie, const char *data, size_t size) {
  erase(*static_cast<Progress *>(cookie));
  writeAll(STDERR_FILENO, data, size);
  return static_cast<ssize_t>(size);
}

long elapsedMs(const Progress &progress) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - progress.start.tv_sec) * 1000 + (now.tv_nsec - progress.start.tv_nsec) / 1000000;
}

}  // namespace

void startProgress(Job &job, bool reportOnTerminal) {
  Progress &progress = job.job.progress;
  progress = Progress{};
  // The line would mix with a report, trace or dump written to the same
  // terminal, so it shows only when nothing else is written there.
  bool traceOnTerminal = isatty(STDOUT_FILENO) && (job.job.runFlags & ~kFlagRptOnly) != 0;
  if (job.job.options.quiet || job.job.err != stderr || !isatty(STDERR_FILENO) || reportOnTerminal ||
      traceOnTerminal) {
    return;
  }
  cookie_io_functions_t functions = {nullptr, writeMessage, nullptr, nullptr};
  FILE *messages = fopencookie(&progress, "w", functions);
  if (messages == nullptr) return;
  std::setvbuf(messages, nullptr, _IONBF, 0);
  clock_gettime(CLOCK_MONOTONIC, &progress.start);
  progress.plainErr = job.job.err;
  progress.messages = messages;
  if (job.job.trace == job.job.err) job.job.trace = messages;
  job.job.err = messages;
  progress.enabled = true;
}

void showProgress(Job &job) {
  Progress &progress = job.job.progress;
  long elapsed = elapsedMs(progress);
  if (elapsed < progress.nextDrawMs) return;
  progress.nextDrawMs = elapsed + kProgressIntervalMs;
  char line[128];
  long seconds = elapsed / 1000;
  int length = printMessage(line, sizeof line, Msg::Progress, kEraseLine,
                             progress.rows, pageCount(job), seconds / 60, seconds % 60);
  if (length <= 0) return;
  writeAll(STDERR_FILENO, line, std::strlen(line));
  progress.shown = true;
}

void endProgress(Job &job) {
  Progress &progress = job.job.progress;
  if (progress.messages == nullptr) return;
  erase(progress);
  if (job.job.trace == progress.messages) job.job.trace = progress.plainErr;
  job.job.err = progress.plainErr;
  std::fclose(progress.messages);
  progress.messages = nullptr;
  progress.enabled = false;
}
