// The statement dispatcher: runs one decoded script line by what its record
// says and what the run has reached, gathers the lines of an SQL macro into
// sqlBuffer, and sends produced text to the report through emitRptText.
// Also the interpreter's one loop over the records.
#include <cstring>

#include "database/SqlText.h"
#include "driver/Job.h"
#include "driver/Messages.h"
#include "driver/Signals.h"
#include "interpreter/Interpreter.h"

// The RPT statements, in the order of StatementKind.
const Statement kStatements[] = {
    {".DATABASE", [](Job &, const ScriptLine &) {}},  // the connection comes from the command line
    {".STOP", [](Job &job, const ScriptLine &) { finishJob(job); }},
    {".DECLARE", execDeclare},
    {".SET", execSet},
    {".EQUAL", execEqual},
    {".TELL", execTell},
    {".ASK", execAsk},
    {".PRINT", execPrint},
    {".EXECUTE", execExecute},
    {".REPORT", execReport},
    {".IF", execIf},
    {".IFNULL", execIfNull},
    {".ADD", [](Job &job, const ScriptLine &line) { execCalc(job, line, 'A'); }},
    {".SUB", [](Job &job, const ScriptLine &line) { execCalc(job, line, 'S'); }},
    {".MUL", [](Job &job, const ScriptLine &line) { execCalc(job, line, 'M'); }},
    {".DIV", [](Job &job, const ScriptLine &line) { execCalc(job, line, 'D'); }},
    {".COMMIT", [](Job &job, const ScriptLine &) { execCommit(job); }},
    {".ROLLBACK", [](Job &job, const ScriptLine &) { execRollback(job); }},
    {".GOTO", execGoto},
};
const int kStatementCount = sizeof kStatements / sizeof kStatements[0];
static_assert(sizeof kStatements / sizeof kStatements[0] == kStatementKinds, "one row per StatementKind");

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

// The first non-blank line of a macro's run: an SQL keyword there opens
// the statement that the run's lines make up. True when it did.
bool startsSql(Job &job, const ScriptLine &line) {
  if (line.sqlWord == SqlWord::None) return false;
  if (line.sqlWord == SqlWord::Select) {
    job.sql.sqlIsQuery = 1;
    numberQueryLevel(job);
  }
  job.sql.sqlFactored = line.sqlWord == SqlWord::Factored;
  startCollecting(job);
  return true;
}

// True the first time a script record is run (always for a line from
// elsewhere): what its dot word warrants never changes after that.
bool firstLook(Job &job, int record) {
  if (record < 0) return true;
  std::vector<uint8_t> &looked = job.line.dotWordLooked;
  if (looked.size() <= static_cast<size_t>(record)) looked.resize(job.script.lines.size());
  if (looked[static_cast<size_t>(record)]) return false;
  looked[static_cast<size_t>(record)] = 1;
  return true;
}

void writeTrace(Job &job, const char *text) {
  std::fputs(text, job.job.trace);
  std::putc('\n', job.job.trace);
}

}  // namespace

void settleFactored(Job &job) {
  SqlState &q = job.sql;
  if (q.sqlFactored == 0 || factoredKindOf(q.sqlBuffer) != SqlWord::Select) return;
  q.sqlFactored = 0;
  q.sqlIsQuery = 1;
  numberQueryLevel(job);
}

void appendSql(Job &job, const char *text) {
  SqlState &q = job.sql;
  int length = sqlLineLength(q.sqlBuffer, text);
  if (q.sqlLength + length + 1 > kSqlBufferSize - 1)
    failWith(job, Msg::SqlTooLong, job.line.lineBuffer);
  std::memcpy(q.sqlBuffer + q.sqlLength, text, length);
  q.sqlLength += length;
  q.sqlBuffer[q.sqlLength++] = ' ';
  q.sqlBuffer[q.sqlLength] = 0;
}

int dispatchStatement(Job &job, int macroSlot) { return runLine(job, decodeLineBuffer(job, macroSlot), macroSlot, -1); }

