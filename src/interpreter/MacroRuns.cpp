// Macro runs: the body of a macro through the run loop, and the statements
// that run macros (.EXECUTE, a ".name" line, .REPORT with its head, body and
// foot runs). The database layer is called for what an SQL macro collects:
// substitution, execution, the result set and its rows.
#include <cstdio>
#include <cstring>

#include "driver/Job.h"
#include "driver/Messages.h"
#include "interpreter/Interpreter.h"

// Refused when a macro calls itself (directly or through others) without end.

// The record of an SQL macro's statement: its first line that is not blank.
static int statementLine(Job &job, const Macro &macro) {
  const ScriptText &s = job.script;
  int i = macro.firstLine;
  while (i < s.lineCount && s.lines[i].kind == ScriptLineKind::Blank) ++i;
  return i;
}

// runMacro: the body of macro `slot` through the run loop.
// macroRunning is set for the run and put back afterwards, so the top level
// never collects SQL and still passes over .DEFINE bodies after a call.
// macroLineNo, sqlCollecting and sqlIsQuery are cleared and not restored:
// a statement being collected always belongs to the innermost run.
void runMacro(Job &job, int slot, int keepOpen) {
  SqlState &sql = job.sql;
  const Macro &macro = job.macros.slots[slot];

  if (sql.macroDepth >= kMaxMacroDepth) failWith(job, Msg::MacroNesting, job.line.lineBuffer);

  if (job.job.runFlags & kFlagTrace) std::fprintf(job.job.trace, "Macro=%s   Inppos=%d\n", macro.name, macro.start);
  dumpTables(job);

  int wasRunning = sql.macroRunning;
  sql.macroRunning = 1;
  sql.macroLineNo = 0;
  sql.sqlIsQuery = 0;
  sql.sqlFactored = 0;
  sql.sqlCollecting = 0;
  ++sql.macroDepth;
  runLines(job, slot, macro.firstLine, macro.endLine);
  --sql.macroDepth;
  sql.macroRunning = wasRunning;

  if (!sql.sqlCollecting) return;       // a command macro
  sql.sqlCollecting = 0;
  job.line.place = {statementLine(job, macro), slot};  // what follows is the statement's
  settleFactored(job);                  // a WITH ... SELECT without INTO
  sql.sqlFactored = 0;
  substituteVariables(job);

  if (!sql.sqlIsQuery) {
    executeStatement(job);
    return;
  }

  sql.sqlIsQuery = 0;
  openQueryLevel(job);
  if (keepOpen == 1) return;

  // Only the first row is fetched; no row leaves the INTO variables null.
  fetchFirstRow(job, job.queries.queryDepth);
  closeLevel(job);
}

// A ".name" line (the dispatcher found the macro): run it where it stands,
// then go on after the calling line.
void callMacro(Job &job, int slot, int keepOpen) {
  int kept = job.script.nextLine;
  RunPlace caller = job.line.place;
  runMacro(job, slot, keepOpen);
  job.script.nextLine = kept;
  job.line.place = caller;
}

// .EXECUTE name
void execExecute(Job &job, const ScriptLine &line) {
  if (line.wordCount < 2) failWith(job, Msg::ExecuteInvalid, job.line.lineBuffer);
  int slot = line.args[0].reference;
  if (slot < 0) failWith(job, Msg::MacroNameWrong, job.line.lineBuffer, macroNotDefined("", line.args[0].word));
  callMacro(job, slot);
}

namespace {

// Operand i of the .REPORT line names a macro; refused when undefined.
int lookUpMacro(Job &job, const ScriptLine &line, int i, Msg message, const char *role) {
  int slot = line.args[i].reference;
  if (slot < 0) failWith(job, message, job.line.lineBuffer, macroNotDefined(role, line.args[i].word));
  return slot;
}

}  // namespace

// .REPORT select-macro body-macro [head-macro [foot-macro]]
//
// Two cases are settled here so that the loop only ever steps and closes its
// own level:
// - The select macro must open a query. One that does not (a command macro,
//   or an SQL statement other than SELECT) is refused with "SELECT macro not
//   a query\n" and the .REPORT line, right after its run; the abort rolls
//   back whatever it did.
// - Head, body and foot macros run with keepOpen 0. For command macros and
//   other SQL this is no different; a SELECT macro among them fetches its
//   first row into its INTO variables and closes its level, as .EXECUTE
//   does, so queryDepth is back at the loop's level after every macro.
void execReport(Job &job, const ScriptLine &record) {
  if (record.wordCount < 3) failWith(job, Msg::ReportInvalid, job.line.lineBuffer);
  char line[kMaxLineChars + 1];        // lineBuffer is reused by the macro runs
  std::snprintf(line, sizeof line, "%s", job.line.lineBuffer);

  int select = lookUpMacro(job, record, 0, Msg::SelectMacroWrong, "SELECT ");
  int body = lookUpMacro(job, record, 1, Msg::BodyMacroWrong, "BODY ");
  int head = body;
  int foot = -1;
  if (record.wordCount > 3) head = lookUpMacro(job, record, 2, Msg::HeadMacroWrong, "HEAD ");
  if (record.wordCount > 4) foot = lookUpMacro(job, record, 3, Msg::FootMacroWrong, "FOOT ");

  QueryStack &queries = job.queries;
  int before = queries.queryDepth;
  callMacro(job, select, 1);
  if (queries.queryDepth != before + 1) failWith(job, Msg::NotAQuery, line);

  int level = queries.queryDepth;
  if (fetchFirstRow(job, level)) {
    callMacro(job, head);
    while (fetchNextRow(job, level)) callMacro(job, body);
    if (foot >= 0) callMacro(job, foot);  // sees the last row
  }

  nullIntoVariables(job, level);
  closeLevel(job);
}

namespace {

// An INTO line goes on with the next script line when its last character
// other than a blank, looked for down to the second character, is a comma.
bool listContinues(const char *line) {
  for (int i = static_cast<int>(std::strlen(line)) - 1; i >= 1; --i) {
    if (line[i] == ' ') continue;
    return line[i] == ',';
  }
  return false;
}

}  // namespace

// parseInto: the variables named on an INTO line (commas or blanks between
// them) are recorded for the level being collected. A second INTO line for
// the same SELECT replaces the first list and gives its entries back.
void parseInto(Job &job) {
  char *line = job.line.lineBuffer;
  startIntoList(job);

  char work[kMaxLineChars + 8];
  std::snprintf(work, sizeof work, "%s", line);
  for (;;) {
    for (char *p = work; *p; ++p) {
      if (*p == ',') *p = ' ';
    }
    if (countWords(work) == 1) failWith(job, Msg::IntoInvalid, line);

    char *p = work;
    bool first = true;
    while (*p) {
      while (*p == ' ') ++p;
      if (!*p) break;
      char *word = p;
      while (*p && *p != ' ') ++p;
      if (*p) *p++ = 0;
      if (first) {                      // the word INTO itself
        first = false;
        continue;
      }
      addIntoVariable(job, requireVariable(job, word, line), line);
    }

    if (!listContinues(line)) return;
    if (!takeScriptLine(job, line)) {
      setCause(job, messageText(Msg::CauseUnexpectedEof));
      writeMessage(job, Msg::UnexpectedEof);
      abortJob(job);
    }
    std::snprintf(work, sizeof work, "INTO %s", line);
  }
}
