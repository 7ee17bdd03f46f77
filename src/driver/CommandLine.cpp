// The job driver: the command line and its switches, the run modes, opening
// the files, connecting, and the run loops of the three modes.
#include <fcntl.h>
#include <stdio_ext.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "checker/Checker.h"
#include "driver/Job.h"
#include "driver/Signals.h"
#include "formatter/Utf8Text.h"
#include "interpreter/Interpreter.h"
#include "output/Output.h"

constexpr int kPasswordSize = 256;      // a password typed at the terminal

int readRunFlags(const char *word) {
  int flags = 0;
  return scanInt(word, &flags) ? flags : 0;
}

// Switches in front of the output file's name, each ended by a colon:
// F (form feed at page end), I (form feed first), P:first:last (page range).
void parseOutfileSwitches(Job &job) {
  JobState &s = job.job;
  char *name = s.outputName;
  char *rest = name;
  s.formFeedFirst = 0;
  s.formFeedAtPageEnd = 0;
  s.firstPage = 0;
  s.lastPage = kDefaultLastPage;
  s.pageRangeGiven = false;
  auto invalid = [&job]() {
    writeMessage(job, Msg::InvalidSwitches);
    abortJob(job, JobFailure::Usage);
  };
  // Read the number between rest and the next colon, then move past it.
  auto readPage = [&](int *page) {
    char *colon = std::strchr(rest, ':');
    if (colon == nullptr) invalid();
    *colon = 0;
    if (!scanInt(rest, page)) invalid();
    rest = colon + 1;
  };
  for (char *colon; (colon = std::strchr(rest, ':')) != nullptr;) {
    char letter = colon == name ? 0 : colon[-1];
    rest = colon + 1;
    switch (letter) {
      case 'P':
      case 'p':
        readPage(&s.firstPage);
        readPage(&s.lastPage);
        s.pageRangeGiven = true;
        break;
      case 'I':
      case 'i':
        s.formFeedFirst = 1;
        break;
      case 'F':
      case 'f':
        s.formFeedAtPageEnd = 1;
        break;
      default:
        invalid();
    }
  }
  if (rest != name) std::memmove(name, rest, std::strlen(rest) + 1);
}

// A PostgreSQL or MariaDB database (a libpq or MariaDB URI, or "pg:" or
// "my:" and keywords) runs to the end of the argument, blanks and "@" included (a URI may name its own
// user@host); before its "@" stand the user and password, either of them
// empty or left out.
static bool splitPgConnectString(char *copy, ConnectParts &parts) {
  static const char *const kStarts[] = {"@postgresql://", "@postgres://", "@pg:", "@mariadb://", "@mysql://", "@my:"};
  char *at = nullptr;
  for (const char *start : kStarts) {
    char *found = strcasestr(copy, start);
    if (found && (!at || found < at)) at = found;
  }
  if (!at) return false;
  *at = 0;
  parts.database = at + 1;
  char *slash = std::strchr(copy, '/');
  if (slash) {
    *slash = 0;
    parts.password = slash + 1;         // written out, if empty
  }
  if (copy[0] != 0) parts.user = copy;
  return true;
}

// The database piece of a connect string: up to white space, or the whole
// rest for an ODBC connect string ("odbc:" holding "="), whose values may
// hold blanks (DRIVER={PostgreSQL Unicode}).
static char *databasePiece(char *rest) {
  rest += std::strspn(rest, " \t\n");
  if (*rest == 0) return nullptr;
  if (strncasecmp(rest, "odbc:", 5) == 0 && std::strchr(rest, '=') != nullptr) return rest;
  char *save = nullptr;
  return strtok_r(rest, " \t\n", &save);
}

