// Oracle's SQL functions on a SQLite connection: the pieces shared by the
// files that implement them (SqliteFunctions.cpp registers them and holds
// the general ones, OracleFormat.cpp the format models of TO_CHAR, TO_DATE
// and TO_NUMBER, OracleDates.cpp the date arithmetic, OracleText.cpp the
// character functions).
//
// Values follow the driver's conventions: a date is ISO text
// ('1980-12-17' or '1980-12-17 10:30:00') and a function that gives a date
// gives one of those two shapes, which the driver types as a date. A number
// is an integer or a real; text is converted to a number where Oracle
// converts it, and text that is no number is Oracle's "invalid number".
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <span>

#include "database/DateText.h"
#include "driver/Messages.h"

// An SQL function's error: the catalogue entry's text, a printf format of
// the arguments that follow.
void resultError(sqlite3_context *context, Msg id, ...);

// One function as it is registered: every arity from fewest to most.
struct OracleFunction {
  const char *name;
  int fewest, most;                     // argument counts; -1 as most: any number
  void (*call)(sqlite3_context *, int, sqlite3_value **);
  bool replacesBuiltin = false;         // SQLite has its own; native SQL keeps that one
  bool deterministic = true;
};

std::span<const OracleFunction> oracleNumberFunctions();
std::span<const OracleFunction> oracleFormatFunctions();
std::span<const OracleFunction> oracleDateFunctions();
std::span<const OracleFunction> oracleTextFunctions();

// --- Numbers ------------------------------------------------------------

// A number of a function argument: an integer when SQLite holds one.
struct OracleNumber {
  bool isInteger = false;
  std::int64_t integer = 0;
  double real = 0.0;
  double value() const { return isInteger ? static_cast<double>(integer) : real; }
};

// Read Oracle number text (blanks around it, a sign, digits, a point, an
// exponent); false when the text is no number.
bool parseOracleNumber(const char *text, int length, OracleNumber *number);

// The number of an argument that is not null; false, with the error set
// on the context, when it is text that is no number or a blob.
bool numberArgument(sqlite3_context *context, sqlite3_value *value, OracleNumber *number);

// An integer argument (positions, lengths, digits, months): Oracle
// truncates a fraction.
bool integerArgument(sqlite3_context *context, sqlite3_value *value, std::int64_t *integer);

// Give a real as the result, as an integer when it is one: Oracle's
// numbers have no separate integral type, and 3 must not come out as 3.0.
void resultNumber(sqlite3_context *context, double value);

// A number as decimal digits, value = 0.d1d2...dn x 10^exponent: rounding
// and formatting work on the digits Oracle's decimal numbers would hold,
// so that 2.675 rounds to 2.68 although the nearest double is below it.
struct Decimal {
  static constexpr int kMaxDigits = 40;
  bool negative = false;
  char digits[kMaxDigits] = {};         // '0'..'9', no leading zero; count 0 is zero
  int count = 0;
  int exponent = 0;                     // digits before the point
};

Decimal decimalOf(double value);
Decimal decimalOf(std::int64_t value);
Decimal decimalOf(const OracleNumber &number);

// Keep `places` digits after the point (negative: round to tens,
// hundreds...), rounding half away from zero or truncating.
void roundDecimal(Decimal &d, int places);
void truncateDecimal(Decimal &d, int places);

// The decimal as a result: an integer when it has no fraction and fits.
void resultDecimal(sqlite3_context *context, const Decimal &d);

// Oracle's text of a number without a format: no trailing zeros, no zero
// before the point (0.5 is ".5"). Returns the length.
int plainNumberText(double value, char *out, int size);

// --- Text ----------------------------------------------------------------

// The text of an argument as Oracle converts it: numbers as
// plainNumberText gives them, into the caller's buffer.
struct ArgumentText {
  const char *text = "";
  int length = 0;
  char buffer[40] = {};
};
void argumentText(sqlite3_value *value, ArgumentText *out);

// Give text as the result; empty text is null, as Oracle has it.
void resultText(sqlite3_context *context, const char *text, int length);

// --- Dates ---------------------------------------------------------------

// The date of an argument that is not null; false, with "name(): value is
// not a date" set on the context, when it is not ISO date text.
bool dateArgument(sqlite3_context *context, sqlite3_value *value, const char *name, DateParts *date);

// Give a date as the result: 'YYYY-MM-DD HH:MM:SS', or 'YYYY-MM-DD' at
// midnight, so that TO_DATE('17-12-1980', 'DD-MM-YYYY') equals the date
// text tables hold (dates compare as text); a year outside 1 to 9999 is
// an error.
void resultDate(sqlite3_context *context, const DateParts &date);

// Whether a value is ISO date text (ROUND and TRUNC then work on dates).
bool isDateValue(sqlite3_value *value);

// ROUND(date[, format]) and TRUNC(date[, format]), arguments not null.
void roundDate(sqlite3_context *context, int argc, sqlite3_value **argv, bool round);

// Calendar arithmetic (proleptic Gregorian).
long daysFromCivil(int year, int month, int day);
DateParts civilFromDays(long days);
int lastDayOfMonth(int year, int month);
int weekdayOf(const DateParts &d);      // 0 = Sunday
int dayOfYearOf(const DateParts &d);

// The current local date and time, as DUAL's SYSDATE gives it.
DateParts localNow();

// Whether any argument is null (most functions are then null).
bool anyNull(int argc, sqlite3_value **argv);
// As anyNull, and an empty text counts as NULL: Oracle stores '' as NULL,
// so its conversions never meet an empty text or model.
bool anyNullOrEmpty(int argc, sqlite3_value **argv);
