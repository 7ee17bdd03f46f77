// The SQLite driver's parts shared between its files and its tests: column
// typing and the Oracle-style SQL functions (date text is in DateText.h).
#pragma once

#include "database/DateText.h"

struct sqlite3;

// How long a statement waits for a database locked by another connection
// before it fails with the server's "database is locked".
constexpr int kSqliteBusyTimeoutMs = 3000;

// Longest text a date gives (see DateText.h).
constexpr int kSqliteDateTextSize = kDateValueTextSize;

// Longest result of TO_CHAR with a format.
constexpr int kSqliteToCharSize = 512;

// The server type of a declared column type; -1 for no declared type (the
// value then decides).
short serverTypeOfDeclared(const char *declared);

// TO_CHAR of a date with an Oracle date format into out (size bytes);
// the length, or -1 when the format holds an element not recognised.
int formatOracleDate(const DateParts &date, const char *format, char *out, int size);

// The date of text read in an Oracle date format as TO_DATE reads it
// (the current year and month stand in for fields the format lacks); the
// error's text, or nullptr.
const char *readOracleDateText(const char *text, const char *format, DateParts *date);

// Oracle's functions on a connection (OracleFunctions.h); SQLite's result
// code. With oracle false (scripts in SQLite's own SQL) the functions
// SQLite has of the same name (substr, instr, round, trim...) stay
// SQLite's; the others, TO_CHAR among them, are there either way.
int registerOracleFunctions(sqlite3 *db, bool oracle);
