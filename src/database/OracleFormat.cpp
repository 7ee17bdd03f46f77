// Oracle's format models on SQLite: TO_CHAR of dates and numbers, TO_DATE
// and TO_NUMBER. Names are American English and the numeric characters
// those of America (D is ".", G is ","), as an Oracle session has them by
// default.
#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "database/OracleFunctions.h"
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
  void repeat(char c, int n) {
    for (int i = 0; i < n; ++i) put(c);
  }
  // A number in at least width digits (leading zeros), or as it is in fill
  // mode.
  void number(long value, int width, bool fillMode) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%0*ld", fillMode ? 1 : width, value);
    put(digits);
  }
};

constexpr const char *kMonths[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                                   "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
constexpr const char *kDays[] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};
constexpr int kNameWidth = 9;           // MONTH and DAY are padded to the longest name

// Day number of 1970-01-01 in the Julian day count of J (days since
// January 1, 4712 BC).
constexpr long kJulianOfEpoch = 2440588;

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

// --- Date format elements ------------------------------------------------

// The date format elements, longest spelling first where one is the start
// of another.
enum class Element {
  FillMode, Exact, Year4, Year3, Year2, Year1, Century, Quarter, MonthName, MonthAbbrev, Month, DayName,
  DayAbbrev, DayOfYear, Day, Weekday, Julian, YearWeek, MonthWeek, Hour24, Hour12, Minute, SecondsOfDay,
  Second, MeridianDots, Meridian
};

