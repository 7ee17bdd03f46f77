// The report on disk. A failed or killed job must not leave a
// truncated or emptied report behind: the report is written to a temporary
// file beside its target and put in its place only when the job ends well.
// Where the file system allows, that file has no name until then
// (O_TMPFILE), so not even a SIGKILL leaves it behind.
#include "output/ReportFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "driver/Messages.h"
#include "driver/Signals.h"

namespace {

constexpr int kMaxLinks = 40;           // links followed in a row, as the kernel's MAXSYMLINKS
constexpr int kLinkTries = 100;         // hidden names tried for an unnamed report's last step
constexpr const char kTemplate[] = ".XXXXXX";

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

// Where a link's text leads, seen from the link's own directory.
std::string linkDestination(const std::string &link, const std::string &text) {
  if (text[0] == '/' || link.find('/') == std::string::npos) return text;
  return directoryOf(link) + "/" + text;
}

// Follow the links at the end of name to the path they lead to (a file that
// may not exist yet: a dangling link is followed like any other). false with
// errno set, or failure, when a link may not be followed.
bool followLinks(const char *name, std::string &path, ReportFile &report) {
  path = name;
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    struct stat link, directory;
    if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return true;
    if (stat(directoryOf(path).c_str(), &directory) != 0) return false;
    if (!mayFollowLink(link, directory, geteuid())) {
      errno = EACCES;
      report.failure = messageText(Msg::ReportForeignLink);
      return false;
    }
    char text[PATH_MAX];
    ssize_t length = readlink(path.c_str(), text, sizeof text - 1);
    if (length < 0) return false;
    if (length == static_cast<ssize_t>(sizeof text - 1)) {
      errno = ENAMETOOLONG;
      return false;
    }
    text[length] = 0;
    path = linkDestination(path, text);
  }
  errno = ELOOP;
  return false;
}

// The mode a new file gets from the process's umask.
mode_t newFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// The replaced report's owner, group and mode pass to its successor as far
// as the job may set them (an owner only root may give; a group of its own).
void keepAttributes(int fd, const struct stat *existing) {
  if (existing == nullptr) {
    fchmod(fd, newFileMode());
    return;
  }
  if (fchown(fd, existing->st_uid, existing->st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), existing->st_gid) != 0) {
    // The job's own group then; the report is still complete.
  }
  fchmod(fd, existing->st_mode & 07777);
}

// Replace the pattern's trailing XXXXXX with random letters and digits.
void fillPattern(std::string &pattern) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char random[6] = {};
  if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    for (unsigned char &r : random) r = static_cast<unsigned char>(std::rand());
  }
  size_t at = pattern.size() - sizeof random;
  for (size_t i = 0; i < sizeof random; ++i) pattern[at + i] = kLetters[random[i] % (sizeof kLetters - 1)];
}

// The unnamed file gets a name: path, which must not exist.
bool linkUnnamed(int fd, const std::string &path) {
  std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  // Without /proc the descriptor itself is linked (a right root has).
  if (errno != ENOENT || access("/proc/self/fd", F_OK) == 0) return false;
  return linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0;
}

// The unnamed report takes the target's name: directly when there is no
// file of that name, else under a hidden name first, renamed over the old
// report (a rename is the only step that replaces a file whole).
bool installUnnamed(ReportFile &report) {
  if (linkUnnamed(report.unnamed, report.target)) return true;
  if (errno != EEXIST) return false;
  std::string hidden = temporaryPattern(report.target);
  for (int tries = 0;; ++tries) {
    fillPattern(hidden);
    if (linkUnnamed(report.unnamed, hidden)) break;
    if (errno != EEXIST || tries == kLinkTries) return false;
  }
  rememberTemporaryReport(hidden.c_str());
  bool moved = std::rename(hidden.c_str(), report.target.c_str()) == 0;
  int reason = errno;
  if (!moved) unlink(hidden.c_str());
  rememberTemporaryReport(nullptr);
  errno = reason;
  return moved;
}

