// The --check mode: the order of the checks, the capture of the messages
// the job's own routines print, and the diagnostics' output.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "checker/Checker.h"
#include "driver/Job.h"

void Checker::report(Severity severity, int lineIndex, int column, std::string text) {
  Diagnostic d;
  d.line = lineIndex < 0 ? 0 : lineIndex + 1;  // lines are decoded one record per line
  d.column = column < 1 ? 1 : column;
  d.severity = severity;
  d.text = std::move(text);
  diagnostics.push_back(std::move(d));
}

Guarded guarded(Job &job, const std::function<void()> &step) {
  char *text = nullptr;
  size_t size = 0;
  FILE *saved = job.job.err;
  job.job.err = open_memstream(&text, &size);
  Guarded g;
  job.line.cause.clear();
  job.line.message = Msg::None;
  if (job.job.err == nullptr) {         // no memory for the capture: run it as it is
    job.job.err = saved;
    try {
      step();
    } catch (const JobEnd &) {
      g.ended = true;
    }
    g.cause = job.line.cause;
    g.message = job.line.message;
    return g;
  }
  try {
    step();
  } catch (const JobEnd &) {
    g.ended = true;
  }
  std::fclose(job.job.err);
  job.job.err = saved;
  g.cause = job.line.cause;
  g.message = job.line.message;
  g.printed.assign(text ? text : "", size);
  std::free(text);
  return g;
}

std::string Guarded::firstLine() const {
  std::string line = printed.substr(0, printed.find('\n'));
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::string stops(Msg message) { return formatMessage(Msg::CheckStops, messageWords(message).c_str()); }

int printDiagnostics(Checker &c, FILE *to) {
  std::stable_sort(c.diagnostics.begin(), c.diagnostics.end(), [](const Diagnostic &a, const Diagnostic &b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
  });
  int errors = 0, warnings = 0;
  for (const Diagnostic &d : c.diagnostics) {
    const char *kind = d.severity == Severity::Error ? "error" : "warning";
    (d.severity == Severity::Error ? errors : warnings)++;
    if (d.line > 0) {
      std::fprintf(to, "%s:%d:%d: %s: %s\n", c.file, d.line, d.column, kind, d.text.c_str());
    } else {
      std::fprintf(to, "%s: %s: %s\n", c.file, kind, d.text.c_str());
    }
  }
  writeMessageTo(to, Msg::CheckSummary, c.file, errors, errors == 1 ? "" : "s", warnings, warnings == 1 ? "" : "s",
                 c.connectionGiven ? "" : messageText(Msg::CheckNoConnection));
  std::fflush(to);
  return errors > 0 ? 1 : 0;
}

bool readCheckArguments(int argc, char **argv, CheckArguments *arguments) {
  *arguments = CheckArguments{};
  if (argc < 1 || argc > 4) return false;
  arguments->script = argv[0];
  if (argc == 2 && hasConnectStringForm(argv[1])) {
    arguments->connection = argv[1];
  } else if (argc >= 2) {
    arguments->output = argv[1];
    if (argc >= 3) arguments->connection = argv[2];
  }
  return true;                          // a fourth word, the run's flags, changes nothing checked
}

int checkScript(Job &job, int argc, char **argv) {
  CheckArguments arguments;
  if (!readCheckArguments(argc, argv, &arguments)) {
    std::fputs("Usage: kelvordantix --check SCRIPT [outfile] [user/password@conn [n]]\n", job.job.err);
    return 1;
  }
  const char *file = arguments.script;
  job.job.jobName = file;
  job.job.input = namesStandardStream(file) ? stdin : std::fopen(file, "rb");
  if (job.job.input == nullptr) {
    writeMessage(job, Msg::CheckCannotOpen, file, std::strerror(errno));
    return 1;
  }
  Checker c{job, file};
  c.connectionGiven = arguments.connection != nullptr;
  if (loadAndPrepass(c)) {
    decodeLines(c);
    checkStructure(c);
    checkStatements(c);
    checkTextLines(c);
    if (c.connectionGiven) checkSchema(c, arguments.connection);
    checkOracleConstructs(c);
    checkUnused(c);
  }
  if (job.job.input && job.job.input != stdin) std::fclose(job.job.input);
  job.job.input = nullptr;
  job.job.report.close();
  return printDiagnostics(c, job.job.err);
}
