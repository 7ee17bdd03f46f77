// The one way a server error is shown: the database product's name with
// the server's error number, the server's text, and the statement, then
// whatever more the server said (where, detail, hint) on lines of its own.
#include <cstdio>

#include "driver/Job.h"
#include "driver/Signals.h"

// A statement cut short because the job was asked to stop (the watchdog
// interrupts the database only after raising the stop) is no server
// error: abortJob says why the job ends.
void printServerError(Job &job, const char *statement) {
  if (stopRequested()) return;
  const ODatabase &database = job.db.database;
  const char *text = database.GetServerErrorText();
  writeMessage(job, Msg::ServerErrorHead, database.ProductName(),
               static_cast<int>(database.ServerErrorNumber()), text ? text : "", statement);
  const char *cause = database.GetServerErrorCause();
  if (cause[0]) std::fprintf(job.job.err, "%s\n", cause);
}