// user/password@database, split as strtok would: the user up to the first
// "/", the password up to the next "@", the database up to white space.
// Without an "@" after the first "/", user@database and @database name no
// password at all (every string that connected before keeps its meaning).
// A database name alone (a URI, "sqlite:", "pg:", "odbc:", a file.db) is
// the database, with no user and no password. A password written out
// empty (user/@conn) is the empty password.
ConnectParts splitConnectString(char *copy) {
  ConnectParts parts;
  char *start = copy + std::strspn(copy, " \t\n");
  if (namesDatabaseByForm(start)) {
    parts.database = start;
    return parts;
  }
  if (splitPgConnectString(copy, parts)) return parts;
  char *slash = std::strchr(copy, '/');
  char *at = std::strchr(copy, '@');
  if (at != nullptr && (slash == nullptr || std::strchr(slash, '@') == nullptr)) {
    *at = 0;
    if (copy[0] != 0) parts.user = copy;
    parts.database = databasePiece(at + 1);
    return parts;
  }
  char *save = nullptr;
  parts.user = strtok_r(copy, "/", &save);
  if (parts.user && save[0] == '@') {
    static char empty[] = "";
    parts.password = empty;
    parts.database = databasePiece(save + 1);
    return parts;
  }
  if (parts.user) parts.password = strtok_r(nullptr, "@", &save);
  if (parts.password) parts.database = databasePiece(save);
  return parts;
}

bool hasConnectStringForm(const char *word) {
  const char *start = word + std::strspn(word, " \t\n");
  return std::strchr(start, '@') != nullptr || namesDatabaseByForm(start);
}

bool namesStandardStream(const char *name) { return std::strcmp(name, "-") == 0; }

// One line of the formatter-only input into rpfLine; 0 at the end of the
// file. A last line without a newline is delivered too.
// Control characters and 127 become blanks; UTF-8 bytes are kept.
static int readInputLine(Job &job) {
  static_assert(kMaxLineChars < kRpfLineSize);
  InputBlock &in = job.job.inputBlock;
  char *line = job.sql.rpfLine;
  int n = 0;
  for (;;) {
    if (in.next == in.end) {
      in.next = 0;
      in.end = std::fread(in.bytes, 1, sizeof in.bytes, job.job.input);
      if (in.end == 0) break;
    }
    const char *start = in.bytes + in.next;
    size_t available = in.end - in.next;
    const char *newline = static_cast<const char *>(std::memchr(start, '\n', available));
    size_t take = newline ? static_cast<size_t>(newline - start) : available;
    // The line ends as it stands when its byte after the largest is read.
    bool tooBig = take > static_cast<size_t>(kMaxLineChars - n);
    if (tooBig) take = static_cast<size_t>(kMaxLineChars + 1 - n);
    copyInputBytes(line + n, start, take);
    n += static_cast<int>(take);
    in.next += take;
    if (tooBig) {
      line[n] = 0;
      writeMessage(job, Msg::LineTooBig);
      abortJob(job);
    }
    if (newline) {
      ++in.next;
      line[n] = 0;
      return 1;
    }
  }
  line[n] = 0;
  return n > 0;
}

// A failed open: the prescribed message, then the file and the reason.
[[noreturn]] static void failOpen(Job &job, Msg message, const char *name, const char *reason,
                                  JobFailure why) {
  writeMessage(job, message);
  std::fprintf(job.job.err, "%s: %s\n", name[0] ? name : "\"\"", reason);
  abortJob(job, why);
}

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

// The input for binary reading; nullptr with errno set when it cannot be
// read, a directory included (EISDIR).
static FILE *openInputFile(const char *name) {
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

// "-" is standard input: the whole script comes from there, so .ASK and the
// zero-divisor question read the terminal, and without one find the end of
// their input at once. The console's reads end at once when the job is
// asked to stop.
static FILE *openInput(Job &job, const char *name) {
  JobState &s = job.job;
  // A console given by an in-process harness stays as it is.
  if (s.console == stdin && !namesStandardStream(name)) {
    s.terminal = openConsoleStream(STDIN_FILENO, false);
  } else if (s.console == stdin) {
    int tty = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) tty = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (tty >= 0) s.terminal = openConsoleStream(tty, true);
  }
  if (s.terminal != nullptr) s.console = s.terminal;
  return namesStandardStream(name) ? stdin : openInputFile(name);
}

