// Oracle's functions on a SQLite connection, one SQL expression at a time.
// Each expected value is worked out by hand from the rule of Oracle's SQL
// Reference named beside it; "(Reference example)" marks the Reference's
// own examples, rewritten with ISO dates.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "database/SqliteDriver.h"

namespace {

class OracleFunctions : public ::testing::Test {
 protected:
  void SetUp() override { open(true); }
  void TearDown() override { sqlite3_close(db_); }

  void open(bool oracle) {
    sqlite3_close(db_);
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    ASSERT_EQ(registerOracleFunctions(db_, oracle), SQLITE_OK);
  }

  // The value of one expression as text: "<null>" for null, "<error> "
  // and the message for a failure.
  std::string eval(const std::string &expression) {
    sqlite3_stmt *stmt = nullptr;
    std::string sql = "select " + expression;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      return std::string("<error> ") + sqlite3_errmsg(db_);
    }
    std::string result;
    if (sqlite3_step(stmt) != SQLITE_ROW) {
      result = std::string("<error> ") + sqlite3_errmsg(db_);
    } else if (sqlite3_column_type(stmt, 0) == SQLITE_NULL) {
      result = "<null>";
    } else {
      result = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return result;
  }

  struct Case {
    const char *expression;
    const char *expected;
  };
  void check(std::initializer_list<Case> cases) {
    for (const Case &c : cases) EXPECT_EQ(eval(c.expression), c.expected) << c.expression;
  }

