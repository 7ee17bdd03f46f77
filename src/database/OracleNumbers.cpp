// Oracle's numbers on SQLite: reading number text, decimal rounding, and
// the numeric functions ROUND, TRUNC, MOD, REMAINDER, SIGN, CEIL, FLOOR,
// POWER, SQRT and ABS (ROUND and TRUNC of a date are in OracleDates.cpp).
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "database/OracleFunctions.h"

namespace {

constexpr double kInt64Limit = 9223372036854775808.0;   // 2^63

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Oracle's error for an argument outside a function's domain.
void outOfRange(sqlite3_context *context, const char *name) { resultError(context, Msg::SqlOutOfRange, name); }

}  // namespace

bool parseOracleNumber(const char *text, int length, OracleNumber *number) {
  while (length > 0 && isBlank(text[length - 1])) --length;
  int start = 0;
  while (start < length && isBlank(text[start])) ++start;
  if (start == length || length - start > 400) return false;
  char clean[401];
  std::memcpy(clean, text + start, static_cast<size_t>(length - start));
  clean[length - start] = 0;
  // Digits, at most one point, and an exponent; no hexadecimal, no "inf".
  const char *p = clean;
  if (*p == '+' || *p == '-') ++p;
  bool digits = false, integral = true;
  while (*p >= '0' && *p <= '9') ++p, digits = true;
  if (*p == '.') {
    integral = false;
    for (++p; *p >= '0' && *p <= '9'; ++p) digits = true;
  }
  if (!digits) return false;
  if (*p == 'e' || *p == 'E') {
    integral = false;
    ++p;
    if (*p == '+' || *p == '-') ++p;
    if (!(*p >= '0' && *p <= '9')) return false;
    while (*p >= '0' && *p <= '9') ++p;
  }
  if (*p) return false;
  const char *from = clean[0] == '+' ? clean + 1 : clean;
  if (integral) {
    auto [end, error] = std::from_chars(from, p, number->integer);
    if (error == std::errc() && end == p) {
      number->isInteger = true;
      return true;
    }
  }
  number->isInteger = false;
  number->real = std::strtod(clean, nullptr);
  return std::isfinite(number->real);
}

bool numberArgument(sqlite3_context *context, sqlite3_value *value, OracleNumber *number) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      number->isInteger = true;
      number->integer = sqlite3_value_int64(value);
      return true;
    case SQLITE_FLOAT:
      number->isInteger = false;
      number->real = sqlite3_value_double(value);
      return true;
    case SQLITE_TEXT: {
      const char *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
      if (parseOracleNumber(text, sqlite3_value_bytes(value), number)) return true;
      break;
    }
    default:
      break;
  }
  resultError(context, Msg::SqlInvalidNumber);
  return false;
}

bool integerArgument(sqlite3_context *context, sqlite3_value *value, std::int64_t *integer) {
  OracleNumber number;
  if (!numberArgument(context, value, &number)) return false;
  if (number.isInteger) {
    *integer = number.integer;
    return true;
  }
  double whole = std::trunc(number.real);
  if (!(std::fabs(whole) < kInt64Limit)) {
    resultError(context, Msg::SqlNumericOverflow);
    return false;
  }
  *integer = static_cast<std::int64_t>(whole);
  return true;
}

void resultNumber(sqlite3_context *context, double value) {
  if (value == std::trunc(value) && std::fabs(value) < kInt64Limit) {
    sqlite3_result_int64(context, static_cast<sqlite3_int64>(value));
  } else {
    sqlite3_result_double(context, value);
  }
}

// --- Decimal digits --------------------------------------------------------

// Shortest digits that read back as the same double: what SQLite itself
// shows of the value, and what a decimal database would have stored.
Decimal decimalOf(double value) {
  Decimal d;
  d.negative = std::signbit(value) && value != 0;
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific);
  *result.ptr = 0;
  const char *p = text;
  for (; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9' && d.count < Decimal::kMaxDigits) d.digits[d.count++] = *p;
  }
  int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
  d.exponent = exponent + 1;
  while (d.count > 0 && d.digits[d.count - 1] == '0') --d.count;
  if (d.count == 0) d.exponent = 0;
  return d;
}

Decimal decimalOf(std::int64_t value) {
  Decimal d;
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, value);
  const char *p = text;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  for (; p < result.ptr; ++p) d.digits[d.count++] = *p;
  d.exponent = d.count;
  while (d.count > 0 && d.digits[d.count - 1] == '0') --d.count;
  if (d.count == 0) d.exponent = 0, d.negative = false;
  return d;
}

