// Job context: the one record that owns every table, buffer, stream and the
// database link of a job. Routines receive it by reference; there are no
// other globals, so a test can run a whole job in-process.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "database/Database.h"
#include "driver/Progress.h"
#include "formatter/PageSink.h"
#include "formatter/RpfFormatter.h"
#include "interpreter/Records.h"
#include "output/ReportStream.h"
#include "variables/Variables.h"

constexpr int kOutputNameSize = 300;    // outputName buffer
constexpr int kDefaultLastPage = 99999999;

enum class RunMode { Combined = 0, RpfOnly = 1, RptOnly = 2 };

// Trace and dump bits of runFlags.
constexpr int kFlagRptOnly = 1;         // the value 1 alone selects RptOnly
constexpr int kFlagTrace = 2;
constexpr int kFlagDumpVariables = 4;
constexpr int kFlagDumpMacros = 8;
constexpr int kFlagDumpLabels = 16;

// The output formats of the report; Auto chooses by the output file's name.
enum class OutputFormat { Auto, Text, Pdf, Html };
enum class PaperSize { A4, Letter };

// What ended a failed job. By default every failure exits 1; with
// --exit-status=detailed (or KELVORDANTIX_EXIT_STATUS=detailed) each kind
// has its own status, so that a wrapper can tell a retry from an alert.
enum class JobFailure {
  Script = 1,                           // the script, its data or its input
  Usage = 2,                            // the command line
  Connect = 3,                          // the connection could not be made
  Server = 4,                           // the server refused a statement
  Output = 5,                           // the report or trace could not be written
  Stopped = 6,                          // a stop signal or --timeout
};

// GNU-style options given in front of the positional arguments.
struct JobOptions {
  bool quiet = false;                   // -q: no start, page count and end lines
  bool check = false;                   // --check: check the script, run nothing
  int timeoutSeconds = 0;               // --timeout: 0 waits for ever
  OutputFormat format = OutputFormat::Auto;  // --format
  PaperSize paper = PaperSize::A4;      // --paper
  bool nativeSql = false;               // --sql=native: no Oracle compatibility
  bool detailedStatus = false;          // --exit-status=detailed
};

// A block of the input file and how far it has been read into lines.
struct InputBlock {
  char bytes[1 << 16];
  size_t next = 0;
  size_t end = 0;
};

// State of the job driver.
struct JobState {
  RunMode runMode = RunMode::Combined;
  JobOptions options;
  int runFlags = 0;                     // optional fourth argument
  const char *jobName = nullptr;        // first argument as typed
  FILE *input = nullptr;                // script or RPF input, binary
  ReportStream report;                  // the report: its file, pages and unformatted lines
  char outputName[kOutputNameSize] = {};  // second argument, switches stripped
  int formFeedAtPageEnd = 0;            // switch F
  int formFeedFirst = 0;                // switch I
  int firstPage = 0;                    // switch P
  int lastPage = kDefaultLastPage;
  bool pageRangeGiven = false;          // switch P given: pages outside it are not written
  FILE *err = stderr;                   // messages
  FILE *trace = stdout;                 // trace and dumps
  FILE *console = stdin;                // answers to .ASK and the zero-divisor question
  FILE *terminal = nullptr;             // the console stream the job made (stdin, or /dev/tty
                                        // when the script comes from stdin); closed at the end
  Progress progress;                    // the status line on a terminal
  InputBlock inputBlock;                // formatter-only input, read a block at a time
};

struct Job {
  JobState job;
  ScriptText script;
  LineState line;
  MacroTable macros;
  LabelTable labels;
  SqlState sql;
  VariableTable vars;
  QueryStack queries;
  DatabaseLink db;
  RpfFormatter rpf;
};

// Thrown by abortJob and finishJob; main turns it into the exit status.
struct JobEnd {
  int status;
};

// Run a whole job for the command line (argv[0] is the program name);
// returns the exit status. Never throws.
int runJob(Job &job, int argc, char **argv);

[[noreturn]] void abortJob(Job &job, JobFailure why = JobFailure::Script);
// The exit status of a failed job: 1, or the kind's own with detailed.
int failureStatus(const JobOptions &options, JobFailure why);
[[noreturn]] void finishJob(Job &job);

// The common failure: the message, then the offending text with "%s\n",
// then abortJob.
[[noreturn]] void failWith(Job &job, Msg message, const char *line);
// The same with the cause line's text: what went wrong, naming the name at
// fault (written after the line, at the place of the running line).
[[noreturn]] void failWith(Job &job, Msg message, const char *line, const std::string &cause);

// Options in front of the positional arguments: the index of the first
// positional argument, or one of these when the job ends at once.
constexpr int kOptionsExitSuccess = -1;  // --help, --version printed
constexpr int kOptionsUsageError = -2;   // an unknown or malformed option
int parseOptions(Job &job, int argc, char **argv);
extern const char *const kUsageLine;
// The synopsis and a pointer to --help, after an option error.
void printUsageText(FILE *to);

// Argument handling, exposed for the unit tests.
void parseOutfileSwitches(Job &job);
struct ConnectParts {
  const char *user = nullptr;
  const char *password = nullptr;       // absent: none written (user@conn, @conn)
  const char *database = nullptr;
};
ConnectParts splitConnectString(char *copy);
// A word written as a connect string is: it holds an "@" or names its
// database by its form (a URI, sqlite:, pg:, my:, odbc:, FILE.db).
bool hasConnectStringForm(const char *word);
// The file name that stands for standard input or output.
bool namesStandardStream(const char *name);
// A standard stream the process was started without is opened on
// /dev/null for reading only: no file the job opens takes its number (the
// trace would be written into it), and writes to it fail as they should.
void reserveStandardStreams();

// Credentials (Credentials.cpp): the password to send for the one written
// (nullptr: none). "-" is read from the terminal into typed (size bytes)
// without echo; none written takes KELVORDANTIX_PASSWORD when it is set.
// False when the terminal cannot be read, with the reason in typed.
bool resolvePassword(const char *written, const char *user, char *typed, int size, const char **password);

// The progress line (Progress.cpp). startProgress shows it only on a
// terminal, without --quiet, and not when the report (reportOnTerminal)
// or the trace goes to the same terminal; it then routes the job's
// messages through a stream that erases the line first. endProgress erases
// it and restores the streams.
void startProgress(Job &job, bool reportOnTerminal);
void showProgress(Job &job);
void endProgress(Job &job);
// A row was fetched: counted, and the line redrawn when it is due.
inline void noteRowFetched(Job &job) {
  ++job.job.progress.rows;
  if (job.job.progress.enabled) showProgress(job);
}
int readRunFlags(const char *word);

// Diagnostic dumps to the trace stream.
void dumpVariables(Job &job);
void dumpMacros(Job &job);
void dumpLabels(Job &job);
// The dumps runFlags asks for, in their fixed order.
void dumpTables(Job &job);
