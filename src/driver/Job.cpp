// Ending a job: finishJob (normal end, exit status 0) and abortJob (any
// error, exit status 1). Both end the job by throwing JobEnd to runJob.
#include <cctype>
#include <cerrno>
#include <cstring>

#include "driver/Job.h"
#include "driver/Messages.h"
#include "driver/Signals.h"
#include "interpreter/Interpreter.h"

static const char *shownName(const Job &job) { return job.job.jobName ? job.job.jobName : "(null)"; }

// Nothing that was not committed survives an abort of any kind.
static void rollBackOpenWork(Job &job) {
  DatabaseLink &d = job.db;
  if (!d.connected) return;
  d.connected = false;
  d.session.Rollback(0);
  d.database.Close();
}

static void closeInput(Job &job) {
  if (job.job.input) std::fclose(job.job.input);
  job.job.input = nullptr;
}

int failureStatus(const JobOptions &options, JobFailure why) {
  return options.detailedStatus ? static_cast<int>(why) : 1;
}

void abortJob(Job &job, JobFailure why) {
  stopSettling();
  rollBackOpenWork(job);
  // Whatever failed last, a stopped job was stopped.
  if (const char *reason = stopReason()) {
    std::fputs(reason, job.job.err);
    why = JobFailure::Stopped;
    job.line.cause.clear();             // a stop is no fault of the line
  }
  writeCauseLine(job);
  writeMessage(job, Msg::JobAborted, shownName(job));
  abortAnnounced();
  // The previous report, if any, stays as it was.
  job.job.report.abandon(stopRequested());
  closeInput(job);
  throw JobEnd{failureStatus(job.job.options, why)};
}

// The first word of the running line, folded, for a cause that names it.
static std::string statementWord(const Job &job) {
  const char *line = job.line.lineBuffer;
  while (*line == ' ') ++line;
  std::string word(line, std::strcspn(line, " "));
  for (char &ch : word) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return word;
}

void failWith(Job &job, Msg message, const char *line) {
  settleLineBuffer(job);                // line may be lineBuffer, and the cause reads it
  writeMessage(job, message);
  std::fprintf(job.job.err, "%s\n", line);
  if (job.line.cause.empty()) job.line.cause = defaultCause(message, statementWord(job).c_str());
  abortJob(job);
}

void failWith(Job &job, Msg message, const char *line, const std::string &cause) {
  job.line.cause = cause;
  failWith(job, message, line);
}

// PDF and HTML are written when the pages are complete, and a stop while
// they are rendered stops the job. A report that could not be written
// completely is a failed job, not a finished one.
static void completeReport(Job &job) {
  ReportStream &report = job.job.report;
  const char *why = report.finishPages();
  checkStop(job);
  if (why == nullptr) why = report.close();
  if (why != nullptr) failReportWrite(job, why);
}

// The trace and the dumps are output the user asked for: losing them is a
// failure like losing the report.
static void checkTraceWritten(Job &job) {
  if (std::fflush(job.job.trace) == 0 && !std::ferror(job.job.trace)) return;
  writeMessage(job, Msg::TraceWriteFail, std::strerror(errno));
  abortJob(job, JobFailure::Output);
}

// The report takes its place; if it cannot, the job's work is committed
// but the job still fails.
static void installReport(Job &job) {
  if (const char *why = job.job.report.install()) failReportWrite(job, why);
}

// The commit at the end of the job was refused (or the connection lost):
// no line runs, so the cause names the job's end instead of a line.
static void refuseEndCommit(Job &job) {
  if (stopRequested() || job.job.jobName == nullptr) return;
  std::string cause = job.db.database.ConnectionLost() ? messageText(Msg::CauseConnectionLost)
                                                       : formatMessage(Msg::CauseServerRefusedEnd, "COMMIT");
  writeMessage(job, Msg::CauseAtJobEnd, job.job.jobName, cause.c_str());
  job.line.cause.clear();
}

void finishJob(Job &job) {
  // The report, the trace and the dumps are completed first, so that output
  // that cannot be written rolls the job's work back instead of committing it.
  flushRpf(job);
  completeReport(job);
  if (job.job.runMode != RunMode::RpfOnly) dumpTables(job);
  checkTraceWritten(job);
  if (job.job.runMode != RunMode::RpfOnly && job.db.connected) {
    // A commit the server refuses loses the job's work: that is a failure.
    if (job.db.session.Commit(0) != 0) {
      printServerError(job, "COMMIT");
      refuseEndCommit(job);
      abortJob(job, JobFailure::Server);
    }
    job.db.database.Close();
    job.db.connected = false;
  }
  closeInput(job);
  installReport(job);
  if (!job.job.options.quiet) {
    writeMessage(job, Msg::PageCount, pageCount(job));
    writeMessage(job, Msg::JobOver, shownName(job));
  }
  throw JobEnd{0};
}
