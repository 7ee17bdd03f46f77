// The statement dispatcher: runs one decoded script line by what its record
// says and what the run has reached, gathers the lines of an SQL macro into
// sqlBuffer, and sends produced text to the report through emitRptLine.
// Also the interpreter's one loop over the records.
#include <cstring>

#include "driver/Job.h"

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
  startCollecting(job);
  return true;
}

void writeTrace(Job &job, const char *text) {
  std::fputs(text, job.job.trace);
  std::putc('\n', job.job.trace);
}

}  // namespace

void appendSql(Job &job, const char *text) {
  SqlState &q = job.sql;
  int length = static_cast<int>(std::strlen(text));
  if (q.sqlLength + length + 1 > kSqlBufferSize - 1)
    failWith(job, "SQL statement too long\n", job.line.lineBuffer);
  std::memcpy(q.sqlBuffer + q.sqlLength, text, length);
  q.sqlLength += length;
  q.sqlBuffer[q.sqlLength++] = ' ';
  q.sqlBuffer[q.sqlLength] = 0;
}

int dispatchStatement(Job &job, int macroSlot) {
  LineState &l = job.line;
  countWords(l.lineBuffer);
  int length = static_cast<int>(std::strlen(l.lineBuffer));
  decodeLine(job, l.decoded, l.lineBuffer, length, l.tokenBuffer, true);
  return runLine(job, l.decoded, macroSlot);
}

// The dispatcher's steps, in their order; what the record cannot know
// (a macro running, its line number, a statement being collected) is
// looked up in SqlState.
int runLine(Job &job, const ScriptLine &line, int macroSlot) {
  LineState &l = job.line;
  SqlState &q = job.sql;
  l.wordCount = line.wordCount;
  if (line.kind == LineKind::Blank) return 0;
  ++q.macroLineNo;
  if (line.text != l.lineBuffer) {
    std::memcpy(l.lineBuffer, line.text, line.length);
    l.lineBuffer[line.length] = 0;
  }
  if (job.job.runFlags & kFlagTrace) writeTrace(job, l.lineBuffer);

  if (line.kind == LineKind::Define) {  // the body was recorded by the pre-pass
    q.inDefineBody = 1;
    return 0;
  }
  if (line.kind == LineKind::EndDefine) {
    q.inDefineBody = 0;
    return 1;
  }
  if (line.kind == LineKind::Label) return 0;
  if (q.inDefineBody == 1 && q.macroRunning == 0) return 0;  // a body passed over
  if (q.macroRunning == 1 && q.macroLineNo == 1 && startsSql(job, line)) return 0;
  if (q.sqlIsQuery == 1 && line.into) {
    parseInto(job);
    return 0;
  }
  if (line.kind == LineKind::Remark) return 0;
  if (q.sqlCollecting == 1) {
    appendSql(job, l.lineBuffer);
    return 0;
  }
  if (line.kind == LineKind::Statement) {
    loadTokens(job, line);
    kStatementTable[line.statement].handler(job, macroSlot);
    return 0;
  }
  if (line.kind == LineKind::MacroCall) {
    callMacro(job, line.macroSlot);
    return 0;
  }
  // A text line: output as written.
  std::memcpy(q.rpfLine, l.lineBuffer, line.length + 1);
  emitRptLine(job);
  return 0;
}

void runLines(Job &job, int macroSlot, int first, int endLine) {
  ScriptText &s = job.script;
  s.nextLine = first;
  while (s.nextLine < s.lineCount) {
    const ScriptLine &line = s.lines[s.nextLine++];
    if (runLine(job, line, macroSlot) == 1 && macroSlot > 0) return;
    if (s.nextLine == endLine) return;
  }
}

void emitRptLine(Job &job) {
  if (job.job.runMode == RunMode::RptOnly) {
    std::fputs(job.sql.rpfLine, job.job.output);
    std::putc('\n', job.job.output);
  } else {
    feedRpfLine(job, job.sql.rpfLine);
  }
}
