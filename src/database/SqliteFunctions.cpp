// Oracle-style SQL functions for the SQLite driver: TO_CHAR of dates (ISO
// text) and numbers, NVL and DECODE. Scripts written for an Oracle server
// use them, and the program's own date and time queries need TO_CHAR.
#include <sqlite3.h>
#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "database/SqliteDriver.h"

namespace {

// A bounded output buffer; overflow is remembered, never written.
struct Writer {
  char *out;
  int size;
  int length = 0;
  bool overflow = false;

  void put(char c) {
    if (length + 1 >= size) {
      overflow = true;
      return;
    }
    out[length++] = c;
    out[length] = 0;
  }
  void put(const char *text) {
    while (*text) put(*text++);
  }
  // A number in at least width digits (leading zeros), or as it is in fill
  // mode.
  void number(int value, int width, bool fillMode) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%0*d", fillMode ? 1 : width, value);
    put(digits);
  }
};

constexpr const char *kMonths[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                                   "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
constexpr const char *kDays[] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};
constexpr int kNameWidth = 9;           // MONTH and DAY are padded to the longest name

// How the letters of a name follow the element as written: "MON" gives
// DEC, "Mon" Dec, "mon" dec.
enum class NameCase { Upper, Capital, Lower };

NameCase caseOf(const char *element) {
  if (std::islower(static_cast<unsigned char>(element[0]))) return NameCase::Lower;
  if (std::islower(static_cast<unsigned char>(element[1]))) return NameCase::Capital;
  return NameCase::Upper;
}

