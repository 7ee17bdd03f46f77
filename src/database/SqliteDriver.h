// The SQLite driver's parts shared between its files and its tests: date
// text handling, column typing and the Oracle-style SQL functions.
#pragma once

struct sqlite3;

// How long a statement waits for a database locked by another connection
// before it fails with the server's "database is locked".
constexpr int kSqliteBusyTimeoutMs = 3000;

// Longest text a date gives: "mm/dd/yyyy hh:mi:ss" and its terminator, with
// room for a year of more than four digits.
constexpr int kSqliteDateTextSize = 32;

// Longest result of TO_CHAR with a format.
constexpr int kSqliteToCharSize = 512;

// A calendar date and time of day.
struct DateParts {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
};

// Read ISO date text: 'YYYY-MM-DD', optionally followed by a blank or "T"
// and 'HH:MM', 'HH:MM:SS' or 'HH:MM:SS.fff'. With exact set only the two
// shapes 'YYYY-MM-DD' and 'YYYY-MM-DD HH:MM:SS' qualify. Fields out of
// their ranges are no date.
bool parseIsoDate(const char *text, int length, bool exact, DateParts *date);

// The text a date value gives: "mm/dd/yyyy hh:mi:ss". Returns the length.
int formatDateText(const DateParts &date, char *out);

// The server type of a declared column type; -1 for no declared type (the
// value then decides).
short serverTypeOfDeclared(const char *declared);

// TO_CHAR of a date with an Oracle date format into out (size bytes);
// the length, or -1 when the format holds an element not recognised.
int formatOracleDate(const DateParts &date, const char *format, char *out, int size);

// TO_CHAR, NVL and DECODE on a connection; SQLite's result code.
int registerOracleFunctions(sqlite3 *db);