const struct {
  const char *spelling;
  Element element;
} kElements[] = {
    {"FM", Element::FillMode},     {"FX", Element::Exact},            {"YYYY", Element::Year4},
    {"RRRR", Element::Year4},      {"YYY", Element::Year3},           {"YY", Element::Year2},
    {"RR", Element::Year2},        {"Y", Element::Year1},             {"CC", Element::Century},
    {"Q", Element::Quarter},       {"MONTH", Element::MonthName},     {"MON", Element::MonthAbbrev},
    {"MM", Element::Month},        {"MI", Element::Minute},           {"DAY", Element::DayName},
    {"DY", Element::DayAbbrev},    {"DDD", Element::DayOfYear},       {"DD", Element::Day},
    {"D", Element::Weekday},       {"J", Element::Julian},            {"WW", Element::YearWeek},
    {"W", Element::MonthWeek},     {"HH24", Element::Hour24},         {"HH12", Element::Hour12},
    {"HH", Element::Hour12},       {"SSSSS", Element::SecondsOfDay},  {"SS", Element::Second},
    {"A.M.", Element::MeridianDots}, {"P.M.", Element::MeridianDots}, {"AM", Element::Meridian},
    {"PM", Element::Meridian},
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

// --- Number format models ---------------------------------------------------

// Where a number format puts the sign.
enum class SignStyle { Default, LeadingS, TrailingS, Minus, Brackets };

// A number format model: FM, "$", a leading or trailing S, MI or PR
// around the digit positions 9 and 0, group separators "," or G in the
// integer part and one decimal character "." or D.
struct NumberModel {
  static constexpr int kMaxPositions = 64;
  bool fillMode = false;
  bool dollar = false;
  SignStyle sign = SignStyle::Default;
  char integer[kMaxPositions] = {};     // '9', '0' and ',' as written
  int integerLength = 0;
  int integerDigits = 0;                // the 9s and 0s among them
  bool point = false;
  char fraction[kMaxPositions] = {};    // '9' and '0'
  int fractionLength = 0;

  // Characters of the result without fill mode, which "#" fills when the
  // number does not fit.
  int width() const {
    int signWidth = sign == SignStyle::Brackets ? 2 : 1;
    return signWidth + dollar + integerLength + point + fractionLength;
  }
};

bool startsWith(const char *text, const char *prefix) { return strncasecmp(text, prefix, std::strlen(prefix)) == 0; }

// The positions of a model, after its prefixes; false for anything that
// is not one (a comma first or after the point, a second point).
bool parseNumberPositions(const char *&p, NumberModel *m) {
  for (;; ++p) {
    char c = *p;
    if (c == '9' || c == '0') {
      if (m->point) {
        if (m->fractionLength == NumberModel::kMaxPositions) return false;
        m->fraction[m->fractionLength++] = c;
      } else {
        if (m->integerLength == NumberModel::kMaxPositions) return false;
        m->integer[m->integerLength++] = c;
        ++m->integerDigits;
      }
    } else if (c == ',' || c == 'G' || c == 'g') {
      if (m->point || m->integerLength == 0 || m->integerLength == NumberModel::kMaxPositions) return false;
      m->integer[m->integerLength++] = ',';
    } else if (c == '.' || c == 'D' || c == 'd') {
      if (m->point) return false;
      m->point = true;
    } else if (c == '$' && !m->dollar) {
      m->dollar = true;
    } else {
      return m->integerDigits + m->fractionLength > 0;
    }
  }
}

bool parseNumberModel(const char *format, NumberModel *m) {
  const char *p = format;
  if (startsWith(p, "FM")) m->fillMode = true, p += 2;
  if (*p == '$') m->dollar = true, ++p;
  if (*p == 'S' || *p == 's') m->sign = SignStyle::LeadingS, ++p;
  if (!parseNumberPositions(p, m)) return false;
  if (m->sign == SignStyle::Default) {
    if (startsWith(p, "MI")) {
      m->sign = SignStyle::Minus, p += 2;
    } else if (startsWith(p, "PR")) {
      m->sign = SignStyle::Brackets, p += 2;
    } else if (*p == 'S' || *p == 's') {
      m->sign = SignStyle::TrailingS, ++p;
    }
  }
  return *p == 0;
}

// The text of a number in a model, as Oracle's TO_CHAR writes it: one
// position in front for the sign, blanks for suppressed leading digits,
// the integer part's zero only when nothing else would show, "#" over the
// whole width when the integer part does not fit. Fill mode drops the
// blanks and the fraction's trailing zeros that stand at 9s.
void formatNumber(const OracleNumber &number, const NumberModel &m, Writer &w) {
  if (!number.isInteger && !std::isfinite(number.real)) return w.repeat('#', m.width());   // no such Oracle number
  Decimal d = decimalOf(number);
  roundDecimal(d, m.fractionLength);
  int integerCount = d.count > 0 && d.exponent > 0 ? d.exponent : 0;
  if (integerCount > m.integerDigits) return w.repeat('#', m.width());

  char fraction[NumberModel::kMaxPositions];
  for (int j = 0; j < m.fractionLength; ++j) {
    int at = d.exponent + j;
    fraction[j] = at >= 0 && at < d.count ? d.digits[at] : '0';
  }
  int kept = m.fractionLength;
  if (m.fillMode) {
    int lastZero = -1;
    for (int j = 0; j < m.fractionLength; ++j) {
      if (m.fraction[j] == '0') lastZero = j;
    }
    while (kept > lastZero + 1 && fraction[kept - 1] == '0') --kept;
  }
  bool zeroDigit = integerCount == 0 && kept == 0 && m.integerDigits > 0;
  if (zeroDigit) integerCount = 1;

  // The integer positions right to left; a 0 in the model keeps the zeros
  // to its right.
  const char *firstZero = static_cast<const char *>(std::memchr(m.integer, '0', static_cast<size_t>(m.integerLength)));
  int zeroFrom = firstZero ? static_cast<int>(firstZero - m.integer) : m.integerLength;
  char field[NumberModel::kMaxPositions];
  int next = integerCount - 1;          // the next digit of the integer part, from the right
  for (int i = m.integerLength - 1; i >= 0; --i) {
    bool zeroFill = i >= zeroFrom;
    if (m.integer[i] == ',') {
      field[i] = next >= 0 || zeroFill ? ',' : ' ';
    } else if (next >= 0) {
      field[i] = zeroDigit ? '0' : next < d.count ? d.digits[next] : '0';
      --next;
    } else {
      field[i] = zeroFill ? '0' : ' ';
    }
  }
  int start = 0;
  while (start < m.integerLength && field[start] == ' ') ++start;

  bool negative = d.negative;
  if (!m.fillMode) w.repeat(' ', start);
  switch (m.sign) {
    case SignStyle::Default: if (negative || !m.fillMode) w.put(negative ? '-' : ' '); break;
    case SignStyle::LeadingS: w.put(negative ? '-' : '+'); break;
    case SignStyle::Brackets: if (negative || !m.fillMode) w.put(negative ? '<' : ' '); break;
    case SignStyle::TrailingS: case SignStyle::Minus: break;
  }
  if (m.dollar) w.put('$');
  for (int i = start; i < m.integerLength; ++i) w.put(field[i]);
  if (m.point) w.put('.');
  for (int j = 0; j < kept; ++j) w.put(fraction[j]);
  switch (m.sign) {
    case SignStyle::TrailingS: w.put(negative ? '-' : '+'); break;
    case SignStyle::Minus: if (negative || !m.fillMode) w.put(negative ? '-' : ' '); break;
    case SignStyle::Brackets: if (negative || !m.fillMode) w.put(negative ? '>' : ' '); break;
    case SignStyle::Default: case SignStyle::LeadingS: break;
  }
}

// Read number text written in a model (TO_NUMBER with a format): the
// model's sign, "$", group separators and point where the model has them,
// no more digits than it has positions.
bool readNumber(const char *text, int length, const NumberModel &m, OracleNumber *number) {
  while (length > 0 && text[length - 1] == ' ') --length;
  while (length > 0 && *text == ' ') ++text, --length;
  const char *end = text + length;
  bool negative = false;
  if (m.sign == SignStyle::Brackets && length >= 2 && *text == '<' && end[-1] == '>') {
    negative = true, ++text, --end;
  } else if (m.sign == SignStyle::TrailingS || m.sign == SignStyle::Minus) {
    if (end > text && (end[-1] == '-' || (end[-1] == '+' && m.sign == SignStyle::TrailingS))) {
      negative = end[-1] == '-', --end;
    } else if (m.sign == SignStyle::TrailingS) {
      return false;
    }
  } else if (m.sign != SignStyle::Brackets && text < end && (*text == '-' || *text == '+')) {
    negative = *text == '-', ++text;
  } else if (m.sign == SignStyle::LeadingS) {
    return false;
  }
  if (m.dollar && text < end && *text == '$') ++text;
  char clean[2 * NumberModel::kMaxPositions + 4];
  int n = 0, integerDigits = 0, fractionDigits = 0;
  bool point = false;
  if (negative) clean[n++] = '-';
  for (const char *p = text; p < end; ++p) {
    if (*p >= '0' && *p <= '9') {
      if (point ? ++fractionDigits > m.fractionLength : ++integerDigits > m.integerDigits) return false;
      clean[n++] = *p;
    } else if (*p == '.' && m.point && !point) {
      point = true;
      clean[n++] = '.';
    } else if (!(*p == ',' && !point && std::memchr(m.integer, ',', static_cast<size_t>(m.integerLength)))) {
      return false;
    }
  }
  if (integerDigits + fractionDigits == 0) return false;
  return parseOracleNumber(clean, n, number);
}

// --- TO_DATE ------------------------------------------------------------

// A date read from text in a format: the fields that were given.
struct DateReading {
  int year = -1, month = -1, day = -1, dayOfYear = -1;
  long julian = -1;
  int hour = -1, minute = 0, second = 0, secondsOfDay = -1;
  bool hour12 = false, pm = false;
  int twoDigitYear = -1;                // YY or RR: the century decided later
  bool roundYear = false;               // RR rather than YY
};

// Up to `most` digits at s (blanks before them skipped); -1 when there is
// no digit.
long readDigits(const char *&s, int most) {
  while (*s == ' ') ++s;
  long value = 0;
  int n = 0;
  for (; n < most && *s >= '0' && *s <= '9'; ++n, ++s) value = value * 10 + (*s - '0');
  return n > 0 ? value : -1;
}

// The index of the name at s among names (full, or its first three
// letters), s moved past it; -1 for none.
int readName(const char *&s, const char *const *names, int count) {
  while (*s == ' ') ++s;
  for (int i = 0; i < count; ++i) {
    size_t n = std::strlen(names[i]);
    if (strncasecmp(s, names[i], n) == 0) return s += n, i;
  }
  for (int i = 0; i < count; ++i) {
    if (strncasecmp(s, names[i], 3) == 0) return s += 3, i;
  }
  return -1;
}

// Read one element's field from s; the error's text, or nullptr.
const char *readElement(Element element, const char *&s, DateReading &r) {
  long value = 0;
  auto digits = [&](int most) { return (value = readDigits(s, most)) >= 0; };
  const char *notNumeric = messageText(Msg::SqlNonNumeric);
  switch (element) {
    case Element::FillMode: case Element::Exact: return nullptr;
    case Element::Year4: return digits(4) ? (r.year = static_cast<int>(value), nullptr) : notNumeric;
    case Element::Year3: case Element::Year1: {
      const char *start = s;
      if (!digits(element == Element::Year3 ? 3 : 1)) return notNumeric;
      int places = static_cast<int>(s - start);
      int base = 1;
      for (int i = 0; i < places; ++i) base *= 10;
      r.year = localNow().year / base * base + static_cast<int>(value);
      return nullptr;
    }
    case Element::Year2: {
      const char *start = s;
      if (!digits(4)) return notNumeric;
      if (s - start > 2) {
        r.year = static_cast<int>(value);   // four digits are the year itself
      } else {
        r.twoDigitYear = static_cast<int>(value);
      }
      return nullptr;
    }
    case Element::Month: return digits(2) ? (r.month = static_cast<int>(value), nullptr) : notNumeric;
    case Element::MonthName: case Element::MonthAbbrev: {
      int month = readName(s, kMonths, 12);
      return month < 0 ? messageText(Msg::SqlNotAMonth) : (r.month = month + 1, nullptr);
    }
    case Element::DayName: case Element::DayAbbrev:
      return readName(s, kDays, 7) < 0 ? messageText(Msg::SqlNotAWeekday) : nullptr;
    case Element::Weekday:
      return digits(1) && value >= 1 && value <= 7 ? nullptr : messageText(Msg::SqlWeekdayRange);
    case Element::Day: return digits(2) ? (r.day = static_cast<int>(value), nullptr) : notNumeric;
    case Element::DayOfYear: return digits(3) ? (r.dayOfYear = static_cast<int>(value), nullptr) : notNumeric;
    case Element::Julian: return digits(7) ? (r.julian = value, nullptr) : notNumeric;
    case Element::Hour24: return digits(2) ? (r.hour = static_cast<int>(value), nullptr) : notNumeric;
    case Element::Hour12:
      r.hour12 = true;
      return digits(2) ? (r.hour = static_cast<int>(value), nullptr) : notNumeric;
    case Element::Minute: return digits(2) ? (r.minute = static_cast<int>(value), nullptr) : notNumeric;
    case Element::Second: return digits(2) ? (r.second = static_cast<int>(value), nullptr) : notNumeric;
    case Element::SecondsOfDay: return digits(5) ? (r.secondsOfDay = static_cast<int>(value), nullptr) : notNumeric;
    case Element::Meridian: case Element::MeridianDots: {
      while (*s == ' ') ++s;
      for (const char *word : {"A.M.", "P.M.", "AM", "PM"}) {
        if (startsWith(s, word)) {
          r.pm = *s == 'P' || *s == 'p';
          s += std::strlen(word);
          return nullptr;
        }
      }
      return messageText(Msg::SqlMeridian);
    }
    case Element::Century: case Element::Quarter: case Element::YearWeek: case Element::MonthWeek:
      return messageText(Msg::SqlInputFormatCode);
  }
  return nullptr;
}

// The year of two digits: YY in the current century; RR in the century
// that puts it nearest, as Oracle's RR rule has it.
int centuryYear(int twoDigits, bool round) {
  int now = localNow().year;
  int century = now / 100 * 100;
  if (round) {
    if (now % 100 < 50 && twoDigits >= 50) century -= 100;
    if (now % 100 >= 50 && twoDigits < 50) century += 100;
  }
  return century + twoDigits;
}

// The date of the fields read; the error's text, or nullptr. Oracle's
// defaults: the current year and month, the first day, midnight.
const char *completeDate(const DateReading &r, DateParts *date) {
  DateParts now = localNow();
  DateParts d;
  d.year = r.year >= 0 ? r.year : r.twoDigitYear >= 0 ? centuryYear(r.twoDigitYear, r.roundYear) : now.year;
  d.month = r.month >= 0 ? r.month : now.month;
  d.day = r.day >= 0 ? r.day : 1;
  if (d.year < 1 || d.year > 9999) return messageText(Msg::SqlYearRange);
  if (r.julian >= 0) {
    if (r.julian < 1721424 || r.julian > 5373484) return messageText(Msg::SqlJulianRange);
    d = civilFromDays(r.julian - kJulianOfEpoch);
  } else if (r.dayOfYear >= 0) {
    int days = lastDayOfMonth(d.year, 2) == 29 ? 366 : 365;
    if (r.dayOfYear < 1 || r.dayOfYear > days) return messageText(Msg::SqlDayOfYearRange);
    d = civilFromDays(daysFromCivil(d.year, 1, 1) + r.dayOfYear - 1);
  }
  if (d.month < 1 || d.month > 12) return messageText(Msg::SqlNotAMonth);
  if (d.day < 1 || d.day > lastDayOfMonth(d.year, d.month)) return messageText(Msg::SqlDayOfMonthRange);
  if (r.secondsOfDay >= 0) {
    if (r.secondsOfDay > 86399) return messageText(Msg::SqlSecondsOfDayRange);
    d.hour = r.secondsOfDay / 3600, d.minute = r.secondsOfDay / 60 % 60, d.second = r.secondsOfDay % 60;
  } else {
    if (r.hour12 && (r.hour < 1 || r.hour > 12)) return messageText(Msg::SqlHour12Range);
    d.hour = r.hour < 0 ? 0 : r.hour12 ? r.hour % 12 + (r.pm ? 12 : 0) : r.hour;
    d.minute = r.minute, d.second = r.second;
    if (d.hour > 23) return messageText(Msg::SqlHour24Range);
    if (d.minute > 59) return messageText(Msg::SqlMinuteRange);
    if (d.second > 59) return messageText(Msg::SqlSecondRange);
  }
  *date = d;
  return nullptr;
}

bool isAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Read text in a date format as Oracle does without FX: punctuation of
// the format matches any punctuation or none, numbers may be shorter than
// their element, and the text may end before the format. The error's
// text, or nullptr.
const char *readOracleDate(const char *s, const char *format, DateParts *date) {
  DateReading r;
  for (const char *p = format; *p && *s;) {
    if (*p == '"') {                    // quoted text must be there
      for (++p; *p && *p != '"'; ++p, ++s) {
        if (std::tolower(static_cast<unsigned char>(*p)) != std::tolower(static_cast<unsigned char>(*s))) {
          return messageText(Msg::SqlLiteralMismatch);
        }
      }
      if (*p) ++p;
      continue;
    }
    if (!isAlnum(*p)) {
      ++p;
      if (*s && !isAlnum(*s)) ++s;
      continue;
    }
    Element element;
    int length;
    if (!matchElement(p, &element, &length)) return messageText(Msg::SqlDateFormat);
    if (element == Element::Year2 && (p[0] == 'R' || p[0] == 'r')) r.roundYear = true;
    if (const char *error = readElement(element, s, r)) return error;
    p += length;
  }
  while (*s == ' ') ++s;
  if (*s) return messageText(Msg::SqlPictureEnds);
  return completeDate(r, date);
}

// --- The SQL functions -------------------------------------------------------

// The error of a format that fits no number: one with digit positions
// was meant for a number, any other for a date.
void numberFormatError(sqlite3_context *context, const char *format) {
  if (std::strpbrk(format, "09")) return resultError(context, Msg::SqlNumberModel);
  resultError(context, Msg::SqlNotADate, "to_char");
}

// TO_CHAR of a number with a number format; TM (text minimum) is the
// text without a format.
void numberToChar(sqlite3_context *context, const OracleNumber &number, const char *format) {
  if (strcasecmp(format, "TM") == 0 || strcasecmp(format, "TM9") == 0) {
    char text[64];
    if (number.isInteger) std::snprintf(text, sizeof text, "%lld", static_cast<long long>(number.integer));
    else plainNumberText(number.real, text, sizeof text);
    return sqlite3_result_text(context, text, -1, SQLITE_TRANSIENT);
  }
  NumberModel model;
  if (!parseNumberModel(format, &model)) return numberFormatError(context, format);
  char out[kSqliteToCharSize];
  Writer w{out, sizeof out};
  out[0] = 0;
  formatNumber(number, model, w);
  if (w.overflow) return resultError(context, Msg::SqlResultTooLong, "to_char");
  sqlite3_result_text(context, out, w.length, SQLITE_TRANSIENT);
}

// TO_CHAR(value) without a format: the value's text as Oracle gives it.
void plainToChar(sqlite3_context *context, sqlite3_value *value) {
  char out[64];
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      std::snprintf(out, sizeof out, "%lld", static_cast<long long>(sqlite3_value_int64(value)));
      break;
    case SQLITE_FLOAT:
      plainNumberText(sqlite3_value_double(value), out, sizeof out);
      break;
    default:
      return sqlite3_result_value(context, value);
  }
  sqlite3_result_text(context, out, -1, SQLITE_TRANSIENT);
}

