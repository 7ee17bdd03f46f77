// Oracle's date functions on SQLite: SYSDATE, ADD_MONTHS, MONTHS_BETWEEN,
// LAST_DAY, NEXT_DAY, and ROUND and TRUNC of a date, over the driver's ISO
// date text; and the calendar arithmetic the format models share.
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "database/OracleFunctions.h"

long daysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  long era = (year >= 0 ? year : year - 399) / 400;
  long yoe = year - era * 400;
  long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

DateParts civilFromDays(long days) {
  days += 719468;
  long era = (days >= 0 ? days : days - 146096) / 146097;
  long doe = days - era * 146097;
  long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long mp = (5 * doy + 2) / 153;
  DateParts d;
  d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  d.year = static_cast<int>(yoe + era * 400 + (d.month <= 2));
  return d;
}

int lastDayOfMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

int weekdayOf(const DateParts &d) {
  long days = daysFromCivil(d.year, d.month, d.day);
  return static_cast<int>(((days % 7) + 11) % 7);
}

int dayOfYearOf(const DateParts &d) {
  return static_cast<int>(daysFromCivil(d.year, d.month, d.day) - daysFromCivil(d.year, 1, 1)) + 1;
}

DateParts localNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  DateParts d;
  d.year = local.tm_year + 1900;
  d.month = local.tm_mon + 1;
  d.day = local.tm_mday;
  d.hour = local.tm_hour;
  d.minute = local.tm_min;
  d.second = local.tm_sec < 60 ? local.tm_sec : 59;   // a leap second is no ISO time
  return d;
}

bool isDateValue(sqlite3_value *value) {
  if (sqlite3_value_type(value) != SQLITE_TEXT) return false;
  DateParts date;
  return parseIsoDate(reinterpret_cast<const char *>(sqlite3_value_text(value)), sqlite3_value_bytes(value), false,
                      &date);
}

bool dateArgument(sqlite3_context *context, sqlite3_value *value, const char *name, DateParts *date) {
  if (sqlite3_value_type(value) == SQLITE_TEXT &&
      parseIsoDate(reinterpret_cast<const char *>(sqlite3_value_text(value)), sqlite3_value_bytes(value), false,
                   date)) {
    return true;
  }
  resultError(context, Msg::SqlNotADate, name);
  return false;
}

namespace {

// A date as ISO text, the time left out at midnight unless always is set.
void resultIsoDate(sqlite3_context *context, const DateParts &d, bool always) {
  if (d.year < 1 || d.year > 9999) return resultError(context, Msg::SqlYearRange);
  char text[24];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute,
                d.second);
  bool midnight = d.hour == 0 && d.minute == 0 && d.second == 0;
  sqlite3_result_text(context, text, midnight && !always ? 10 : 19, SQLITE_TRANSIENT);
}

}  // namespace

void resultDate(sqlite3_context *context, const DateParts &d) { resultIsoDate(context, d, false); }

