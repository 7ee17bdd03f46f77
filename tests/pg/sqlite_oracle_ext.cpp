// Oracle's functions as a loadable SQLite extension, so that a SQLite
// database reached through the SQLite ODBC driver (its LoadExt option)
// answers the Oracle-style SQL the program sends itself, as the built-in
// SQLite driver does.
#include <sqlite3.h>

#include "database/SqliteDriver.h"

extern "C" __attribute__((visibility("default"))) int sqlite3_extension_init(sqlite3 *db, char **, const void *) {
  return registerOracleFunctions(db, true);
}
