// Macro execution: running a macro body through the interpreter's loop,
// sending the SQL statement an SQL macro collects, and the report of a
// server error (the substitution of variables is Substitution.cpp's).
#include <cstdio>
#include <cstring>
#include <string>

#include "database/SqlText.h"
#include "driver/Job.h"

// Refused when a macro calls itself (directly or through others) without end.
static const char kNestingMessage[] = "Macro nesting too deep\n";

// runMacro: the body of macro `slot` through the interpreter's loop.
// macroRunning is set for the run and put back afterwards, so the top level
// never collects SQL and still passes over .DEFINE bodies after a call.
// macroLineNo, sqlCollecting and sqlIsQuery are cleared and not restored:
// a statement being collected always belongs to the innermost run.
void runMacro(Job &job, int slot, int keepOpen) {
  SqlState &sql = job.sql;
  QueryStack &queries = job.queries;
  const Macro &macro = job.macros.slots[slot];

  if (queries.macroDepth >= kMaxMacroDepth) failWith(job, kNestingMessage, job.line.lineBuffer);

  if (job.job.runFlags & kFlagTrace) std::fprintf(job.job.trace, "Macro=%s   Inppos=%d\n", macro.name, macro.start);
  dumpTables(job);

  int wasRunning = sql.macroRunning;
  sql.macroRunning = 1;
  sql.macroLineNo = 0;
  sql.sqlIsQuery = 0;
  sql.sqlFactored = 0;
  sql.sqlCollecting = 0;
  ++queries.macroDepth;
  runLines(job, slot, macro.firstLine, macro.endLine);
  --queries.macroDepth;
  sql.macroRunning = wasRunning;

  if (!sql.sqlCollecting) return;       // a command macro
  sql.sqlCollecting = 0;
  settleFactored(job);                  // a WITH ... SELECT without INTO
  sql.sqlFactored = 0;
  substituteVariables(job);

  if (!sql.sqlIsQuery) {
    if (job.db.database.ExecuteSQL(sql.sqlBuffer) != 0) reportServerError(job);
    return;
  }

  sql.sqlIsQuery = 0;
  openQueryLevel(job);
  if (keepOpen == 1) return;

  // Only the first row is fetched; no row leaves the INTO variables null.
  int level = queries.queryDepth;
  ODynaset &set = job.db.levelSets[level];
  set.MoveFirst();
  if (set.IsEOF()) {
    nullIntoVariables(job, level);
  } else {
    fetchRow(job, level);
  }
  closeLevel(job);
}

// A ".name" line (the dispatcher found the macro): run it where it stands,
// then go on after the calling line.
void callMacro(Job &job, int slot) {
  int kept = job.script.nextLine;
  runMacro(job, slot, 0);
  job.script.nextLine = kept;
}

// .EXECUTE name
void execExecute(Job &job) {
  if (job.line.wordCount < 2) failWith(job, ".EXECUTE Invalid\n", job.line.lineBuffer);
  char *name = nextToken(job);
  foldUpper(name);
  int slot = findMacro(job, name);
  if (slot < 0) failWith(job, "macro name Wrong\n", job.line.lineBuffer);
  callMacro(job, slot);
}

// reportServerError: the three lines, then the transaction is rolled back
// and the link closed. The link is marked closed so that abortJob does not
// roll back a second time.
void reportServerError(Job &job) {
  ODatabase &database = job.db.database;
  printServerError(job, job.sql.sqlBuffer);
  closeAllQueries(job);
  if (database.IsOpen()) {
    job.db.session.Rollback(0);
    database.Close();
  }
  job.db.connected = false;
  abortJob(job, JobFailure::Server);
}
