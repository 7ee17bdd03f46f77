// Conditions and transactions: whether a condition holds, asked of the
// server through a one-row query on DUAL; .COMMIT and .ROLLBACK end the
// transaction and begin the next.
#include <cstdio>
#include <cstring>

#include "database/SqlText.h"
#include "driver/Job.h"
#include "driver/Signals.h"

static const char kConditionQuery[] = "SELECT 1 AS QORVENTILE FROM DUAL WHERE ";

// A condition (at most one line, so the query always fits sqlBuffer) into
// the one-row query on DUAL, substituted.
void prepareCondition(Job &job, const char *condition) {
  std::snprintf(job.sql.sqlBuffer, kSqlBufferSize, "%s%s", kConditionQuery, condition);
  substituteVariables(job);
}

// The prepared query sent: true when it gives its row. line is printed
// above a server error.
bool conditionHolds(Job &job, const char *line) {
  ODynaset &probe = job.db.probeSet;
  if (probe.Open(job.db.database, job.sql.sqlBuffer, 0) != 0) {
    if (!stopRequested()) std::fprintf(job.job.err, "%s\n", line);   // printed with the server error
    reportServerError(job);
  }
  long count = probe.GetRecordCount();
  probe.Close();
  return count != 0;
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