namespace {

// A date from its day number and the seconds into that day.
DateParts dateAt(long days, long seconds) {
  days += seconds / 86400;
  seconds %= 86400;
  DateParts d = civilFromDays(days);
  d.hour = static_cast<int>(seconds / 3600);
  d.minute = static_cast<int>(seconds / 60 % 60);
  d.second = static_cast<int>(seconds % 60);
  return d;
}

long secondsOfDay(const DateParts &d) { return d.hour * 3600L + d.minute * 60L + d.second; }

// The unit of a ROUND or TRUNC date format.
enum class DateUnit { Century, Year, Quarter, Month, YearWeek, IsoWeek, MonthWeek, Week, Day, Hour, Minute };

bool dateUnitOf(const char *format, DateUnit *unit) {
  static const struct {
    const char *spelling;
    DateUnit unit;
  } kUnits[] = {
      {"CC", DateUnit::Century},   {"SCC", DateUnit::Century}, {"SYYYY", DateUnit::Year},  {"YYYY", DateUnit::Year},
      {"YEAR", DateUnit::Year},    {"SYEAR", DateUnit::Year},  {"YYY", DateUnit::Year},    {"YY", DateUnit::Year},
      {"Y", DateUnit::Year},       {"RRRR", DateUnit::Year},   {"RR", DateUnit::Year},     {"Q", DateUnit::Quarter},
      {"MONTH", DateUnit::Month},  {"MON", DateUnit::Month},   {"MM", DateUnit::Month},    {"RM", DateUnit::Month},
      {"WW", DateUnit::YearWeek},  {"IW", DateUnit::IsoWeek},  {"W", DateUnit::MonthWeek}, {"DAY", DateUnit::Week},
      {"DY", DateUnit::Week},      {"D", DateUnit::Week},      {"DDD", DateUnit::Day},     {"DD", DateUnit::Day},
      {"J", DateUnit::Day},        {"HH", DateUnit::Hour},     {"HH12", DateUnit::Hour},   {"HH24", DateUnit::Hour},
      {"MI", DateUnit::Minute},
  };
  while (*format == ' ') ++format;
  size_t length = std::strlen(format);
  while (length > 0 && format[length - 1] == ' ') --length;
  for (const auto &entry : kUnits) {
    if (std::strlen(entry.spelling) == length && strncasecmp(format, entry.spelling, length) == 0) {
      *unit = entry.unit;
      return true;
    }
  }
  return false;
}

// The first day of a period of whole days (a week, a month...) that holds
// the date, and the day the next one starts; round takes the nearer.
DateParts roundToDays(const DateParts &d, long first, long next, bool round) {
  long day = daysFromCivil(d.year, d.month, d.day);
  long elapsed = (day - first) * 86400 + secondsOfDay(d);
  long length = (next - first) * 86400;
  return dateAt(round && 2 * elapsed >= length ? next : first, 0);
}

// Months since year 0 of a date's month.
long monthIndex(int year, int month) { return year * 12L + month - 1; }
long dayOfMonthIndex(long index) { return daysFromCivil(static_cast<int>(index / 12), static_cast<int>(index % 12) + 1, 1); }

// A period of whole months (a month, a quarter, a year, a century) that
// starts at month `first`: truncated to its start, or rounded up from
// the month and day Oracle names (the 16th; July 1 of a year).
DateParts roundToMonths(const DateParts &d, long first, int months, long upFromMonth, int upFromDay, bool round) {
  long index = monthIndex(d.year, d.month);
  bool up = round && (index > upFromMonth || (index == upFromMonth && d.day >= upFromDay));
  return dateAt(dayOfMonthIndex(up ? first + months : first), 0);
}

DateParts roundDateTo(const DateParts &d, DateUnit unit, bool round) {
  long day = daysFromCivil(d.year, d.month, d.day);
  long seconds = secondsOfDay(d);
  long quarter = monthIndex(d.year, d.month) - (d.month - 1) % 3;
  long january = monthIndex(d.year, 1);
  int centuryStart = (d.year - 1) / 100 * 100 + 1;
  switch (unit) {
    case DateUnit::Century:
      return roundToMonths(d, monthIndex(centuryStart, 1), 1200, monthIndex(centuryStart + 50, 1), 1, round);
    case DateUnit::Year: return roundToMonths(d, january, 12, january + 6, 1, round);
    case DateUnit::Quarter: return roundToMonths(d, quarter, 3, quarter + 1, 16, round);
    case DateUnit::Month: {
      long month = monthIndex(d.year, d.month);
      return roundToMonths(d, month, 1, month, 16, round);
    }
    case DateUnit::YearWeek: {
      long first = day - (day - daysFromCivil(d.year, 1, 1)) % 7;
      return roundToDays(d, first, first + 7, round);
    }
    case DateUnit::IsoWeek: {
      long first = day - (weekdayOf(d) + 6) % 7;
      return roundToDays(d, first, first + 7, round);
    }
    case DateUnit::MonthWeek: {
      long first = day - (d.day - 1) % 7;
      return roundToDays(d, first, first + 7, round);
    }
    case DateUnit::Week: {
      long first = day - weekdayOf(d);
      return roundToDays(d, first, first + 7, round);
    }
    case DateUnit::Day: return roundToDays(d, day, day + 1, round);
    case DateUnit::Hour: return dateAt(day, (seconds / 3600 + (round && seconds % 3600 >= 1800)) * 3600);
    case DateUnit::Minute: return dateAt(day, (seconds / 60 + (round && seconds % 60 >= 30)) * 60);
  }
  return d;
}

// SYSDATE(): the local date and time, as DUAL's SYSDATE gives it (with
// the time even at midnight).
void sysdateFunction(sqlite3_context *context, int, sqlite3_value **) { resultIsoDate(context, localNow(), true); }

// ADD_MONTHS(date, n): the same day n months on; the last day of a month,
// or a day the new month does not have, gives the new month's last day.
void addMonthsFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  DateParts d;
  std::int64_t months;
  if (!dateArgument(context, argv[0], "add_months", &d) || !integerArgument(context, argv[1], &months)) return;
  if (months > 120000 || months < -120000) return resultError(context, Msg::SqlYearRange);
  long index = monthIndex(d.year, d.month) + static_cast<long>(months);
  DateParts result = d;
  result.year = static_cast<int>(index / 12);
  result.month = static_cast<int>(index % 12) + 1;
  if (index < 12) return resultError(context, Msg::SqlYearRange);
  int last = lastDayOfMonth(result.year, result.month);
  if (d.day == lastDayOfMonth(d.year, d.month) || d.day > last) result.day = last;
  resultDate(context, result);
}

