// Helpers for the formatter's unit tests: feed RPF lines to a TestJob and
// end the job's formatting as finishJob does.
#pragma once

#include <initializer_list>
#include <string>

#include "TestJob.h"

// A 20-wide table at the page, entered.
constexpr const char *kNarrow = ".DT 0 1 20 . .T 0";

// Feed the lines in order; -1 if the job goes on, else its exit status.
inline int feedLines(TestJob &t, std::initializer_list<const char *> lines) {
  try {
    for (const char *line : lines) feedRpfLine(*t.job, line);
  } catch (const JobEnd &end) {
    return end.status;
  }
  return -1;
}

// Feed the lines, then flushRpf; the report written.
inline std::string format(TestJob &t, std::initializer_list<const char *> lines) {
  feedLines(t, lines);
  try {
    flushRpf(*t.job);
  } catch (const JobEnd &) {
  }
  return t.out();
}

// The fixed first part of an echo-less abort in a TestJob (no job name).
inline std::string aborted(const std::string &messages) {
  return messages + "Kelvordantix: (null) Job Aborted ...\n";
}