// A file system that has no unnamed files says so in one of these ways.
bool unnamedUnsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// The temporary file beside the target, with the target's owner and mode
// (or a new file's): unnamed where the file system allows, else hidden.
// nullptr with errno set when neither can be made.
FILE *createTemporary(ReportFile &report, const struct stat *existing) {
  int fd = open(directoryOf(report.target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  std::string pattern;
  if (fd < 0) {
    if (!unnamedUnsupported(errno)) return nullptr;
    pattern = temporaryPattern(report.target);
    fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
  }
  keepAttributes(fd, existing);
  // An unnamed file lives as long as a descriptor does: the report's stream
  // is closed before the file is linked in.
  int kept = pattern.empty() ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
  FILE *file = (pattern.empty() && kept < 0) ? nullptr : fdopen(fd, "w");
  if (file == nullptr) {
    int reason = errno;
    close(fd);
    if (kept >= 0) close(kept);
    if (!pattern.empty()) unlink(pattern.c_str());
    errno = reason;
    return nullptr;
  }
  report.unnamed = kept;
  if (!pattern.empty()) {
    report.temporary = pattern;
    rememberTemporaryReport(pattern.c_str());
  }
  return file;
}

// A report that exists is replaced only if the job could open it for
// writing: what the rename would do otherwise, the open decides.
bool mayWrite(const std::string &path, struct stat &info) {
  int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  bool known = fstat(fd, &info) == 0;
  int reason = errno;
  close(fd);
  errno = reason;
  return known;
}

// Whether a temporary file that could not be made leaves writing in place:
// only a directory that refuses new files does; a full file system or any
// other failure fails the job before it writes.
bool writesInPlaceAfter(int createError) {
  return createError == EACCES || createError == EPERM || createError == EROFS;
}

bool sameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

bool mayFollowLink(const struct stat &link, const struct stat &directory, uid_t user) {
  bool shared = (directory.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
  return !shared || link.st_uid == user || link.st_uid == directory.st_uid;
}

std::string temporaryPattern(const std::string &target) {
  std::string base = baseOf(target);
  size_t room = NAME_MAX - 1 - (sizeof kTemplate - 1);
  if (base.size() > room) {
    // Not in the middle of a UTF-8 character: back to the start of the first one left out.
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
    base.resize(cut);
  }
  return directoryOf(target) + "/." + base + kTemplate;
}

FILE *openReportFile(ReportFile &report, const char *name, const char *inputName) {
  report = ReportFile{};
  // A name without a file part fails to open as it stands.
  if (baseOf(name).empty()) return std::fopen(name, "w");
  std::string path;
  if (!followLinks(name, path, report)) return nullptr;
  struct stat target, input;
  bool exists = stat(name, &target) == 0;
  if (!exists && errno != ENOENT) return nullptr;
  if (exists && stat(inputName, &input) == 0 && sameFile(target, input)) {
    report.failure = messageText(Msg::ReportIsInput);
    return nullptr;
  }
  if (exists && S_ISDIR(target.st_mode)) {
    errno = EISDIR;
    return nullptr;
  }
  // Pipes and devices are written as they are: there is nothing to replace.
  if (exists && !S_ISREG(target.st_mode)) return std::fopen(name, "w");
  if (exists && !mayWrite(path, target)) return nullptr;
  report.target = path;
  if (FILE *file = createTemporary(report, exists ? &target : nullptr)) return file;
  report.target.clear();
  if (!writesInPlaceAfter(errno)) return nullptr;
  // A directory that refuses new files: the report can only be written in place.
  return std::fopen(path.c_str(), "w");
}

const char *reportOpenFailure(const ReportFile &report) {
  return report.failure ? report.failure : std::strerror(errno);
}

bool installReportFile(ReportFile &report) {
  if (!replacesTarget(report)) return true;
  bool moved = report.unnamed >= 0 ? installUnnamed(report)
                                   : std::rename(report.temporary.c_str(), report.target.c_str()) == 0;
  int reason = errno;
  if (moved) {
    report.temporary.clear();
    rememberTemporaryReport(nullptr);
  }
  discardReportFile(report);
  errno = reason;
  return moved;
}

void discardReportFile(ReportFile &report) {
  if (report.unnamed >= 0) close(report.unnamed);
  report.unnamed = -1;
  if (report.temporary.empty()) return;
  unlink(report.temporary.c_str());
  report.temporary.clear();
  rememberTemporaryReport(nullptr);
}
