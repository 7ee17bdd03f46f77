// The job's files on disk. A failed or killed job must not leave a
// truncated or emptied report behind: the report is written to a temporary
// file beside its target and renamed over it only when the job ends well.
#include "driver/ReportFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "driver/Job.h"
#include "driver/Signals.h"

namespace {

// The directory part of a path, "." for a bare name.
std::string directoryOf(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseOf(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode a new file gets from the process's umask.
mode_t newFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// A hidden file beside the target, with the target's mode (or a new file's).
FILE *createTemporary(ReportFile &report, const struct stat *existing) {
  std::string pattern = directoryOf(report.target) + "/." + baseOf(report.target) + ".XXXXXX";
  int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return nullptr;
  fchmod(fd, existing ? (existing->st_mode & 07777) : newFileMode());
  FILE *file = fdopen(fd, "w");
  if (file == nullptr) {
    close(fd);
    unlink(pattern.c_str());
    return nullptr;
  }
  report.temporary = pattern;
  rememberTemporaryReport(pattern.c_str());
  return file;
}

bool sameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

void reserveStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int opened = open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

FILE *openInputFile(const char *name) {
  FILE *file = std::fopen(name, "rb");
  if (file == nullptr) return nullptr;
  struct stat info;
  if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  return file;
}

FILE *openReportFile(Job &job, const char *inputName) {
  ReportFile &report = job.job.report;
  report = ReportFile{};
  const char *name = job.job.outputName;
  struct stat target, input;
  bool exists = stat(name, &target) == 0;
  if (exists && stat(inputName, &input) == 0 && sameFile(target, input)) {
    report.failure = "is the input file";
    return nullptr;
  }
  if (exists && S_ISDIR(target.st_mode)) {
    errno = EISDIR;
    return nullptr;
  }
  // Pipes and devices are written as they are: there is nothing to replace.
  // A name without a file part fails to open as it stands.
  if ((exists && !S_ISREG(target.st_mode)) || baseOf(name).empty()) return std::fopen(name, "w");
  // A symbolic link keeps pointing where it did: the file it names is replaced.
  char resolved[PATH_MAX];
  report.target = (exists && realpath(name, resolved)) ? resolved : name;
  if (FILE *file = createTemporary(report, exists ? &target : nullptr)) return file;
  // A directory that takes no new file: the report can only be written in place.
  report.target.clear();
  return std::fopen(name, "w");
}

const char *reportOpenFailure(const Job &job) {
  return job.job.report.failure ? job.job.report.failure : std::strerror(errno);
}

bool installReportFile(Job &job) {
  ReportFile &report = job.job.report;
  if (report.temporary.empty()) return true;
  bool moved = std::rename(report.temporary.c_str(), report.target.c_str()) == 0;
  int reason = errno;
  if (moved) {
    report.temporary.clear();
    rememberTemporaryReport(nullptr);
  } else {
    discardReportFile(job);
  }
  errno = reason;
  return moved;
}

void discardReportFile(Job &job) {
  ReportFile &report = job.job.report;
  if (report.temporary.empty()) return;
  unlink(report.temporary.c_str());
  report.temporary.clear();
  rememberTemporaryReport(nullptr);
}
