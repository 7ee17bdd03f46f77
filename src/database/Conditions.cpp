// Conditions and transactions: .IF asks the server whether a condition
// holds, through a one-row query on DUAL; .COMMIT and .ROLLBACK end the
// transaction and begin the next.
#include <cstdio>
#include <cstring>

#include "database/SqlText.h"
#include "driver/Job.h"
#include "driver/Signals.h"

static const char kConditionQuery[] = "SELECT 1 AS QORVENTILE FROM DUAL WHERE ";

// .IF "condition" THEN label [ELSE label]
// Every word is read and both labels looked up before the query runs.
void execIf(Job &job, int macroSlot) {
  char line[kMaxLineChars + 1];         // cut at the closing quote below; the record stays whole
  copyText(line, sizeof line, job.line.lineBuffer);
  char *open = std::strchr(line, '"');
  if (!open) failWith(job, ".IF invalid\n", line);
  char *close = std::strchr(open + 1, '"');
  if (!close) failWith(job, ".IF invalid\n", line);
  *close = 0;                           // messages from here show the cut line

  // The condition is at most one line, so the query always fits sqlBuffer.
  std::snprintf(job.sql.sqlBuffer, kSqlBufferSize, "%s%s", kConditionQuery, open + 1);
  substituteVariables(job);

  char *rest = close + 1;
  int words = countWords(rest);
  if (words != 2 && words != 4) failWith(job, ".IF invalid\n", line);
  char *word = firstToken(job, rest);
  foldUpper(word);
  if (std::strcmp(word, "THEN") != 0) failWith(job, ".IF no THEN \n", line);
  word = nextToken(job);
  foldUpper(word);
  int thenLabel = findLabel(job, word, macroSlot);
  if (thenLabel < 0) failWith(job, "Label name Wrong\n", line);
  int elseLabel = -1;
  if (words == 4) {
    word = nextToken(job);
    foldUpper(word);
    if (std::strcmp(word, "ELSE") != 0) failWith(job, ".IF bad ELSE \n", line);
    word = nextToken(job);
    foldUpper(word);
    elseLabel = findLabel(job, word, macroSlot);
    if (elseLabel < 0) failWith(job, "Label name Wrong\n", line);
  }

  ODynaset &probe = job.db.probeSet;
  if (probe.Open(job.db.database, job.sql.sqlBuffer, 0) != 0) {
    if (!stopRequested()) std::fprintf(job.job.err, "%s\n", line);   // printed with the server error
    reportServerError(job);
  }
  long count = probe.GetRecordCount();
  probe.Close();

  if (count != 0) {
    jumpToLabel(job, thenLabel);
  } else if (elseLabel >= 0) {
    jumpToLabel(job, elseLabel);
  }
}

// .COMMIT
void execCommit(Job &job) {
  if (job.db.session.Commit(0) != 0) reportRefusedEnd(job, "COMMIT");
  job.db.session.BeginTransaction();
}

// .ROLLBACK
void execRollback(Job &job) {
  if (job.db.session.Rollback(0) != 0) reportRefusedEnd(job, "ROLLBACK");
  job.db.session.BeginTransaction();
}
