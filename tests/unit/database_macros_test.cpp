// Macro execution without a server: substitution of variables into SQL
// (quotes, nulls, numbers, the buffer bound), the drivers' literal forms,
// the INTO list bookkeeping, the nesting state that runMacro sets and puts
// back, and the date re-edit.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "TestJob.h"

namespace {

// Load a script and run the pre-pass, as the driver does before the run.
void loadText(TestJob &t, const std::string &text) {
  t.job->job.input = fmemopen(const_cast<char *>(text.data()), text.size(), "rb");
  loadScript(*t.job);
  runPrepass(*t.job);
  std::fclose(t.job->job.input);
  t.job->job.input = nullptr;
  t.job->script.cursor = 0;
}

// Substitute into a statement; the result, or the status of a refused job.
std::string substitute(TestJob &t, const std::string &sql, int *status = nullptr) {
  std::snprintf(t.job->sql.sqlBuffer, kSqlBufferSize, "%s", sql.c_str());
  try {
    substituteVariables(*t.job);
  } catch (const JobEnd &end) {
    if (status) *status = end.status;
    return "<aborted>";
  }
  return t.job->sql.sqlBuffer;
}

TEST(Substitute, EveryKindOfValue) {
  TestJob t;
  ASSERT_EQ(t.run(".DECLARE NAME A20"), -1);
  ASSERT_EQ(t.run(".DECLARE N 999"), -1);
  ASSERT_EQ(t.run(".DECLARE R 99.99"), -1);
  ASSERT_EQ(t.run(".DECLARE GONE A5"), -1);
  ASSERT_EQ(t.run(".DECLARE A#_$1 9"), -1);
  ASSERT_EQ(t.run(".SET NAME \"O'Brien's\""), -1);
  ASSERT_EQ(t.run(".SET N -42"), -1);
  ASSERT_EQ(t.run(".SET R 2.5"), -1);
  ASSERT_EQ(t.run(".SET A#_$1 7"), -1);

  EXPECT_EQ(substitute(t, "WHERE x = &name "), "WHERE x =  'O''Brien''s'  ");
  EXPECT_EQ(substitute(t, "VALUES (&N,&r,&Gone)"), "VALUES ( -42 , 2.5 , NULL )");
  EXPECT_EQ(substitute(t, "&a#_$1.x"), " 7 .x");
  EXPECT_EQ(substitute(t, "no references"), "no references");
  EXPECT_EQ(substitute(t, "'a&N'"), "'a -42 '");
}

TEST(Substitute, UnknownAndEmptyNamesShowTheStatementSoFar) {
  TestJob t;
  ASSERT_EQ(t.run(".DECLARE N 9"), -1);
  int status = 0;
  EXPECT_EQ(substitute(t, "SELECT &N, &NOSUCH FROM dual", &status), "<aborted>");
  EXPECT_EQ(status, 1);
  EXPECT_NE(t.err().find("Variable name Wrong\nSELECT  NULL ,  \n"), std::string::npos);

  TestJob u;
  EXPECT_EQ(substitute(u, "x = & 1", &status), "<aborted>");
  EXPECT_NE(u.err().find("Variable name Wrong\nx =  \n"), std::string::npos);
}

TEST(Substitute, FillsTheBufferExactlyAndRefusesOneMore) {
  TestJob t;
  ASSERT_EQ(t.run(".DECLARE V A200"), -1);
  std::string value(150, 'v');
  ASSERT_EQ(t.run((".SET V \"" + value + "\"").c_str()), -1);
  // " 'v...v' " is 154 characters: the whole value, past any work area.
  std::string head(kSqlBufferSize - 1 - 154, 'h');
  std::string result = substitute(t, head + "&V");
  EXPECT_EQ(result.size(), static_cast<size_t>(kSqlBufferSize - 1));
  EXPECT_EQ(result, head + " '" + value + "' ");

  int status = 0;
  EXPECT_EQ(substitute(t, head + "h&V", &status), "<aborted>");
  EXPECT_EQ(status, 1);
  EXPECT_NE(t.err().find("SQL statement too long\n"), std::string::npos);
}

TEST(Substitute, QuotesDoubledCountAgainstTheBound) {
  TestJob t;
  ASSERT_EQ(t.run(".DECLARE Q A900"), -1);
  std::string quotes(880, '\'');
  std::strcpy(t.job->vars.entries[t.job->vars.count - 1].textValue, quotes.c_str());
  t.job->vars.entries[t.job->vars.count - 1].isNull = 0;
  int status = 0;
  EXPECT_EQ(substitute(t, "&Q &Q", &status), "<aborted>");
  EXPECT_EQ(status, 1);
}

TEST(Substitute, TracePrintsTheFinishedStatement) {
  TestJob t;
  t.job->job.runFlags = kFlagTrace;
  ASSERT_EQ(t.run(".DECLARE N 9"), -1);
  ASSERT_EQ(t.run(".SET N 3"), -1);
  t.trace();
  std::string before = t.trace();
  substitute(t, "n = &N");
  EXPECT_EQ(t.trace().substr(before.size()), "n =  3 \n");
}

// How a server reads a quoted literal at the start of text: with backslash
// escapes or without. Returns the value, and in used the bytes read (0 when
// the literal never ends).
std::string readLiteral(const std::string &text, bool backslashEscapes, size_t *used) {
  size_t i = 0;
  if (text[0] == 'E') {
    backslashEscapes = true;
    i = 1;
  }
  std::string value;
  *used = 0;
  if (text[i] != '\'') return value;
  for (++i; i < text.size(); ++i) {
    if (backslashEscapes && text[i] == '\\' && i + 1 < text.size()) {
      value += text[++i];
    } else if (text[i] == '\'' && i + 1 < text.size() && text[i + 1] == '\'') {
      value += text[++i];
    } else if (text[i] == '\'') {
      *used = i + 1;
      return value;
    } else {
      value += text[i];
    }
  }
  return value;
}

std::string literal(const char *value, LiteralForm form) {
  std::string out;
  appendLiteral(out, value, form);
  return out;
}

TEST(Literal, ShapesOfEachForm) {
  EXPECT_EQ(literal("O'Brien", LiteralForm::Standard), "'O''Brien'");
  EXPECT_EQ(literal("a\\b", LiteralForm::Standard), "'a\\b'");
  EXPECT_EQ(literal("O'Brien", LiteralForm::PostgresEscape), "'O''Brien'");
  EXPECT_EQ(literal("\\');DROP", LiteralForm::PostgresEscape), "E'\\\\'');DROP'");
  EXPECT_EQ(literal("\\'OR", LiteralForm::BackslashEscape), "'\\\\''OR'");
  EXPECT_EQ(literal("", LiteralForm::PostgresEscape), "''");
}

// Every value over a small hostile alphabet is read back whole as one
// literal, under each reading its server may apply: PostgreSQL with
// standard_conforming_strings on and off; MySQL in its default mode
// exactly, and with NO_BACKSLASH_ESCAPES still as one literal.
TEST(Literal, EveryReadingGivesOneLiteral) {
  const char alphabet[] = {'a', '\'', '\\', ';', 'E'};
  for (int code = 0; code < 5 * 5 * 5 * 5 * 5; ++code) {
    std::string value;
    for (int c = code, n = 0; n < 5; ++n, c /= 5) value += alphabet[c % 5];
    const std::string tail = " ;DROP";
    size_t used = 0;
    std::string text = literal(value.c_str(), LiteralForm::Standard) + tail;
    EXPECT_EQ(readLiteral(text, false, &used), value);
    EXPECT_EQ(text.substr(used), tail);
    for (bool escapes : {false, true}) {
      text = literal(value.c_str(), LiteralForm::PostgresEscape) + tail;
      EXPECT_EQ(readLiteral(text, escapes, &used), value) << text;
      EXPECT_EQ(text.substr(used), tail) << text;
      text = literal(value.c_str(), LiteralForm::BackslashEscape) + tail;
      std::string read = readLiteral(text, escapes, &used);
      if (escapes) {
        EXPECT_EQ(read, value) << text;
      }
      EXPECT_EQ(text.substr(used), tail) << text;
    }
  }
}

// A command macro leaves the SQL state as a new run finds it and puts
// macroRunning back; the top level then passes over a later .DEFINE body.
TEST(RunMacro, PutsMacroRunningBackAndCountsDepth) {
  TestJob t;
  loadText(t,
           ".DEFINE OUTER\n"
           ".INNER\n"
           "outer\n"
           "..\n"
           ".DEFINE INNER\n"
           "inner\n"
           "..\n");
  t.job->job.runMode = RunMode::RptOnly;
  t.job->sql.inDefineBody = 0;
  t.job->script.cursor = 42;
  int slot = findMacro(*t.job, "OUTER");
  ASSERT_EQ(slot, 1);
  callMacro(*t.job, slot);
  EXPECT_EQ(t.job->script.cursor, 42);
  EXPECT_EQ(t.job->sql.macroRunning, 0);
  EXPECT_EQ(t.job->sql.macroDepth, 0);
  EXPECT_EQ(t.out(), "inner\nouter\n");
}

TEST(RunMacro, SelfCallIsRefusedAtTheDepthLimit) {
  TestJob t;
  loadText(t,
           ".DEFINE LOOP\n"
           ".LOOP\n"
           "..\n");
  t.job->sql.inDefineBody = 0;
  std::strcpy(t.job->line.lineBuffer, ".LOOP");
  try {
    callMacro(*t.job, 1);
    FAIL() << "no refusal";
  } catch (const JobEnd &end) {
    EXPECT_EQ(end.status, 1);
  }
  EXPECT_EQ(t.job->sql.macroDepth, kMaxMacroDepth);
  EXPECT_NE(t.err().find("Macro nesting too deep\n.LOOP\n"), std::string::npos);
}

// INTO lines record variable indexes per level; a list ending in a comma
// goes on with the next script line.
TEST(ParseInto, ContinuationLinesAndASecondList) {
  TestJob t;
  ASSERT_EQ(t.run(".DECLARE A 9"), -1);
  ASSERT_EQ(t.run(".DECLARE B 9"), -1);
  ASSERT_EQ(t.run(".DECLARE C 9"), -1);
  loadText(t, "  b ,  \nc\nnext\n");
  QueryStack &q = t.job->queries;
  q.queryDepth = 1;
  q.intoCount[1] = 0;
  q.cumInto = 0;

  std::strcpy(t.job->line.lineBuffer, "INTO a,");
  parseInto(*t.job);
  EXPECT_EQ(q.intoCount[1], 3);
  EXPECT_EQ(q.cumInto, 3);
  EXPECT_EQ(q.intoList[0], 0);
  EXPECT_EQ(q.intoList[1], 1);
  EXPECT_EQ(q.intoList[2], 2);
  EXPECT_STREQ(t.job->line.lineBuffer, "c");

  // The second list replaces the first and gives its entries back.
  std::strcpy(t.job->line.lineBuffer, "INTO C");
  parseInto(*t.job);
  EXPECT_EQ(q.intoCount[1], 1);
  EXPECT_EQ(q.cumInto, 1);
  EXPECT_EQ(q.intoStart[1], 0);
  EXPECT_EQ(q.intoList[0], 2);
}

TEST(ParseInto, RefusesMoreThanTheListHolds) {
  TestJob t;
  ASSERT_EQ(t.run(".DECLARE A 9"), -1);
  QueryStack &q = t.job->queries;
  q.queryDepth = 2;
  q.cumInto = kIntoListSize - 1;
  std::strcpy(t.job->line.lineBuffer, "INTO A A");
  try {
    parseInto(*t.job);
    FAIL() << "no refusal";
  } catch (const JobEnd &end) {
    EXPECT_EQ(end.status, 1);
  }
  EXPECT_EQ(q.cumInto, kIntoListSize);
  EXPECT_NE(t.err().find(">500 INTO variables\nINTO A A\n"), std::string::npos);
}

TEST(ReeditDate, DayBeforeMonthWithTwoDigits) {
  struct {
    const char *in;
    const char *out;                    // nullptr: not a date
  } cases[] = {
      {"3/7/99 10:00:00", "07/03/99"},
      {"12/31/1999", "31/12/1999"},
      {"12/17/1980 00:00:00", "17/12/1980"},
      {"1/2/3/4", "02/01/03"},
      {"007/0012/02024", "12/07/2024"},             // leading zeros
      {"123456789/1234567890/1", "1234567890/123456789/01"},  // nine and ten digits
      {"99999999999/1/1", "01/2147483647/01"},      // beyond int: clamped
      {"+3/-4/5", "-04/03/05"},
      {" 1/2/3", nullptr},             // cut at its first blank: empty
      {"12/31", nullptr},
      {"a/b/c", nullptr},
      {"1/2/ 3", nullptr},
      {"", nullptr},
      {"tomorrow", nullptr},
  };
  for (auto &c : cases) {
    char out[kDateTextSize] = "unchanged";
    bool ok = reeditDate(c.in, out);
    if (c.out) {
      EXPECT_TRUE(ok) << c.in;
      EXPECT_STREQ(out, c.out) << c.in;
    } else {
      EXPECT_FALSE(ok) << c.in;
    }
  }
  std::string tooLong(200, '1');
  char out[kDateTextSize];
  EXPECT_FALSE(reeditDate(tooLong.c_str(), out));
}

}  // namespace

// The date re-edit writes what "%.2d/%.2d/%.2d" writes, signs and widths
// included.
TEST(ReeditDate, NumbersAsPrintfWritesThem) {
  const int values[] = {0, 1, 9, 10, 99, 100, 12345, -1, -9, -10, -123, INT_MAX, INT_MIN};
  for (int a : values) {
    for (int b : values) {
      std::string text = std::to_string(a) + "/" + std::to_string(b) + "/" + std::to_string(a);
      char out[kDateTextSize], expected[kDateTextSize];
      ASSERT_TRUE(reeditDate(text.c_str(), out)) << text;
      std::snprintf(expected, sizeof expected, "%.2d/%.2d/%.2d", b, a, a);
      EXPECT_STREQ(out, expected) << text;
    }
  }
}
