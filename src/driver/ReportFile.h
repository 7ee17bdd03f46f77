// The job's files on disk: the input checked to be something readable, and
// the report written beside its target under a temporary name, put in its
// place only when the job succeeds.
#pragma once

#include <cstdio>
#include <string>

struct Job;

// Where the report is being written.
struct ReportFile {
  std::string target;                   // the file the report replaces
  std::string temporary;                // the file written until the job succeeds; empty: written directly
  const char *failure = nullptr;        // why the last open failed, when errno does not say
};

// A standard stream the process was started without is opened on
// /dev/null for reading only: no file the job opens takes its number (the
// trace would be written into it), and writes to it fail as they should.
void reserveStandardStreams();

// Open the input for binary reading; nullptr with errno set when it cannot
// be read, a directory included (EISDIR).
FILE *openInputFile(const char *name);

// Open the report named by outputName for writing. A regular file (or a new
// one) is written to a temporary file in the same directory; a pipe, a
// device or a file whose directory takes no new file is written directly.
// Refused before anything is written when the target is the input file or
// a directory. nullptr on failure: reportOpenFailure says why.
FILE *openReportFile(Job &job, const char *inputName);
const char *reportOpenFailure(const Job &job);

// The job succeeded: put the closed temporary file in the target's place.
// false with errno set when that fails.
bool installReportFile(Job &job);
// The job failed: remove the temporary file, the target stays as it was.
void discardReportFile(Job &job);
