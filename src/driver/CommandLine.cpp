// The job driver: the command line and its switches, the run modes, opening
// the files, connecting, and the run loops of the three modes.
#include <cerrno>
#include <cstring>

#include "driver/Job.h"
#include "driver/ReportFile.h"
#include "driver/Signals.h"

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
    std::fputs("invalid outfile switches\n", job.job.err);
    abortJob(job);
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

// user/password@database, split as strtok would: the user up to the first
// "/", the password up to the next "@", the database up to white space.
ConnectParts splitConnectString(char *copy) {
  ConnectParts parts;
  char *save = nullptr;
  parts.user = strtok_r(copy, "/", &save);
  if (parts.user) parts.password = strtok_r(nullptr, "@", &save);
  if (parts.password) parts.database = strtok_r(nullptr, " \t\n", &save);
  return parts;
}

// One line of the formatter-only input into rpfLine; 0 at the end of the
// file. A last line without a newline is delivered too.
static int readInputLine(Job &job) {
  char *line = job.sql.rpfLine;
  int n = 0;
  int c;
  while ((c = getc_unlocked(job.job.input)) != EOF) {
    if (c == '\n') {
      line[n] = 0;
      return 1;
    }
    line[n++] = (c >= 32 && c <= 126) ? static_cast<char>(c) : ' ';
    if (n > kMaxLineChars) {
      line[n] = 0;
      std::fputs("line too big\n", job.job.err);
      abortJob(job);
    }
  }
  line[n] = 0;
  return n > 0;
}

static void openFiles(Job &job, char **argv) {
  JobState &s = job.job;
  s.input = openInputFile(argv[1]);
  if (s.input == nullptr) {
    bool directory = errno == EISDIR;
    std::fputs("Input File Open Fail\n", s.err);
    if (directory) std::fprintf(s.err, "%s: %s\n", argv[1], std::strerror(EISDIR));
    abortJob(job);
  }
  if (std::strlen(argv[2]) >= sizeof s.outputName) {
    std::fputs("Output file name too long\n", s.err);
    abortJob(job);
  }
  std::strcpy(s.outputName, argv[2]);
  parseOutfileSwitches(job);
  s.output = openReportFile(job, argv[1]);
  if (s.output == nullptr) {
    bool refused = s.report.failure != nullptr || errno == EISDIR;
    const char *cause = reportOpenFailure(job);
    std::fputs("Output File Open Fail\n", s.err);
    if (refused) std::fprintf(s.err, "%s: %s\n", s.outputName, cause);
    abortJob(job);
  }
  std::setvbuf(s.output, s.outputBuffer, _IOFBF, sizeof s.outputBuffer);
}

static void connect(Job &job, const char *connectString) {
  char *copy = job.line.tokenBuffer;
  if (std::strlen(connectString) >= sizeof job.line.tokenBuffer) {
    std::fputs("Connect string too long\n", job.job.err);
    abortJob(job);
  }
  std::strcpy(copy, connectString);
  ConnectParts parts = splitConnectString(copy);
  OStartup(1);
  if (job.db.database.Open(parts.database, parts.user, parts.password, 0) != 0) {
    std::fputs("Connect Fail\n", job.job.err);
    abortJob(job);
  }
  job.db.session = job.db.database.GetSession();
  job.db.session.BeginTransaction();
  job.db.connected = true;
}

// The statements every script starts with: the date and time variables.
static void runBuiltins(Job &job) {
  static const char *const kBuiltins[] = {".DECLARE $$DATE$$ A8", ".SET $$DATE$$ $$DATE$$",
                                          ".DECLARE $$TIME$$ A8", ".SET $$TIME$$ $$TIME$$"};
  job.script.cursor = 0;
  for (const char *statement : kBuiltins) {
    std::strcpy(job.line.lineBuffer, statement);
    dispatchStatement(job, 0);
  }
}

static void runScript(Job &job) {
  SqlState &q = job.sql;
  q.macroRunning = q.macroLineNo = q.sqlIsQuery = q.sqlCollecting = q.inDefineBody = 0;
  loadScript(job);
  runPrepass(job);
  runBuiltins(job);
  while (readScriptLine(job, job.line.lineBuffer)) dispatchStatement(job, 0);
  finishJob(job);
}

static void runRpf(Job &job) {
  while (readInputLine(job)) feedRpfLine(job, job.sql.rpfLine);
  flushRpf(job);
  finishJob(job);
}

// argv[0] is the program name, argv[1..argc-1] the positional arguments.
static void startJob(Job &job, int argc, char **argv) {
  JobState &s = job.job;
  int arguments = argc - 1;
  if (arguments < 2 || arguments > 4) {
    std::fputs(kUsageLine, s.err);
    abortJob(job);
  }
  if (arguments == 4) s.runFlags = readRunFlags(argv[4]);
  s.jobName = argv[1];
  std::fprintf(s.err, "Kelvordantix: %s Job Started ...\n", s.jobName);
  openFiles(job, argv);
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
      std::fputs(kUsageLine, job.job.err);
      abortJob(job);
    }
    startWatchdog(job, job.job.options.timeoutSeconds);
    // The positional arguments, behind the program name.
    argv[first - 1] = argv[0];
    startJob(job, argc - first + 1, argv + first - 1);
  } catch (const JobEnd &end) {
    stopWatchdog();
    std::fflush(job.job.err);
    std::fflush(job.job.trace);
    return end.status;
  }
  return 0;  // not reached: every job ends in finishJob or abortJob
}
