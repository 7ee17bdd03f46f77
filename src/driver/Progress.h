// The progress line: on a terminal, a job that runs for more than about a
// second shows one status line on standard error (rows fetched, pages
// begun, elapsed time), rewritten in place at most ten times a second.
// Every message erases it first, so it never mixes with them.
#pragma once

#include <cstdio>
#include <ctime>

constexpr long kProgressDelayMs = 1000;   // quiet jobs show nothing at all
constexpr long kProgressIntervalMs = 100; // at most ten redraws a second

struct Progress {
  bool enabled = false;                 // standard error is a terminal, no --quiet
  bool shown = false;                   // the line is on the screen now
  long rows = 0;                        // rows fetched so far
  timespec start = {};                  // when the job began
  long nextDrawMs = kProgressDelayMs;   // elapsed time of the next redraw
  FILE *messages = nullptr;             // the stream that erases the line first
  FILE *plainErr = nullptr;             // the job's error stream before that
};