Decimal decimalOf(const OracleNumber &number) {
  return number.isInteger ? decimalOf(number.integer) : decimalOf(number.real);
}

namespace {

// Cut the digits at `keep` (digits before the point plus places), the
// carry of rounding going leftwards (999.5 becomes 1000).
void cutDecimal(Decimal &d, int places, bool round) {
  int keep = d.exponent + places;
  if (keep >= d.count) return;
  bool up = round && keep >= 0 && d.digits[keep] >= '5';
  if (keep < 0) keep = 0;
  d.count = keep;
  if (up) {
    int i = keep - 1;
    for (; i >= 0 && d.digits[i] == '9'; --i) --d.count;
    if (i >= 0) {
      ++d.digits[i];
    } else {                            // all nines: one more digit in front
      d.digits[0] = '1';
      d.count = 1;
      ++d.exponent;
    }
  }
  while (d.count > 0 && d.digits[d.count - 1] == '0') --d.count;
  if (d.count == 0) d.exponent = 0, d.negative = false;
}

}  // namespace

void roundDecimal(Decimal &d, int places) { cutDecimal(d, places, true); }
void truncateDecimal(Decimal &d, int places) { cutDecimal(d, places, false); }

void resultDecimal(sqlite3_context *context, const Decimal &d) {
  char text[Decimal::kMaxDigits + 16];
  int n = 0;
  if (d.negative) text[n++] = '-';
  if (d.count == 0) {
    sqlite3_result_int64(context, 0);
    return;
  }
  for (int i = 0; i < d.count; ++i) text[n++] = d.digits[i];
  n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "e%d", d.exponent - d.count);
  double value = std::strtod(text, nullptr);
  if (d.exponent >= d.count && d.exponent <= 19) {
    // Integral: read the digits as an integer, exactly, when they fit.
    char whole[24];
    int w = 0;
    if (d.negative) whole[w++] = '-';
    for (int i = 0; i < d.exponent; ++i) whole[w++] = i < d.count ? d.digits[i] : '0';
    std::int64_t integer;
    auto [end, error] = std::from_chars(whole, whole + w, integer);
    if (error == std::errc() && end == whole + w) {
      sqlite3_result_int64(context, integer);
      return;
    }
  }
  sqlite3_result_double(context, value);
}

int plainNumberText(double value, char *out, int size) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  const char *from = text;
  char *to = out;
  if (*from == '-') *to++ = *from++;
  if (from[0] == '0' && from[1] == '.') ++from;
  std::snprintf(to, static_cast<size_t>(size - (to - out)), "%s", from);
  return static_cast<int>(std::strlen(out));
}

// --- The functions ---------------------------------------------------------

namespace {

// ROUND(n[, places]) and TRUNC(n[, places]) of a number.
void roundNumber(sqlite3_context *context, int argc, sqlite3_value **argv, bool round) {
  OracleNumber number;
  std::int64_t places = 0;
  if (!numberArgument(context, argv[0], &number)) return;
  if (argc == 2 && !integerArgument(context, argv[1], &places)) return;
  if (number.isInteger && places >= 0) return sqlite3_result_int64(context, number.integer);
  if (!number.isInteger && !std::isfinite(number.real)) return sqlite3_result_double(context, number.real);
  if (places > 400) places = 400;
  if (places < -400) places = -400;
  Decimal d = decimalOf(number);
  cutDecimal(d, static_cast<int>(places), round);
  resultDecimal(context, d);
}

// ROUND and TRUNC of a date, or with a date format (text that is no
// number), go to the date versions.
bool onDate(int argc, sqlite3_value **argv) {
  return isDateValue(argv[0]) || (argc == 2 && sqlite3_value_type(argv[1]) == SQLITE_TEXT &&
                                  sqlite3_value_numeric_type(argv[1]) == SQLITE_TEXT);
}

void roundFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  if (onDate(argc, argv)) return roundDate(context, argc, argv, true);
  roundNumber(context, argc, argv, true);
}

void truncFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  if (onDate(argc, argv)) return roundDate(context, argc, argv, false);
  roundNumber(context, argc, argv, false);
}

// The two number arguments of a binary function; false when either is
// null (the result then set to null) or no number.
bool twoNumbers(sqlite3_context *context, sqlite3_value **argv, OracleNumber *m, OracleNumber *n) {
  if (anyNull(2, argv)) {
    sqlite3_result_null(context);
    return false;
  }
  return numberArgument(context, argv[0], m) && numberArgument(context, argv[1], n);
}