// TO_CHAR(value[, format[, nls]]): a date (ISO text) with a date format, a
// number with a number format, or without a format the value's text.
void toCharFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (anyNullOrEmpty(argc < 3 ? argc : 2, argv)) return sqlite3_result_null(context);
  sqlite3_value *value = argv[0];
  if (argc == 1) return plainToChar(context, value);
  const char *format = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
  int type = sqlite3_value_type(value);
  OracleNumber number;
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    numberArgument(context, value, &number);
    return numberToChar(context, number, format);
  }
  DateParts date;
  const char *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
  if (type == SQLITE_TEXT && parseIsoDate(text, sqlite3_value_bytes(value), false, &date)) {
    char out[kSqliteToCharSize];
    int length = formatOracleDate(date, format, out, sizeof out);
    if (length < 0) return resultError(context, Msg::SqlDateFormat);
    return sqlite3_result_text(context, out, length, SQLITE_TRANSIENT);
  }
  NumberModel model;
  bool textMinimum = strcasecmp(format, "TM") == 0 || strcasecmp(format, "TM9") == 0;
  if (type == SQLITE_TEXT && (textMinimum || parseNumberModel(format, &model))) {
    if (!parseOracleNumber(text, sqlite3_value_bytes(value), &number)) {
      return resultError(context, Msg::SqlInvalidNumber);
    }
    return numberToChar(context, number, format);
  }
  resultError(context, Msg::SqlNotADate, "to_char");
}