// MONTHS_BETWEEN(d1, d2): whole months when the days of the month are the
// same or both the last; otherwise the rest in 31-day months, the time of
// day included.
void monthsBetweenFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  DateParts a, b;
  if (!dateArgument(context, argv[0], "months_between", &a) || !dateArgument(context, argv[1], "months_between", &b)) {
    return;
  }
  long months = monthIndex(a.year, a.month) - monthIndex(b.year, b.month);
  bool bothLast = a.day == lastDayOfMonth(a.year, a.month) && b.day == lastDayOfMonth(b.year, b.month);
  if (a.day == b.day || bothLast) return sqlite3_result_int64(context, months);
  double days = (a.day - b.day) + (secondsOfDay(a) - secondsOfDay(b)) / 86400.0;
  resultNumber(context, static_cast<double>(months) + days / 31.0);
}

// LAST_DAY(date): the last day of its month, the time kept.
void lastDayFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(context);
  DateParts d;
  if (!dateArgument(context, argv[0], "last_day", &d)) return;
  d.day = lastDayOfMonth(d.year, d.month);
  resultDate(context, d);
}

// The weekday (0 = Sunday) a name gives: the abbreviation at least, what
// follows it ignored, in any case; -1 for none.
int weekdayNamed(const char *name) {
  static const char *const kDays[] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};
  while (*name == ' ') ++name;
  for (int i = 0; i < 7; ++i) {
    if (strncasecmp(name, kDays[i], 3) == 0) return i;
  }
  return -1;
}

// NEXT_DAY(date, day): the first later date that is that day of the week.
void nextDayFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  DateParts d;
  if (!dateArgument(context, argv[0], "next_day", &d)) return;
  int target = weekdayNamed(reinterpret_cast<const char *>(sqlite3_value_text(argv[1])));
  if (target < 0) return resultError(context, Msg::SqlNotAWeekday);
  int ahead = (target - weekdayOf(d) + 7) % 7;
  DateParts result = dateAt(daysFromCivil(d.year, d.month, d.day) + (ahead == 0 ? 7 : ahead), secondsOfDay(d));
  resultDate(context, result);
}

constexpr OracleFunction kFunctions[] = {
    {"sysdate", 0, 0, sysdateFunction, false, false},
    {"add_months", 2, 2, addMonthsFunction},
    {"months_between", 2, 2, monthsBetweenFunction},
    {"last_day", 1, 1, lastDayFunction},
    {"next_day", 2, 2, nextDayFunction},
};

}  // namespace

void roundDate(sqlite3_context *context, int argc, sqlite3_value **argv, bool round) {
  DateParts d;
  if (!dateArgument(context, argv[0], round ? "round" : "trunc", &d)) return;
  DateUnit unit = DateUnit::Day;
  if (argc == 2 && !dateUnitOf(reinterpret_cast<const char *>(sqlite3_value_text(argv[1])), &unit)) {
    return resultError(context, Msg::SqlDateFormat);
  }
  resultDate(context, roundDateTo(d, unit, round));
}

std::span<const OracleFunction> oracleDateFunctions() { return kFunctions; }
