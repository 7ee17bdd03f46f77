// Stepping a query level's result set: the first row and each next one
// copied into the level's INTO variables. The report loop and every SQL
// macro run call these for each row.
#include <cstdio>

#include "driver/Job.h"

bool fetchFirstRow(Job &job, int level) {
  ODynaset &set = job.db.levelSets[level];
  set.MoveFirst();
  if (set.IsEOF()) {
    nullIntoVariables(job, level);
    return false;
  }
  fetchRow(job, level);
  return true;
}

// A row that fails half way through the result set is a server error of
// the query, not the end of its rows: reported with the query's text.
bool fetchNextRow(Job &job, int level) {
  ODynaset &set = job.db.levelSets[level];
  if (set.MoveNext(1) != 0) {
    job.line.place = job.queries.statementAt[level];
    std::snprintf(job.sql.sqlBuffer, sizeof job.sql.sqlBuffer, "%s", set.GetSQL());
    reportServerError(job);
  }
  if (set.IsEOF()) return false;
  fetchRow(job, level);
  return true;
}