  sqlite3 *db_ = nullptr;
};

// Number Format Elements: 9 blanks leading zeros and has a leading blank
// for the sign of a positive value; 0 keeps zeros; FM drops the blanks and
// the trailing zeros of 9s; "#" fills the width (with the sign position)
// when the integer part does not fit; G and D are "," and "." in America.
TEST_F(OracleFunctions, ToCharOfNumbers) {
  check({
      {"to_char(-1234.567, '9G999D99')", "-1,234.57"},
      {"to_char(1234, '$9,999')", " $1,234"},
      {"to_char(-5, '$999')", "  -$5"},
      {"to_char(123, '0999')", " 0123"},
      {"to_char(5, '9,990')", "     5"},
      {"to_char(0, '99.99')", "   .00"},        // 9: zero only for the integer part of a fixed-point number
      {"to_char(0, 'FM99.99')", "0."},          // nothing else would show
      {"to_char(1, 'FM9.99')", "1."},
      {"to_char(1.5, 'FM9.90')", "1.50"},       // a 0 keeps its trailing zero in fill mode
      {"to_char(1.5, 'FM990.999')", "1.5"},
      {"to_char(0.5, 'FM0.99')", "0.5"},
      {"to_char(2.675, '9.99')", " 2.68"},      // rounded as the decimal 2.675, half away from zero
      {"to_char(-2.675, '9.99')", "-2.68"},
      {"to_char(-0.001, '9.99')", "  .00"},     // rounded to zero: no sign
      {"to_char(5, '999MI')", "  5 "},          // MI: a trailing blank for a positive value
      {"to_char(-5, '999MI')", "  5-"},
      {"to_char(-5, '999PR')", "  <5>"},        // PR: angle brackets, or a blank on each side
      {"to_char(5, '999PR')", "   5 "},
      {"to_char(5, 'FM999PR')", "5"},
      {"to_char(-5, 'fm999pr')", "<5>"},
      {"to_char(-5, 'S999')", "  -5"},
      {"to_char(5, '999S')", "  5+"},
      {"to_char(1234567, '9,999')", "######"},
      {"to_char(-12345, 'S999')", "####"},
      {"to_char(999.5, '999')", "####"},        // rounding carries into a fourth digit
      {"to_char(123456789012345678, '999999999999999999')", " 123456789012345678"},
      {"to_char('1234.5', '9999.9')", " 1234.5"},
      {"to_char(0.5, 'TM') || '|' || to_char('12.50', 'tm9')", ".5|12.5"},   // TM: the text without a format
      {"to_char('12x', '99')", "<error> invalid number"},
      {"to_char(5, '9X9')", "<error> invalid number format model"},
      {"to_char(5, ',999')", "<error> invalid number format model"},   // a comma cannot begin a model
      {"to_char(5, '9.9,9')", "<error> invalid number format model"},  // nor follow the decimal point
      {"to_char(5, '9.9.9')", "<error> invalid number format model"},
      {"to_char(1e999, '999')", "####"},        // SQLite's infinity is no number Oracle could hold
      {"to_char(5, null)", "<null>"},
  });
}

// Datetime Format Elements: the case of MONTH, MON, DAY, DY and AM
// decides the case of the name; MONTH and DAY are padded to the longest
// name; FM (a toggle) suppresses padding for the elements after it; J is
// the Julian day (2000-01-01 is 2451545), WW weeks from January 1, W from
// the first of the month; quoted text and punctuation are copied.
TEST_F(OracleFunctions, ToCharOfDates) {
  const std::string d = "'2026-12-08 15:04:09'";
  check({
      {("to_char(" + d + ", 'fmDay, DD Month YYYY')").c_str(), "Tuesday, 8 December 2026"},
      {("to_char(" + d + ", 'Day|DY|dy')").c_str(), "Tuesday  |TUE|tue"},
      {("to_char(" + d + ", 'DD FMMonth FMDD')").c_str(), "08 December 08"},
      {("to_char(" + d + ", 'HH12:MI:SS am')").c_str(), "03:04:09 pm"},
      {("to_char(" + d + ", 'YYYY-MM-DD\"T\"HH24:MI')").c_str(), "2026-12-08T15:04"},
      {("to_char(" + d + ", 'J')").c_str(), "2461383"},
      {("to_char(" + d + ", 'DDD WW W Q CC RR YY')").c_str(), "342 49 2 4 21 26 26"},
      {"to_char('0999-01-01', 'YYYY FMYYYY')", "0999 999"},
      {"to_char('2000-01-01', 'J')", "2451545"},
  });
}

// TO_DATE (a date at midnight is given as 'YYYY-MM-DD'): without FX, punctuation matches any punctuation, numbers may
// be shorter than their element; the fields not given default to the
// current year and month, the first day, midnight. RR takes a two-digit
// year into the century nearest the current year (here 2000-2049 for
// years 00-49 and 1950-1999 for 50-99, as long as the current year lies
// before 2050); YY into the current century.
TEST_F(OracleFunctions, ToDate) {
  check({
      {"to_date('17-DEC-1980', 'DD-MON-YYYY')", "1980-12-17"},
      {"to_date('17/12/80', 'DD/MM/RR')", "1980-12-17"},
      {"to_date('17/12/20', 'DD/MM/RR')", "2020-12-17"},
      {"to_date('17.12.1980', 'DD/MM/RR')", "1980-12-17"},   // four digits are the year
      {"to_date('January 15, 1989, 11:00 A.M.', 'Month dd, YYYY, HH:MI A.M.')",   // (Reference example)
       "1989-01-15 11:00:00"},
      {"to_date('15-jan-1989 11:30:05 pm', 'dd-mon-yyyy hh:mi:ss am')", "1989-01-15 23:30:05"},
      {"to_char(to_date('12:00 AM', 'HH:MI AM'), 'HH24:MI')", "00:00"},
      {"to_date('2451545', 'J')", "2000-01-01"},
      {"to_date('1980-366', 'YYYY-DDD')", "1980-12-31"},
      {"to_date(20261208, 'YYYYMMDD')", "2026-12-08"},
      {"to_date('1980-12-17')", "1980-12-17"},
      {"to_date('1980-12-17 10:30')", "1980-12-17 10:30:00"},
      {"to_date('17-DEC-80')", "1980-12-17"},                 // the default format DD-MON-RR
      {"to_date('17-12-1980', 'DD-MM-YYYY') = '1980-12-17'", "1"},       // midnight: the text a DATE column holds
      {"substr(to_date('1980', 'YYYY'), 1, 4) || substr(to_date('1980', 'YYYY'), 8)", "1980-01"},
      {"to_date('31-02-2020', 'DD-MM-YYYY')", "<error> to_date(): day of month must be between 1 and last day of month"},
      {"to_date('13-13-2020', 'DD-MM-YYYY')", "<error> to_date(): not a valid month"},
      {"to_date('17-12-1980 x', 'DD-MM-YYYY')",
       "<error> to_date(): date format picture ends before converting entire input string"},
      {"to_date('25:00', 'HH24:MI')", "<error> to_date(): hour must be between 0 and 23"},
      {"to_date('13:00', 'HH:MI')", "<error> to_date(): hour must be between 1 and 12"},
      {"to_date('xx', 'DD')",
       "<error> to_date(): a non-numeric character was found where a numeric was expected"},
      {"to_date('17-XYZ-1980', 'DD-MON-YYYY')", "<error> to_date(): not a valid month"},
      {"to_date('abc')", "<error> to_date(): value is not a date"},
      {"to_date(null, 'DD')", "<null>"},
  });
}

// TO_NUMBER: without a format any number text; with one, the text as the
// model writes it (its sign, "$", group separators, no more digits).
TEST_F(OracleFunctions, ToNumber) {
  check({
      {"to_number('1,234.50', '9,999.99')", "1234.5"},
      {"to_number('$1,234', '$9,999')", "1234"},
      {"to_number('<12>', '99PR')", "-12"},
      {"to_number('12-', '99MI')", "-12"},
      {"to_number(' -1,234.5 ', '9G999D9')", "-1234.5"},
      {"to_number(' 42 ')", "42"},
      {"to_number('1e3')", "1000"},
      {"to_number('-.5')", "-0.5"},
      {"to_number(7.25)", "7.25"},
      {"to_number('12a')", "<error> invalid number"},
      {"to_number('12345', '999')", "<error> invalid number"},
      {"to_number('1.25', '9.9')", "<error> invalid number"},
      {"to_number(null)", "<null>"},
  });
}

// Oracle stores '' as NULL, so its conversions of an empty text or with an
// empty model are NULL; read as a date, '' must not become the first of the
// current month.
TEST_F(OracleFunctions, ConversionsOfEmptyTextAreNull) {
  check({
      {"to_date('', 'YYYY')", "<null>"},
      {"to_date('')", "<null>"},
      {"to_date('2020', '')", "<null>"},
      {"to_number('')", "<null>"},
      {"to_number('12', '')", "<null>"},
      {"to_char(5, '')", "<null>"},
      {"to_char('', 'YYYY')", "<null>"},
  });
}

// NVL2 chooses by nullness; GREATEST and LEAST are null when any argument
// is, and compare as the first argument's type (text byte by byte).
TEST_F(OracleFunctions, NullFunctionsAndExtremes) {
  check({
      {"nvl2(null, 'a', 'b')", "b"},
      {"nvl2(0, 'a', 'b')", "a"},
      {"greatest(1, 3, 2)", "3"},
      {"greatest(1, null, 3)", "<null>"},
      {"least('b', 'a', 'c')", "a"},
      {"greatest('HARRY', 'HARRIOT', 'HAROLD')", "HARRY"},   // (Reference example)
      {"least(1, '3.3', '2.2')", "1"},
      {"greatest('10', 9)", "9"},                            // text: '9' sorts after '10'
      {"greatest(10, '9')", "10"},
      {"least(1.5, 2)", "1.5"},
      {"greatest(2, 'x')", "<error> invalid number"},
      {"decode('', '', 'empty', 'no')", "empty"},
      {"decode(1, 2)", "<error> wrong number of arguments to function decode()"},
      {"greatest()", "<error> wrong number of arguments to function greatest()"},
  });
}

// ROUND rounds half away from zero, on the decimal value; a negative
// digits argument rounds to the left of the point. MOD is not the
// classical m - n * FLOOR(m/n): it has the sign of m (the Reference's
// table), and is m itself for n = 0; REMAINDER uses the nearest integer
// quotient, the even one at a half.
TEST_F(OracleFunctions, Numbers) {
  check({
      {"round(15.193, 1)", "15.2"},                 // (Reference example)
      {"round(15.193, -1)", "20"},                  // (Reference example)
      {"trunc(15.79, 1)", "15.7"},                  // (Reference example)
      {"trunc(15.79, -1)", "10"},                   // (Reference example)
      {"round(2.675, 2)", "2.68"},
      {"round(-2.5)", "-3"},
      {"typeof(round(2.5))", "integer"},
      {"round(1250, -2) || ' ' || round(-1250, -2) || ' ' || round(1249, -2)", "1300 -1300 1200"},
      {"trunc(-15.79)", "-15"},
      {"round(9.99, 1)", "10"},
      {"round('7.5')", "8"},
      {"round(5, 1.9)", "5"},
      {"mod(11, 4) || ' ' || mod(11, -4) || ' ' || mod(-11, 4) || ' ' || mod(-11, -4)", "3 3 -3 -3"},   // (Reference example)
      {"mod(11, 0)", "11"},
      {"mod(11.5, 4) || ' ' || mod(-7.5, 2)", "3.5 -1.5"},
      {"mod(-9223372036854775807 - 1, -1)", "0"},
      {"remainder(11, 4) || ' ' || remainder(10, 4) || ' ' || remainder(14, 4) || ' ' || remainder(-11, 4)",
       "-1 2 -2 1"},
      {"remainder(5.5, 2)", "-0.5"},
      {"remainder(1, 0)", "<error> divisor is equal to zero"},
      {"sign(-3) || sign(0) || sign(2.5)", "-101"},
      {"ceil(15.2) || ' ' || ceil(-15.7) || ' ' || floor(15.7) || ' ' || floor(-15.2)", "16 -15 15 -16"},
      {"power(3, 2) || ' ' || power(2, -1) || ' ' || sqrt(16)", "9 0.5 4"},
      {"power(-8, 0.5)", "<error> power(): argument is out of range"},
      {"sqrt(-1)", "<error> sqrt(): argument is out of range"},
      {"abs(-15) || ' ' || abs(-2.5)", "15 2.5"},
      {"abs(-9223372036854775807 - 1)", "<error> integer overflow"},
      {"mod('x', 2)", "<error> invalid number"},
      {"mod(null, 2)", "<null>"},
      {"round(null, 2)", "<null>"},
  });
}

// Character functions count characters, not bytes; SUBSTR's position 0
// is 1 and a negative one counts from the end; INSTR with a negative
// position searches backwards; LPAD and RPAD cut or pad to a display
// width (a wide character counts two); what Oracle gives empty is null.
TEST_F(OracleFunctions, Text) {
  check({
      {"substr('ABCDEFG', 3, 4)", "CDEF"},          // (Reference example)
      {"substr('ABCDEFG', -5, 4)", "CDEF"},         // (Reference example)
      {"substr('ABCDEFG', 0, 2)", "AB"},
      {"substr('ABC', 5)", "<null>"},
      {"substr('ABC', 2, 0)", "<null>"},
      {"substr('ABC', -4)", "<null>"},
      {"substr('Grüße', 3, 2) || '|' || substr('Grüße', -2)", "üß|ße"},
      {"substr(0.5, 1, 1)", "."},                   // a number converts as TO_CHAR does
      {"instr('CORPORATE FLOOR', 'OR', 3, 2)", "14"},   // (Reference example)
      {"instr('CORPORATE FLOOR', 'OR', -3, 2)", "2"},   // (Reference example)
      {"instr('CORPORATE FLOOR', 'OR')", "2"},
      {"instr('aaa', 'aa', 1, 2)", "2"},
      {"instr('abc', 'x') || instr('abc', 'b', 0) || instr('abc', 'c', -1)", "003"},
      {"instr('Grüße', 'ß')", "4"},
      {"instr('abc', 'b', 1, 0)", "<error> instr(): argument is out of range"},
      {"instr('abc', 'b', -9223372036854775807 - 1)", "0"},
      {"lpad('Page 1', 15, '*.')", "*.*.*.*.*Page 1"},  // (Reference example)
      {"rpad('MORRISON', 12, 'ab')", "MORRISONabab"},   // (Reference example)
      {"lpad('abc', 2) || '|' || lpad('abc', 5) || '|' || rpad('abc', 4) || '|'", "ab|  abc|abc |"},
      {"rpad('abc', 0)", "<null>"},
      {"lpad('日本', 5, '*') || '|' || rpad('日本語', 5) || '|'", "*日本|日本 |"},
      {"initcap('the soap')", "The Soap"},              // (Reference example)
      {"initcap('hELLO wORLD-foo_bar 2nd')", "Hello World-Foo_Bar 2nd"},
      {"initcap('élan ÉTÉ')", "Élan Été"},
      {"upper('Grüße, élan') || lower('ÉTÉ')", "GRÜßE, ÉLANété"},   // ß has no one-letter capital: kept
      {"ltrim('<=====>BROWNING<=====>', '<>=')", "BROWNING<=====>"},    // (Reference example)
      {"rtrim('BROWNING: ./=./=./=./=./=.=', '/=.')", "BROWNING: "},    // (Reference example)
      {"ltrim('  x ') || '|' || rtrim(' x  ') || '|' || trim('  x  ') || '|'", "x | x|x|"},
      {"trim('xxaxx', 'x') || ltrim('ééaé', 'é')", "aaé"},
      {"ltrim('xxx', 'x')", "<null>"},
      {"replace('JACK and JUE', 'J', 'BL')", "BLACK and BLUE"},          // (Reference example)
      {"replace('abcabc', 'b') || '|' || replace('abc', null) || '|' || replace('abc', 'b', null)", "acac|abc|ac"},
      {"replace('aaa', 'a')", "<null>"},
      {"translate('SQL*Plus User''s Guide', ' */''', '___')", "SQL_Plus_Users_Guide"},   // (Reference example)
      {"translate('2KRW229', '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ', '9999999999XXXXXXXXXXXXXXXXXXXXXXXXXX')",
       "9XXX999"},                                                                     // (Reference example)
      {"translate('grüße', 'üß', 'us')", "gruse"},
      {"length(null) || '|' || length('')", "<null>"},
      {"length('Grüße') || ' ' || length(0.5) || ' ' || length(123)", "5 2 3"},
      {"chr(67) || chr(65) || chr(84)", "CAT"},    // (Reference example)
      {"chr(50089) || ascii('é') || ' ' || ascii('Q')", "é50089 81"},
      {"concat('CON', 'CAT') || concat('a', null) || concat(null, 'b')", "CONCATab"},
      {"concat(null, null)", "<null>"},
  });
}

// ADD_MONTHS gives the last day of the new month for the last day of a
// month or a day the new month lacks; MONTHS_BETWEEN is whole for the
// same day or two last days, else the rest in 31-day months with the
// time of day; ROUND rounds a month up from the 16th, a quarter from the
// 16th of its second month, a year from July 1.
TEST_F(OracleFunctions, Dates) {
  check({
      {"add_months('2026-01-31', 1)", "2026-02-28"},
      {"add_months('2024-01-31', 1)", "2024-02-29"},
      {"add_months('2026-02-28 10:30:00', 1)", "2026-03-31 10:30:00"},
      {"add_months('2026-03-15', -3)", "2025-12-15"},
      {"add_months('9999-12-01', 1)", "<error> year must be between 1 and 9999"},
      {"add_months('abc', 1)", "<error> add_months(): value is not a date"},
      {"add_months(null, 1)", "<null>"},
      {"months_between('1995-02-02', '1995-01-01')", "1.03225806451613"},   // (Reference example)
      {"months_between('2026-03-31', '2026-02-28')", "1"},
      {"months_between('2026-01-15', '2026-03-15')", "-2"},
      {"months_between('2026-01-02 12:00:00', '2026-01-01')", "0.0483870967741935"},
      {"last_day('2024-02-10 08:00:00')", "2024-02-29 08:00:00"},
      {"next_day('2026-12-08', 'TUESDAY')", "2026-12-15"},
      {"next_day('2026-12-08 10:00:00', 'fri')", "2026-12-11 10:00:00"},
      {"next_day('2026-12-08', 'xyz')", "<error> not a valid day of the week"},
      {"trunc('2026-12-08 15:04:09')", "2026-12-08"},
      {"trunc('2026-12-08 15:04:09', 'MM') || trunc('2026-12-08', 'MON')", "2026-12-012026-12-01"},
      {"trunc('2026-12-08', 'YYYY') || ' ' || trunc('2026-12-08', 'Q')", "2026-01-01 2026-10-01"},
      {"trunc('2026-12-08 15:34:09', 'HH') || ' ' || trunc('2026-12-08', 'D')", "2026-12-08 15:00:00 2026-12-06"},
      {"round('2026-12-08 15:04:09')", "2026-12-09"},
      {"round('2026-12-16', 'MM') || ' ' || round('2026-12-15 23:59:59', 'MM')", "2027-01-01 2026-12-01"},
      {"round('2026-07-01', 'YYYY') || ' ' || round('2026-06-30 23:00:00', 'YEAR')", "2027-01-01 2026-01-01"},
      {"round('2026-11-16', 'Q') || ' ' || round('2026-11-15', 'Q')", "2027-01-01 2026-10-01"},
      {"round('2000-10-27', 'YEAR')", "2001-01-01"},   // (Reference example)
      {"trunc('1992-10-27', 'YEAR')", "1992-01-01"},   // (Reference example)
      {"trunc('2026-12-08', 'XX')", "<error> date format not recognized"},
      {"trunc('abc', 'MM')", "<error> trunc(): value is not a date"},
  });
}

// SYSDATE as a function is DUAL's SYSDATE: the local date and time.
TEST_F(OracleFunctions, SysdateIsTheLocalTime) {
  std::string now, sysdate;
  for (int attempt = 0; attempt < 3 && (now.empty() || now != sysdate); ++attempt) {   // a second may turn between
    now = eval("datetime('now', 'localtime')");
    sysdate = eval("sysdate()");
  }
  EXPECT_EQ(sysdate, now);
}

// Without Oracle compatibility SQLite keeps its own functions of the same
// names; the Oracle-only ones are there either way.
TEST_F(OracleFunctions, NativeSqlKeepsSqlitesOwnFunctions) {
  open(false);
  check({
      {"substr('ABC', 0, 2)", "A"},                 // SQLite's position 0
      {"typeof(round(2.5))", "real"},
      {"length('')", "0"},
      {"nvl2(1, 'a', 'b') || to_char(5, '099')", "a 005"},
  });
}

}  // namespace