// TO_DATE(text[, format[, nls]]): without a format ISO text, or Oracle's
// default DD-MON-RR.
void toDateFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (anyNullOrEmpty(argc < 3 ? argc : 2, argv)) return sqlite3_result_null(context);
  ArgumentText text;
  argumentText(argv[0], &text);
  DateParts date;
  if (argc == 1) {
    if (parseIsoDate(text.text, text.length, false, &date)) return resultDate(context, date);
    if (std::strlen(text.text) == static_cast<size_t>(text.length) && !readOracleDate(text.text, "DD-MON-RR", &date)) {
      return resultDate(context, date);
    }
    return resultError(context, Msg::SqlNotADate, "to_date");
  }
  const char *format = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
  const char *error = std::strlen(text.text) != static_cast<size_t>(text.length)
                          ? messageText(Msg::SqlLiteralMismatch)
                          : readOracleDate(text.text, format, &date);
  if (!error) return resultDate(context, date);
  resultError(context, Msg::SqlToDate, error);
}

// TO_NUMBER(text[, format[, nls]]).
void toNumberFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (anyNullOrEmpty(argc < 3 ? argc : 2, argv)) return sqlite3_result_null(context);
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return sqlite3_result_value(context, argv[0]);
  OracleNumber number;
  const char *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
  int length = sqlite3_value_bytes(argv[0]);
  bool read;
  if (argc == 1) {
    read = parseOracleNumber(text, length, &number);
  } else {
    NumberModel model;
    if (!parseNumberModel(reinterpret_cast<const char *>(sqlite3_value_text(argv[1])), &model)) {
      return resultError(context, Msg::SqlNumberModel);
    }
    read = readNumber(text, length, model, &number);
  }
  if (!read) return resultError(context, Msg::SqlInvalidNumber);
  if (number.isInteger) return sqlite3_result_int64(context, number.integer);
  resultNumber(context, number.real);
}

