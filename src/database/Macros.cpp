// SQL statements of macros: sending a statement that is not a query, and
// the report of a server error (the substitution of variables is
// Substitution.cpp's).
#include <cstdio>
#include <cstring>
#include <string>

#include "database/SqlText.h"
#include "driver/Job.h"
#include "driver/Messages.h"

// An SQL statement other than a query, substituted: sent to the server.
void executeStatement(Job &job) {
  if (job.db.database.ExecuteSQL(job.sql.sqlBuffer) != 0) reportServerError(job);
}

// reportServerError: the three lines, then the transaction is rolled back
// and the link closed. The link is marked closed so that abortJob does not
// roll back a second time.
void reportServerError(Job &job) { reportServerError(job, messageText(Msg::CauseServerRefused)); }

// The cause line says refused, unless the error was the connection's end.
void reportServerError(Job &job, const std::string &refused) {
  ODatabase &database = job.db.database;
  printServerError(job, job.sql.sqlBuffer);
  setCause(job, database.ConnectionLost() ? messageText(Msg::CauseConnectionLost) : refused);
  closeAllQueries(job);
  if (database.IsOpen()) {
    job.db.session.Rollback(0);
    database.Close();
  }
  job.db.connected = false;
  abortJob(job, JobFailure::Server);
}
