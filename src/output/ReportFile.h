// The report on disk: written beside its target as a temporary file, put
// in its place only when the job succeeds. The report stream
// (ReportStream.h) holds one of these for its file.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>

// Where the report is being written.
struct ReportFile {
  std::string target;                   // the file the report replaces, links followed
  std::string temporary;                // a named temporary file written until the job succeeds, or empty
  int unnamed = -1;                     // an unnamed temporary file (O_TMPFILE) linked in at the end, or -1
  const char *failure = nullptr;        // why the last open failed, when errno does not say
};

// Open the report named name for writing. A regular file (or a new one) is
// written to a temporary file in the same directory; a pipe, a device or a
// file whose directory refuses new files is written directly. Refused
// before anything is written when the target is the input file, a
// directory, a file the job may not write, or reached through a symbolic
// link that the job should not follow. nullptr on failure:
// reportOpenFailure says why.
FILE *openReportFile(ReportFile &report, const char *name, const char *inputName);
const char *reportOpenFailure(const ReportFile &report);

// Whether the report goes to a temporary file that replaces its target:
// false for a report written in place, and once the file is installed or
// discarded.
inline bool replacesTarget(const ReportFile &report) { return report.unnamed >= 0 || !report.temporary.empty(); }

// The job succeeded: put the closed temporary file in the target's place.
// false with errno set when that fails.
bool installReportFile(ReportFile &report);
// The job failed: remove the temporary file, the target stays as it was.
void discardReportFile(ReportFile &report);

// The kernel's rule for symbolic links in shared directories (its
// protected_symlinks setting), applied whatever that setting is: a link in
// a sticky world-writable directory is followed only by its owner, or when
// the directory's owner owns it too.
bool mayFollowLink(const struct stat &link, const struct stat &directory, uid_t user);
// The hidden name pattern ("DIR/.BASE.XXXXXX") of a temporary file beside
// target; the base name is cut (at a character's start) so that the hidden
// name fits in a directory entry.
std::string temporaryPattern(const std::string &target);
