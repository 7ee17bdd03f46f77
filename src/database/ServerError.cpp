// The one way a server error is shown: the database product's name with
// the server's error number, the server's text, and the statement.
#include <cstdio>

#include "driver/Job.h"

void printServerError(Job &job, const char *statement) {
  const ODatabase &database = job.db.database;
  const char *text = database.GetServerErrorText();
  std::fprintf(job.job.err, "Kelvordantix: %s Error Number %d\n%s\n%s\n", database.ProductName(),
               static_cast<int>(database.ServerErrorNumber()), text ? text : "", statement);
}