// A name (or its first `letters` letters) in the element's case, padded
// to width with blanks unless in fill mode.
void putName(Writer &w, const char *name, int letters, NameCase nameCase, int width, bool fillMode) {
  int n = 0;
  for (; n < letters && name[n]; ++n) {
    char c = name[n];
    if (nameCase == NameCase::Lower || (nameCase == NameCase::Capital && n > 0)) {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    w.put(c);
  }
  if (!fillMode) {
    for (; n < width; ++n) w.put(' ');
  }
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long daysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  long era = (year >= 0 ? year : year - 399) / 400;
  long yoe = year - era * 400;
  long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int weekday(const DateParts &d) {      // 0 = Sunday
  long days = daysFromCivil(d.year, d.month, d.day);
  return static_cast<int>(((days % 7) + 11) % 7);
}

int dayOfYear(const DateParts &d) {
  return static_cast<int>(daysFromCivil(d.year, d.month, d.day) - daysFromCivil(d.year, 1, 1)) + 1;
}

// The date format elements, longest spelling first where one is the start
// of another.
enum class Element {
  FillMode, Year4, Year3, Year2, Year1, Quarter, MonthName, MonthAbbrev, Month, DayName, DayAbbrev,
  DayOfYear, Day, Weekday, Hour24, Hour12, Minute, SecondsOfDay, Second, MeridianDots, Meridian
};

const struct {
  const char *spelling;
  Element element;
} kElements[] = {
    {"FM", Element::FillMode},     {"YYYY", Element::Year4},          {"RRRR", Element::Year4},
    {"YYY", Element::Year3},       {"YY", Element::Year2},            {"RR", Element::Year2},
    {"Y", Element::Year1},         {"Q", Element::Quarter},           {"MONTH", Element::MonthName},
    {"MON", Element::MonthAbbrev}, {"MM", Element::Month},            {"MI", Element::Minute},
    {"DAY", Element::DayName},     {"DY", Element::DayAbbrev},        {"DDD", Element::DayOfYear},
    {"DD", Element::Day},          {"D", Element::Weekday},           {"HH24", Element::Hour24},
    {"HH12", Element::Hour12},     {"HH", Element::Hour12},           {"SSSSS", Element::SecondsOfDay},
    {"SS", Element::Second},       {"A.M.", Element::MeridianDots},   {"P.M.", Element::MeridianDots},
    {"AM", Element::Meridian},     {"PM", Element::Meridian},
};

// The element spelled at format, with its length; false if none.
bool matchElement(const char *format, Element *element, int *length) {
  for (const auto &entry : kElements) {
    int n = static_cast<int>(std::strlen(entry.spelling));
    if (strncasecmp(format, entry.spelling, static_cast<size_t>(n)) == 0) {
      *element = entry.element;
      *length = n;
      return true;
    }
  }
  return false;
}

// --- Number formats -----------------------------------------------------------

// A number format of 9, 0, ",", "." with an optional FM and "$" in front
// and an optional S in front or MI behind, as Oracle writes them: one
// position for the sign, blanks for suppressed leading digits, "#" when the
// number does not fit.
bool isNumberFormat(const char *format) {
  if (strncasecmp(format, "FM", 2) == 0) format += 2;
  if (*format == 'S' || *format == 's') ++format;
  if (*format == '$') ++format;
  bool digits = false;
  for (; *format; ++format) {
    char c = *format;
    if (c == '9' || c == '0') {
      digits = true;
    } else if (c != ',' && c != '.') {
      break;
    }
  }
  if (strcasecmp(format, "MI") == 0) format += 2;
  return digits && *format == 0;
}

bool formatOracleNumber(double value, const char *format, Writer &w) {
  bool fillMode = strncasecmp(format, "FM", 2) == 0;
  if (fillMode) format += 2;
  bool leadingSign = *format == 'S' || *format == 's';
  if (leadingSign) ++format;
  bool dollar = *format == '$';
  if (dollar) ++format;
  char pattern[kSqliteToCharSize];
  int patternLength = 0;
  while (*format && (std::isdigit(static_cast<unsigned char>(*format)) || *format == ',' || *format == '.') &&
         patternLength < kSqliteToCharSize - 1) {
    pattern[patternLength++] = *format++;
  }
  pattern[patternLength] = 0;
  bool trailingSign = *format != 0;     // MI, checked by isNumberFormat

  const char *point = std::strchr(pattern, '.');
  int integerEnd = point ? static_cast<int>(point - pattern) : patternLength;
  int fraction = 0, integerDigits = 0, firstZero = -1;
  for (int i = 0; i < patternLength; ++i) {
    bool digit = pattern[i] == '9' || pattern[i] == '0';
    if (i < integerEnd && digit) ++integerDigits;
    if (i > integerEnd && digit) ++fraction;
    if (i < integerEnd && pattern[i] == '0' && firstZero < 0) firstZero = i;
  }

  char digits[1024];                   // up to 309 integer digits and the fraction
  std::snprintf(digits, sizeof digits, "%.*f", fraction, std::fabs(value));
  bool negative = value < 0 && std::strspn(digits, "0.") != std::strlen(digits);
  char *dot = std::strchr(digits, '.');
  int integerLength = dot ? static_cast<int>(dot - digits) : static_cast<int>(std::strlen(digits));
  if (integerLength == 1 && digits[0] == '0' && (fraction > 0 || integerDigits == 0)) integerLength = 0;
  if (integerLength > integerDigits) {
    for (int i = 0; i <= patternLength + (dollar ? 1 : 0); ++i) w.put('#');
    return true;
  }

  // Integer positions right to left, then the point and the fraction.
  char field[kSqliteToCharSize];
  int next = integerLength - 1;         // next digit of the integer part, from the right
  for (int i = integerEnd - 1; i >= 0; --i) {
    bool zeroFill = firstZero >= 0 && i >= firstZero;   // a 0 keeps the zeros to its right
    if (pattern[i] == ',') {
      field[i] = (next >= 0 || zeroFill) ? ',' : ' ';
    } else if (next >= 0) {
      field[i] = digits[next--];
    } else {
      field[i] = zeroFill ? '0' : ' ';
    }
  }
  // A leading comma with nothing before it is not printed.
  for (int i = 0; i < integerEnd && (field[i] == ' ' || field[i] == ','); ++i) field[i] = ' ';
  int fractionDigit = 0;
  for (int i = integerEnd; i < patternLength; ++i) {
    if (pattern[i] == '.') {
      field[i] = '.';
    } else if (pattern[i] == ',') {
      field[i] = ',';
    } else {
      field[i] = dot ? dot[1 + fractionDigit++] : '0';
    }
  }
  int start = 0;
  while (start < patternLength && field[start] == ' ') ++start;
  if (!fillMode) {
    for (int i = 0; i < start; ++i) w.put(' ');
  }
  if (leadingSign) {
    w.put(negative ? '-' : '+');
  } else if (!trailingSign) {
    if (negative) {
      w.put('-');
    } else if (!fillMode) {
      w.put(' ');
    }
  }
  if (dollar) w.put('$');
  for (int i = start; i < patternLength; ++i) w.put(field[i]);
  if (trailingSign) {
    if (negative) {
      w.put('-');
    } else if (!fillMode) {
      w.put(' ');
    }
  }
  return true;
}

// Text of a number as Oracle's TO_CHAR without a format gives it: no
// trailing zeros, no zero before the decimal point.
void plainNumberText(double value, char *out, int size) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  const char *from = text;
  char *to = out;
  if (*from == '-') *to++ = *from++;
  if (from[0] == '0' && from[1] == '.') ++from;
  std::snprintf(to, static_cast<size_t>(size - (to - out)), "%s", from);
}

// --- The SQL functions -------------------------------------------------------

// TO_CHAR(value[, format]): a date (ISO text) with a date format, a number
// with a number format, or without a format the value's text.
void toCharFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (argc < 1 || argc > 2) {
    sqlite3_result_error(context, "wrong number of arguments to function to_char()", -1);
    return;
  }
  sqlite3_value *value = argv[0];
  int type = sqlite3_value_type(value);
  if (type == SQLITE_NULL || (argc == 2 && sqlite3_value_type(argv[1]) == SQLITE_NULL)) {
    sqlite3_result_null(context);
    return;
  }
  char out[kSqliteToCharSize];
  if (argc == 1) {
    if (type == SQLITE_INTEGER) {
      std::snprintf(out, sizeof out, "%lld", static_cast<long long>(sqlite3_value_int64(value)));
    } else if (type == SQLITE_FLOAT) {
      plainNumberText(sqlite3_value_double(value), out, sizeof out);
    } else {
      sqlite3_result_value(context, value);
      return;
    }
    sqlite3_result_text(context, out, -1, SQLITE_TRANSIENT);
    return;
  }

  const char *format = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
  Writer w{out, sizeof out};
  out[0] = 0;
  if (type != SQLITE_TEXT && isNumberFormat(format)) {
    formatOracleNumber(sqlite3_value_double(value), format, w);
  } else {
    const char *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
    DateParts date;
    if (type == SQLITE_TEXT && parseIsoDate(text, sqlite3_value_bytes(value), false, &date)) {
      if (formatOracleDate(date, format, out, sizeof out) < 0) {
        sqlite3_result_error(context, "date format not recognized", -1);
        return;
      }
      w.length = static_cast<int>(std::strlen(out));
    } else if (type == SQLITE_TEXT && isNumberFormat(format)) {
      formatOracleNumber(sqlite3_value_double(value), format, w);
    } else {
      sqlite3_result_error(context, "to_char(): value is not a date", -1);
      return;
    }
  }
  if (w.overflow) {
    sqlite3_result_error(context, "to_char(): result too long", -1);
    return;
  }
  sqlite3_result_text(context, out, w.length, SQLITE_TRANSIENT);
}