// "-" is standard output; the trace and the dumps then go to standard error
// so that they never mix with the report. A file is written beside its
// target and put in its place when the job succeeds (ReportFile.cpp).
static const char *openOutput(Job &job, const char *name, const char *inputName) {
  if (namesStandardStream(name)) job.job.trace = job.job.err;
  return job.job.report.open(name, inputName);
}

static void openFiles(Job &job, char **argv) {
  JobState &s = job.job;
  s.input = openInput(job, argv[1]);
  if (s.input == nullptr) failOpen(job, Msg::InputOpenFail, argv[1], std::strerror(errno), JobFailure::Script);
  if (std::strlen(argv[2]) >= sizeof s.outputName) {
    writeMessage(job, Msg::OutputNameTooLong);
    abortJob(job, JobFailure::Usage);
  }
  std::strcpy(s.outputName, argv[2]);
  parseOutfileSwitches(job);
  if (const char *why = openOutput(job, s.outputName, argv[1])) {
    failOpen(job, Msg::OutputOpenFail, s.outputName, why, JobFailure::Output);
  }
  openPageSink(job);
}

// A connection that could not be made, and why.
[[noreturn]] static void failConnect(Job &job, const char *reason) {
  writeMessage(job, Msg::ConnectFail);
  std::fprintf(job.job.err, "%s\n", reason);
  abortJob(job, JobFailure::Connect);
}

// A third argument that names no database: say the form it must have
// (the text is shown up to its "/": what follows may be a password).
[[noreturn]] static void refuseConnectString(Job &job, const char *text) {
  writeMessage(job, Msg::ConnectFail);
  const char *slash = std::strchr(text, '/');
  int shown = slash ? static_cast<int>(slash - text) : static_cast<int>(std::strlen(text));
  writeMessage(job, Msg::ConnectNoDatabase, shown, text, slash ? "/..." : "");
  if (std::strpbrk(text, "/@") == nullptr) {
    writeMessage(job, Msg::ConnectDataSource, text);
  }
  std::fputs("\n", job.job.err);
  abortJob(job, JobFailure::Usage);
}

// The connect string's password (typed, or from the environment) is kept
// only as long as the connection takes.
static void connect(Job &job, const char *connectString) {
  char *copy = job.line.tokenBuffer;
  if (std::strlen(connectString) >= sizeof job.line.tokenBuffer) {
    writeMessage(job, Msg::ConnectTooLong);
    abortJob(job, JobFailure::Usage);
  }
  std::strcpy(copy, connectString);
  ConnectParts parts = splitConnectString(copy);
  if (parts.database == nullptr) refuseConnectString(job, connectString);
  char typed[kPasswordSize] = {};
  const char *password = nullptr;
  // SQLite has no use for a password: none is asked for.
  const char *written = driverTakesPassword(parts.database) ? parts.password : nullptr;
  if (!resolvePassword(written, parts.user, typed, sizeof typed, &password)) {
    checkStop(job);
    failConnect(job, typed);
  }
  OStartup(1);
  long options = job.job.options.nativeSql ? kOpenNativeSql : 0;
  int failed = job.db.database.Open(parts.database, parts.user, password, options);
  explicit_bzero(typed, sizeof typed);  // a plain memset of a dead buffer may be left out
  if (failed != 0) {
    failConnect(job, job.db.database.GetServerErrorText());
  }
  job.db.session = job.db.database.GetSession();
  job.db.session.BeginTransaction();
  job.db.connected = true;
}