// The dispatcher's steps, in their order; what the record cannot know
// (a macro running, its line number, a statement being collected) is
// looked up in SqlState.
int runLine(Job &job, const ScriptLine &line, int macroSlot, int record) {
  LineState &l = job.line;
  SqlState &q = job.sql;
  checkStop(job);
  if (line.kind == ScriptLineKind::Blank) return 0;
  if (record >= 0) l.place = {record, macroSlot};
  ++q.macroLineNo;
  l.pendingLine = line.text != l.lineBuffer ? &line : nullptr;
  if (job.job.runFlags & kFlagTrace) {
    settleLineBuffer(job);
    writeTrace(job, l.lineBuffer);
  }

  if (line.kind == ScriptLineKind::Define) {  // the body was recorded by the pre-pass
    q.inDefineBody = 1;
    return 0;
  }
  if (line.kind == ScriptLineKind::EndDefine) {
    q.inDefineBody = 0;
    return 1;
  }
  if (line.kind == ScriptLineKind::Label) return 0;
  if (q.inDefineBody == 1 && q.macroRunning == 0) return 0;  // a body passed over
  if (q.macroRunning == 1 && q.macroLineNo == 1 && line.sqlWord != SqlWord::None) {
    settleLineBuffer(job);
    startsSql(job, line);
    return 0;
  }
  if (q.sqlFactored == 1 && line.into) settleFactored(job);
  if (q.sqlIsQuery == 1 && line.into) {
    settleLineBuffer(job);
    parseInto(job);
    return 0;
  }
  if (line.kind == ScriptLineKind::Remark) return 0;
  if (q.sqlCollecting == 1) {
    settleLineBuffer(job);
    appendSql(job, l.lineBuffer);
    return 0;
  }
  if (line.kind == ScriptLineKind::Statement) {
    l.record = record;
    l.macroSlot = macroSlot;
    // .PRINT reads its record only; the report body's other lines use the buffer.
    if (line.statement != StatementKind::Print) settleLineBuffer(job);
    kStatements[static_cast<int>(line.statement)].handler(job, line);
    return 0;
  }
  if (line.kind == ScriptLineKind::MacroCall) {
    settleLineBuffer(job);
    callMacro(job, line.macroSlot);
    return 0;
  }
  // A text line: output as written, with a warning when its first word
  // looks like a mistyped statement or command.
  if (line.wordCount > 0 && line.words[0] == '.' && firstLook(job, record))
    warnDotWord(job, line.words, line.firstLength);
  // The formatter prepares each line of the script once, the first time it
  // runs; the copy into lineBuffer is needed for that time only.
  if (job.job.runMode != RunMode::RptOnly) {
    if (feedKnownScriptRpfLine(job, record)) return 0;
    settleLineBuffer(job);
    feedScriptRpfLine(job, record, l.lineBuffer);
    return 0;
  }
  job.job.report.writeLine(line.text, static_cast<size_t>(line.length));
  return 0;
}

void settleLineBuffer(Job &job) {
  LineState &l = job.line;
  const ScriptLine *line = l.pendingLine;
  if (line == nullptr) return;
  l.pendingLine = nullptr;
  std::memcpy(l.lineBuffer, line->text, static_cast<size_t>(line->length));
  l.lineBuffer[line->length] = 0;
}

void runLines(Job &job, int macroSlot, int first, int endLine) {
  ScriptText &s = job.script;
  s.nextLine = first;
  while (s.nextLine < s.lineCount) {
    const int record = s.nextLine++;
    if (runLine(job, s.lines[record], macroSlot, record) == 1 && macroSlot > 0) return;
    if (s.nextLine == endLine) return;
  }
}

void emitRptText(Job &job, const char *text, int length) {
  if (job.job.runMode == RunMode::RptOnly) {
    job.job.report.writeLine(text, static_cast<size_t>(length));
    return;
  }
  char *line = job.sql.rpfLine;
  if (text != line) {
    std::memcpy(line, text, static_cast<size_t>(length));
    line[length] = 0;
  }
  feedRpfLine(job, line);
}