// NVL(a, b): a unless it is null, then b.
void nvlFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  sqlite3_result_value(context, sqlite3_value_type(argv[0]) != SQLITE_NULL ? argv[0] : argv[1]);
}

// Oracle's equality in DECODE: null matches null, numbers compare by value
// (a text that is a number included), texts byte by byte.
bool decodeMatches(sqlite3_value *a, sqlite3_value *b) {
  int ta = sqlite3_value_type(a), tb = sqlite3_value_type(b);
  if (ta == SQLITE_NULL || tb == SQLITE_NULL) return ta == tb;
  bool numberA = ta == SQLITE_INTEGER || ta == SQLITE_FLOAT;
  bool numberB = tb == SQLITE_INTEGER || tb == SQLITE_FLOAT;
  if (numberA || numberB) {
    if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER) return sqlite3_value_int64(a) == sqlite3_value_int64(b);
    sqlite3_value *text = numberA ? b : a;
    if (!(numberA && numberB) && sqlite3_value_numeric_type(text) == SQLITE_TEXT) return false;
    return sqlite3_value_double(a) == sqlite3_value_double(b);
  }
  int length = sqlite3_value_bytes(a);
  if (length != sqlite3_value_bytes(b)) return false;
  return std::memcmp(sqlite3_value_blob(a), sqlite3_value_blob(b), static_cast<size_t>(length)) == 0;
}

