// Query levels: the one owner of the QueryStack's levels. A level is
// numbered when the dispatcher recognises a SELECT, its result set opened
// when the macro's statement is complete, and closed by the macro run or
// by the report loop that stepped it; levels close in the reverse order of
// their opening.
#include "driver/Job.h"

// A SELECT on a macro's first line: the next level is its own.
void numberQueryLevel(Job &job) {
  if (++job.queries.queryDepth > kMaxQueryDepth)
    failWith(job, Msg::TooManyDynasets, job.line.lineBuffer);
}

// The collected, substituted statement opens the newest level's result set.
void openQueryLevel(Job &job) {
  ODynaset &set = job.db.levelSets[job.queries.queryDepth];
  job.queries.statementAt[job.queries.queryDepth] = job.line.place;
  if (set.Open(job.db.database, job.sql.sqlBuffer, 0) != 0) reportServerError(job);
}

// Every INTO variable of a level becomes null, its value kept.
void nullIntoVariables(Job &job, int level) {
  const QueryStack &queries = job.queries;
  const int *into = queries.intoList + queries.intoStart[level];
  for (int i = 0; i < queries.intoCount[level]; ++i) job.vars.entries[into[i]].isNull = 1;
}

// Closing a level: its result set, its INTO entries, then the depth.
void closeLevel(Job &job) {
  QueryStack &queries = job.queries;
  int level = queries.queryDepth;
  if (level <= 0) return;
  ODynaset &set = job.db.levelSets[level];
  if (set.IsOpen()) set.Close();
  queries.cumInto -= queries.intoCount[level];
  queries.intoCount[level] = 0;
  --queries.queryDepth;
}

// Result sets still open when the job ends early must be closed before the
// link they belong to.
void closeAllQueries(Job &job) {
  for (ODynaset &set : job.db.levelSets) {
    if (set.IsOpen()) set.Close();
  }
  if (job.db.probeSet.IsOpen()) job.db.probeSet.Close();
}