// The statements every script starts with: the date and time variables.
static void runBuiltins(Job &job) {
  static const char *const kBuiltins[] = {".DECLARE $$DATE$$ A8", ".SET $$DATE$$ $$DATE$$",
                                          ".DECLARE $$TIME$$ A8", ".SET $$TIME$$ $$TIME$$"};
  for (const char *statement : kBuiltins) {
    std::strcpy(job.line.lineBuffer, statement);
    dispatchStatement(job, 0);
  }
}

// The trace is written by this one thread only (like the report): its
// stdio calls need not take the stream lock.
static void writeUnlocked(Job &job) { __fsetlocking(job.job.trace, FSETLOCKING_BYCALLER); }

static void runScript(Job &job) {
  SqlState &q = job.sql;
  q.macroRunning = q.macroLineNo = q.sqlIsQuery = q.sqlCollecting = q.inDefineBody = 0;
  writeUnlocked(job);
  loadScript(job);
  runPrepass(job);
  runBuiltins(job);
  runLines(job, 0, 0, kNoEndLine);
  job.line.place = {};                  // what fails from here is no line's
  finishJob(job);
}

// The first block of the formatter-only input, without the byte-order mark
// an editor may have put at its start.
static void skipByteOrderMark(Job &job) {
  InputBlock &in = job.job.inputBlock;
  in.next = 0;
  in.end = std::fread(in.bytes, 1, sizeof in.bytes, job.job.input);
  if (in.end >= kByteOrderMarkBytes && std::memcmp(in.bytes, kByteOrderMark, kByteOrderMarkBytes) == 0) {
    in.next = kByteOrderMarkBytes;
  }
}

static void runRpf(Job &job) {
  writeUnlocked(job);
  skipByteOrderMark(job);
  while (readInputLine(job)) {
    feedRpfLine(job, job.sql.rpfLine);
    if (job.job.progress.enabled) showProgress(job);
  }
  flushRpf(job);
  finishJob(job);
}

// argv[0] is the program name, argv[1..argc-1] the positional arguments.
static void startJob(Job &job, int argc, char **argv) {
  JobState &s = job.job;
  int arguments = argc - 1;
  if (arguments < 2 || arguments > 4) {
    std::fputs(kUsageLine, s.err);
    abortJob(job, JobFailure::Usage);
  }
  if (arguments == 4) s.runFlags = readRunFlags(argv[4]);
  s.jobName = argv[1];
  if (!s.options.quiet) writeMessage(job, Msg::JobStarted, s.jobName);
  openFiles(job, argv);
  startProgress(job, s.report.toStandardOutput() && isatty(STDOUT_FILENO));
  if (arguments == 2) {
    s.runMode = RunMode::RpfOnly;
    runRpf(job);
  }
  s.runMode = (arguments == 4 && s.runFlags == kFlagRptOnly) ? RunMode::RptOnly : RunMode::Combined;
  connect(job, argv[3]);
  runScript(job);
}

int runJob(Job &job, int argc, char **argv) {
  try {
    int first = parseOptions(job, argc, argv);
    if (first == kOptionsExitSuccess) return 0;
    if (first == kOptionsUsageError) {
      printUsageText(job.job.err);
      abortJob(job, JobFailure::Usage);
    }
    // --check and the run's own words: the script is checked, not run.
    if (job.job.options.check) return checkScript(job, argc - first, argv + first);
    startWatchdog(job, job.job.options.timeoutSeconds);
    // The positional arguments, behind the program name.
    argv[first - 1] = argv[0];
    startJob(job, argc - first + 1, argv + first - 1);
  } catch (const JobEnd &end) {
    stopWatchdog();
    endProgress(job);
    std::fflush(job.job.err);
    std::fflush(job.job.trace);
    if (job.job.console == job.job.terminal) job.job.console = stdin;
    if (job.job.terminal) std::fclose(job.job.terminal);
    job.job.terminal = nullptr;
    return end.status;
  }
  return 0;  // not reached: every job ends in finishJob or abortJob
}