// DECODE(expr, search, result, ... [, default]).
void decodeFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (argc < 3) {
    sqlite3_result_error(context, "wrong number of arguments to function decode()", -1);
    return;
  }
  for (int i = 1; i + 1 < argc; i += 2) {
    if (decodeMatches(argv[0], argv[i])) {
      sqlite3_result_value(context, argv[i + 1]);
      return;
    }
  }
  if (argc % 2 == 0) {
    sqlite3_result_value(context, argv[argc - 1]);
  } else {
    sqlite3_result_null(context);
  }
}

}  // namespace

int formatOracleDate(const DateParts &d, const char *format, char *out, int size) {
  Writer w{out, size};
  if (size > 0) out[0] = 0;
  bool fillMode = false;
  const char *p = format;
  while (*p) {
    if (*p == '"') {                    // quoted text is copied as it is
      for (++p; *p && *p != '"'; ++p) w.put(*p);
      if (*p) ++p;
      continue;
    }
    if (!std::isalpha(static_cast<unsigned char>(*p))) {
      w.put(*p++);
      continue;
    }
    Element element;
    int length;
    if (!matchElement(p, &element, &length)) return -1;
    NameCase nameCase = caseOf(p);
    int hour12 = d.hour % 12 == 0 ? 12 : d.hour % 12;
    bool pm = d.hour >= 12;
    switch (element) {
      case Element::FillMode: fillMode = !fillMode; break;
      case Element::Year4: w.number(d.year, 4, fillMode); break;
      case Element::Year3: w.number(d.year % 1000, 3, fillMode); break;
      case Element::Year2: w.number(d.year % 100, 2, fillMode); break;
      case Element::Year1: w.number(d.year % 10, 1, fillMode); break;
      case Element::Quarter: w.number((d.month + 2) / 3, 1, fillMode); break;
      case Element::MonthName: putName(w, kMonths[d.month - 1], 99, nameCase, kNameWidth, fillMode); break;
      case Element::MonthAbbrev: putName(w, kMonths[d.month - 1], 3, nameCase, 3, true); break;
      case Element::Month: w.number(d.month, 2, fillMode); break;
      case Element::DayName: putName(w, kDays[weekday(d)], 99, nameCase, kNameWidth, fillMode); break;
      case Element::DayAbbrev: putName(w, kDays[weekday(d)], 3, nameCase, 3, true); break;
      case Element::DayOfYear: w.number(dayOfYear(d), 3, fillMode); break;
      case Element::Day: w.number(d.day, 2, fillMode); break;
      case Element::Weekday: w.number(weekday(d) + 1, 1, fillMode); break;
      case Element::Hour24: w.number(d.hour, 2, fillMode); break;
      case Element::Hour12: w.number(hour12, 2, fillMode); break;
      case Element::Minute: w.number(d.minute, 2, fillMode); break;
      case Element::SecondsOfDay: w.number(d.hour * 3600 + d.minute * 60 + d.second, 5, fillMode); break;
      case Element::Second: w.number(d.second, 2, fillMode); break;
      case Element::MeridianDots: putName(w, pm ? "P.M." : "A.M.", 4, nameCase, 4, true); break;
      case Element::Meridian: putName(w, pm ? "PM" : "AM", 2, nameCase, 2, true); break;
    }
    p += length;
  }
  return w.overflow ? -1 : w.length;
}

int registerOracleFunctions(sqlite3 *db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  int rc = sqlite3_create_function_v2(db, "to_char", -1, flags, nullptr, toCharFunction, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_function_v2(db, "nvl", 2, flags, nullptr, nvlFunction, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_function_v2(db, "decode", -1, flags, nullptr, decodeFunction, nullptr, nullptr, nullptr);
  }
  return rc;
}