// MOD(m, n): m - n * TRUNC(m / n), with the sign of m; MOD(m, 0) is m.
void modFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  OracleNumber m, n;
  if (!twoNumbers(context, argv, &m, &n)) return;
  if (m.isInteger && n.isInteger) {
    if (n.integer == 0) return sqlite3_result_int64(context, m.integer);
    if (n.integer == -1) return sqlite3_result_int64(context, 0);   // INT64_MIN % -1 overflows
    return sqlite3_result_int64(context, m.integer % n.integer);
  }
  if (n.value() == 0) return resultNumber(context, m.value());
  resultNumber(context, std::fmod(m.value(), n.value()));
}

// REMAINDER(m, n): m - n * N, N the integer nearest m / n (the even one
// at a half); n = 0 is an error.
void remainderFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  OracleNumber m, n;
  if (!twoNumbers(context, argv, &m, &n)) return;
  if (n.value() == 0) return resultError(context, Msg::SqlDivisorZero);
  if (m.isInteger && n.isInteger && n.integer != -1 && n.integer != std::numeric_limits<std::int64_t>::min()) {
    std::int64_t r = m.integer % n.integer;
    std::int64_t size = n.integer > 0 ? n.integer : -n.integer;   // |n|, compared with 2|r|
    std::int64_t rest = r > 0 ? r : -r;
    bool pastHalf = rest > size - rest;
    bool atHalf = rest == size - rest;
    bool quotientOdd = ((m.integer - r) / n.integer) % 2 != 0;
    if (pastHalf || (atHalf && quotientOdd)) r += (r > 0) == (n.integer > 0) ? -n.integer : n.integer;
    return sqlite3_result_int64(context, r);
  }
  if (m.isInteger && n.isInteger) return sqlite3_result_int64(context, 0);   // n is -1 or the least integer
  resultNumber(context, std::remainder(m.value(), n.value()));
}

// The one number argument of a function; false when it is null (the
// result then null) or no number.
bool oneNumber(sqlite3_context *context, sqlite3_value *value, OracleNumber *n) {
  if (sqlite3_value_type(value) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return false;
  }
  return numberArgument(context, value, n);
}

void signFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  OracleNumber n;
  if (!oneNumber(context, argv[0], &n)) return;
  double v = n.value();
  sqlite3_result_int(context, v > 0 ? 1 : v < 0 ? -1 : 0);
}

void ceilFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  OracleNumber n;
  if (!oneNumber(context, argv[0], &n)) return;
  if (n.isInteger) return sqlite3_result_int64(context, n.integer);
  resultNumber(context, std::ceil(n.real));
}

void floorFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  OracleNumber n;
  if (!oneNumber(context, argv[0], &n)) return;
  if (n.isInteger) return sqlite3_result_int64(context, n.integer);
  resultNumber(context, std::floor(n.real));
}

// ABS keeps SQLite's error for the one integer without a positive twin.
void absFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  OracleNumber n;
  if (!oneNumber(context, argv[0], &n)) return;
  if (!n.isInteger) return resultNumber(context, std::fabs(n.real));
  if (n.integer == std::numeric_limits<std::int64_t>::min()) {
    return resultError(context, Msg::SqlIntegerOverflow);
  }
  sqlite3_result_int64(context, n.integer < 0 ? -n.integer : n.integer);
}

// SQRT of a negative number is outside its domain.
void sqrtFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  OracleNumber n;
  if (!oneNumber(context, argv[0], &n)) return;
  if (n.value() < 0) return outOfRange(context, "sqrt");
  resultNumber(context, std::sqrt(n.value()));
}

// POWER(m, n): a negative m needs an integer n.
void powerFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  OracleNumber m, n;
  if (!twoNumbers(context, argv, &m, &n)) return;
  double base = m.value(), exponent = n.value();
  if (base < 0 && exponent != std::trunc(exponent)) return outOfRange(context, "power");
  if (base == 0 && exponent < 0) return outOfRange(context, "power");
  double result = std::pow(base, exponent);
  if (!std::isfinite(result)) return resultError(context, Msg::SqlNumericOverflow);
  resultNumber(context, result);
}

constexpr OracleFunction kFunctions[] = {
    {"round", 1, 2, roundFunction, true},       {"trunc", 1, 2, truncFunction, true},
    {"mod", 2, 2, modFunction, true},           {"remainder", 2, 2, remainderFunction},
    {"sign", 1, 1, signFunction, true},         {"ceil", 1, 1, ceilFunction, true},
    {"floor", 1, 1, floorFunction, true},       {"abs", 1, 1, absFunction, true},
    {"sqrt", 1, 1, sqrtFunction, true},         {"power", 2, 2, powerFunction, true},
};

}  // namespace

std::span<const OracleFunction> oracleNumberFunctions() { return kFunctions; }