constexpr OracleFunction kFunctions[] = {
    {"to_char", 1, 3, toCharFunction},
    {"to_date", 1, 3, toDateFunction},
    {"to_number", 1, 3, toNumberFunction},
};

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
      case Element::Exact: break;
      case Element::Year4: w.number(d.year, 4, fillMode); break;
      case Element::Year3: w.number(d.year % 1000, 3, fillMode); break;
      case Element::Year2: w.number(d.year % 100, 2, fillMode); break;
      case Element::Year1: w.number(d.year % 10, 1, fillMode); break;
      case Element::Century: w.number((d.year + 99) / 100, 2, fillMode); break;
      case Element::Quarter: w.number((d.month + 2) / 3, 1, fillMode); break;
      case Element::MonthName: putName(w, kMonths[d.month - 1], 99, nameCase, kNameWidth, fillMode); break;
      case Element::MonthAbbrev: putName(w, kMonths[d.month - 1], 3, nameCase, 3, true); break;
      case Element::Month: w.number(d.month, 2, fillMode); break;
      case Element::DayName: putName(w, kDays[weekdayOf(d)], 99, nameCase, kNameWidth, fillMode); break;
      case Element::DayAbbrev: putName(w, kDays[weekdayOf(d)], 3, nameCase, 3, true); break;
      case Element::DayOfYear: w.number(dayOfYearOf(d), 3, fillMode); break;
      case Element::Day: w.number(d.day, 2, fillMode); break;
      case Element::Weekday: w.number(weekdayOf(d) + 1, 1, fillMode); break;
      case Element::Julian: w.number(daysFromCivil(d.year, d.month, d.day) + kJulianOfEpoch, 7, fillMode); break;
      case Element::YearWeek: w.number((dayOfYearOf(d) - 1) / 7 + 1, 2, fillMode); break;
      case Element::MonthWeek: w.number((d.day - 1) / 7 + 1, 1, fillMode); break;
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

const char *readOracleDateText(const char *text, const char *format, DateParts *date) {
  return readOracleDate(text, format, date);
}

std::span<const OracleFunction> oracleFormatFunctions() { return kFunctions; }
