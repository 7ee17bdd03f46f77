// The statement dispatcher: decides what one script line is and runs it,
// gathers the lines of an SQL macro into sqlBuffer, and sends produced text
// to the report through emitRptLine.
#include <cstring>

#include "database/SqlText.h"
#include "driver/Job.h"
#include "driver/Signals.h"

// The RPT statements, in the order they are tested.
const Statement kStatements[] = {
    {".DATABASE", [](Job &, int) {}},  // the connection comes from the command line
    {".STOP", [](Job &job, int) { finishJob(job); }},
    {".DECLARE", [](Job &job, int) { execDeclare(job); }},
    {".SET", [](Job &job, int) { execSet(job); }},
    {".EQUAL", [](Job &job, int) { execEqual(job); }},
    {".TELL", [](Job &job, int) { execTell(job); }},
    {".ASK", [](Job &job, int) { execAsk(job); }},
    {".PRINT", [](Job &job, int) { execPrint(job); }},
    {".EXECUTE", [](Job &job, int) { execExecute(job); }},
    {".REPORT", [](Job &job, int) { execReport(job); }},
    {".IF", [](Job &job, int slot) { execIf(job, slot); }},
    {".IFNULL", [](Job &job, int slot) { execIfNull(job, slot); }},
    {".ADD", [](Job &job, int) { execCalc(job, 'A'); }},
    {".SUB", [](Job &job, int) { execCalc(job, 'S'); }},
    {".MUL", [](Job &job, int) { execCalc(job, 'M'); }},
    {".DIV", [](Job &job, int) { execCalc(job, 'D'); }},
    {".COMMIT", [](Job &job, int) { execCommit(job); }},
    {".ROLLBACK", [](Job &job, int) { execRollback(job); }},
    {".GOTO", [](Job &job, int slot) { execGoto(job, slot); }},
};
const int kStatementCount = sizeof kStatements / sizeof kStatements[0];

namespace {

// First words that open an SQL statement on a macro's first line.
const char *const kSqlKeywords[] = {"INSERT", "DELETE", "UPDATE", "CREATE", "DROP",
                                    "ALTER",  "TRUNCATE", "GRANT", "REVOKE"};

}  // namespace

bool isSqlKeyword(const char *word) {
  for (const char *keyword : kSqlKeywords)
    if (std::strcmp(word, keyword) == 0) return true;
  return false;
}

namespace {

void startCollecting(Job &job) {
  job.sql.sqlCollecting = 1;
  job.sql.sqlLength = 0;
  job.sql.sqlBuffer[0] = 0;
  appendSql(job, job.line.lineBuffer);
}

}  // namespace

void appendSql(Job &job, const char *text) {
  SqlState &q = job.sql;
  int length = sqlLineLength(q.sqlBuffer, text);
  if (q.sqlLength + length + 1 > kSqlBufferSize - 1)
    failWith(job, "SQL statement too long\n", job.line.lineBuffer);
  std::memcpy(q.sqlBuffer + q.sqlLength, text, length);
  q.sqlLength += length;
  q.sqlBuffer[q.sqlLength++] = ' ';
  q.sqlBuffer[q.sqlLength] = 0;
}

int dispatchStatement(Job &job, int macroSlot) {
  LineState &l = job.line;
  SqlState &q = job.sql;
  checkStop(job);
  l.wordCount = countWords(l.lineBuffer);
  if (l.wordCount == 0) return 0;
  ++q.macroLineNo;
  if (job.job.runFlags & kFlagTrace) std::fprintf(job.job.trace, "%s\n", l.lineBuffer);
  char *first = firstToken(job, l.lineBuffer);
  foldUpper(first);

  if (std::strcmp(first, ".DEFINE") == 0) {  // the body was recorded by the pre-pass
    q.inDefineBody = 1;
    return 0;
  }
  if (std::strcmp(first, "..") == 0) {
    q.inDefineBody = 0;
    return 1;
  }
  if (std::strncmp(first, ".&", 2) == 0) return 0;        // a label line
  if (q.inDefineBody == 1 && q.macroRunning == 0) return 0;  // a body passed over

  if (q.macroRunning == 1 && q.macroLineNo == 1) {
    if (std::strcmp(first, "SELECT") == 0) {
      q.sqlIsQuery = 1;
      if (++job.queries.queryDepth > kMaxQueryDepth)
        failWith(job, "No. Dynasets > 100\n", l.lineBuffer);
      startCollecting(job);
      return 0;
    }
    if (isSqlKeyword(first)) {
      startCollecting(job);
      return 0;
    }
  }
  if (q.sqlIsQuery == 1 && std::strcmp(first, "INTO") == 0) {
    parseInto(job);
    return 0;
  }
  if (std::strcmp(first, ".REM") == 0) return 0;
  if (q.sqlCollecting == 1) {
    appendSql(job, l.lineBuffer);
    return 0;
  }

  if (first[0] == '.') {
    for (const Statement &s : kStatements) {
      if (s.word[1] == first[1] && std::strcmp(first, s.word) == 0) {
        s.handler(job, macroSlot);
        return 0;
      }
    }
    int slot = findMacro(job, first + 1);
    if (slot >= 0) {
      callMacro(job, slot);
      return 0;
    }
  }
  // A text line: output as written.
  std::memcpy(q.rpfLine, l.lineBuffer, std::strlen(l.lineBuffer) + 1);
  emitRptLine(job);
  return 0;
}

void emitRptLine(Job &job) {
  if (job.job.runMode == RunMode::RptOnly) {
    std::fputs(job.sql.rpfLine, job.job.output);
    std::putc('\n', job.job.output);
  } else {
    feedRpfLine(job, job.sql.rpfLine);
  }
}
