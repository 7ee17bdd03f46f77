// The report loop: .REPORT runs a query and a macro for each of its rows,
// with a head macro for the first row and a foot macro after the last.
#include <cstdio>
#include <cstring>

#include "driver/Job.h"

namespace {

// The next word of the .REPORT line names a macro; refused when undefined.
int lookUpMacro(Job &job, const char *message) {
  char *name = nextToken(job);
  foldUpper(name);
  int slot = findMacro(job, name);
  if (slot < 0) failWith(job, message, job.line.lineBuffer);
  return slot;
}

void runKeepingCursor(Job &job, int slot, int keepOpen) {
  int kept = job.script.nextLine;
  runMacro(job, slot, keepOpen);
  job.script.nextLine = kept;
}

// A row that fails half way through the result set is a server error of
// the query, not the end of its rows: report it with the query's text.
void moveNextOrFail(Job &job, ODynaset &set) {
  if (set.MoveNext(1) == 0) return;
  std::snprintf(job.sql.sqlBuffer, sizeof job.sql.sqlBuffer, "%s", set.GetSQL());
  reportServerError(job);
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
void execReport(Job &job) {
  if (job.line.wordCount < 3) failWith(job, ".REPORT Invalid\n", job.line.lineBuffer);
  char line[kMaxLineChars + 1];        // lineBuffer is reused by the macro runs
  std::snprintf(line, sizeof line, "%s", job.line.lineBuffer);

  int select = lookUpMacro(job, "SELECT macro name Wrong\n");
  int body = lookUpMacro(job, "BODY macro name Wrong\n");
  int head = body;
  int foot = -1;
  if (job.line.wordCount > 3) head = lookUpMacro(job, "HEAD macro name Wrong\n");
  if (job.line.wordCount > 4) foot = lookUpMacro(job, "FOOT macro name Wrong\n");

  QueryStack &queries = job.queries;
  int before = queries.queryDepth;
  runKeepingCursor(job, select, 1);
  if (queries.queryDepth != before + 1) failWith(job, "SELECT macro not a query\n", line);

  int level = queries.queryDepth;
  ODynaset &set = job.db.levelSets[level];
  set.MoveFirst();
  if (!set.IsEOF()) {
    fetchRow(job, level);
    runKeepingCursor(job, head, 0);
    moveNextOrFail(job, set);
    while (!set.IsEOF()) {
      fetchRow(job, level);
      runKeepingCursor(job, body, 0);
      moveNextOrFail(job, set);
    }
    if (foot >= 0) runKeepingCursor(job, foot, 0);  // sees the last row
  }

  nullIntoVariables(job, level);
  closeLevel(job);
}
