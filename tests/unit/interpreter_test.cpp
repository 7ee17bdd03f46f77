// Script text, words, the pre-pass and the dispatcher's classification.
#include <gtest/gtest.h>

#include "TestJob.h"

namespace {

// Load a script text as the driver would and run the pre-pass.
int prepass(TestJob &t, const std::string &text) {
  t.job->job.input = fmemopen(const_cast<char *>(text.data()), text.size(), "rb");
  try {
    loadScript(*t.job);
    runPrepass(*t.job);
  } catch (const JobEnd &end) {
    return end.status;
  }
  return -1;
}

TEST(CountWords, BlanksTabsAndControlCharacters) {
  struct {
    const char *in;
    int words;
    const char *after;
  } cases[] = {
      {"", 0, ""},
      {"   ", 0, "   "},
      {"a", 1, "a"},
      {" a  b\tc ", 3, " a  b c "},
      {"\x01x\ry", 2, " x y"},
      {"\xc3\xa9t\xc3\xa9 x", 2, "\xc3\xa9t\xc3\xa9 x"},
  };
  for (auto &c : cases) {
    char buffer[64];
    std::strcpy(buffer, c.in);
    EXPECT_EQ(countWords(buffer), c.words) << c.in;
    EXPECT_STREQ(buffer, c.after);
  }
}

TEST(ScanNumbers, LeadingNumberOfAWord) {
  int i = -1;
  EXPECT_TRUE(scanInt("12abc", &i));
  EXPECT_EQ(i, 12);
  EXPECT_TRUE(scanInt("  -7", &i));
  EXPECT_EQ(i, -7);
  EXPECT_FALSE(scanInt("abc", &i));
  EXPECT_FALSE(scanInt("-", &i));
  EXPECT_TRUE(scanInt("99999999999999999999", &i));
  EXPECT_EQ(i, 2147483647);
  EXPECT_TRUE(scanInt("-99999999999", &i));
  EXPECT_EQ(i, -2147483647 - 1);
  double d = 0;
  EXPECT_TRUE(scanReal("2.5x", &d));
  EXPECT_EQ(d, 2.5);
  EXPECT_FALSE(scanReal("x2", &d));
}

TEST(Decoding, CutsTheOperandsOfALineBufferStatement) {
  TestJob t;
  std::strcpy(t.job->line.lineBuffer, "  .set\tX  \"a b\" ");
  const ScriptLine &line = decodeLineBuffer(*t.job, 0);
  EXPECT_EQ(line.statement, StatementKind::Set);
  EXPECT_STREQ(line.words, ".SET");
  ASSERT_EQ(line.argCount, 3);
  EXPECT_STREQ(line.args[0].word, "X");
  EXPECT_STREQ(line.args[1].text, "\"a");
  EXPECT_STREQ(line.args[2].text, "b\"");
  EXPECT_EQ(line.quoteOpen, 10);
  EXPECT_EQ(line.quoteClose, 14);
}

TEST(Prepass, RecordsMacrosAndLabelsWithTheirOffsets) {
  TestJob t;
  const std::string script =
      ".&TOP\n"           // 0..5   label at top level, offset 6
      ".define one x\n"   // 6..19  body starts at 20
      "line\n"            // 20..24
      ".&In more\n"       // 25..34 label owned by slot 1, offset 35
      "\n"                // 35     blank: does not move the end
      "..\n"              // 36..38
      ".DEFINE TWO\n"     // 39..50 start 51
      "..\n";             // 51..53 empty body: end = start
  ASSERT_EQ(prepass(t, script), -1);
  const Job &j = *t.job;
  EXPECT_EQ(j.macros.nextSlot, 3);
  EXPECT_STREQ(j.macros.slots[1].name, "ONE");
  EXPECT_EQ(j.macros.slots[1].start, 20);
  EXPECT_EQ(j.macros.slots[1].end, 35);
  EXPECT_STREQ(j.macros.slots[2].name, "TWO");
  EXPECT_EQ(j.macros.slots[2].start, 51);
  EXPECT_EQ(j.macros.slots[2].end, 51);
  ASSERT_EQ(j.labels.count, 2);
  EXPECT_STREQ(j.labels.entries[0].name, "TOP");
  EXPECT_EQ(j.labels.entries[0].offset, 6);
  EXPECT_EQ(j.labels.entries[0].owner, 0);
  EXPECT_STREQ(j.labels.entries[1].name, "IN");
  EXPECT_EQ(j.labels.entries[1].offset, 35);
  EXPECT_EQ(j.labels.entries[1].owner, 1);
  EXPECT_EQ(j.sql.inDefineBody, 0);
}

TEST(Prepass, UnclosedBodyAndStrayEnd) {
  TestJob t;
  ASSERT_EQ(prepass(t, "..\n.DEFINE A\nx\n.&\n"), -1);
  EXPECT_EQ(t.job->macros.slots[1].end, 0);  // never closed
  EXPECT_EQ(t.job->sql.inDefineBody, 1);
  ASSERT_EQ(t.job->labels.count, 1);
  EXPECT_STREQ(t.job->labels.entries[0].name, "");
  EXPECT_EQ(t.job->labels.entries[0].owner, 1);
}

TEST(Prepass, LastLineWithoutNewlineIsRead) {
  TestJob t;
  ASSERT_EQ(prepass(t, ".DEFINE A\nx\n..\n.&END"), -1);
  ASSERT_EQ(t.job->labels.count, 1);
  EXPECT_STREQ(t.job->labels.entries[0].name, "END");
}

// Only a whole mark at the very start is left out; the limit counts the
// script without it.
TEST(Prepass, ByteOrderMarkAtTheStartOnly) {
  const std::string mark = "\xEF\xBB\xBF";
  struct {
    std::string script, loaded;
  } cases[] = {
      {mark + "x\n", "x\n"},
      {mark, ""},
      {"\xEF\xBBx\n", "\xEF\xBBx\n"},
      {"\xEF", "\xEF\n"},
      {"x" + mark + "\n", "x" + mark + "\n"},
      {mark + mark + "\n", mark + "\n"},
  };
  for (auto &c : cases) {
    TestJob t;
    ASSERT_EQ(prepass(t, c.script), -1);
    EXPECT_EQ(std::string(t.job->script.text, t.job->script.scriptLength), c.loaded);
  }
  std::string fits;
  while (fits.size() < kMaxScriptBytes) {
    fits += std::string(std::min<size_t>(99, kMaxScriptBytes - fits.size() - 1), 'x') + "\n";
  }
  TestJob full;
  EXPECT_EQ(prepass(full, mark + fits), -1);
  EXPECT_EQ(full.job->script.scriptLength, kMaxScriptBytes);
}

TEST(Prepass, Refusals) {
  struct {
    std::string script;
    const char *message;
  } cases[] = {
      {".DEFINE\n", ".DEFINE Invalid\n.DEFINE\n"},
      {".DEFINE A\n.DEFINE B\n", "Nested Define Not Allowed\n.DEFINE B\n"},
      {std::string(901, 'x') + "\n", "line too big\n"},
  };
  for (auto &c : cases) {
    TestJob t;
    EXPECT_EQ(prepass(t, c.script), 1);
    EXPECT_EQ(t.err().substr(0, std::strlen(c.message)), c.message);
  }
  std::string many;
  for (int i = 1; i <= 99; ++i) many += ".DEFINE M" + std::to_string(i) + "\n..\n";
  {
    TestJob t;
    EXPECT_EQ(prepass(t, many), -1);
    EXPECT_EQ(t.job->macros.nextSlot, 100);
  }
  {
    TestJob t;
    EXPECT_EQ(prepass(t, many + ".DEFINE M100\n"), 1);
    EXPECT_EQ(t.err(), ">100 DEFINEs\n.DEFINE M100\nKelvordantix: (null) Job Aborted ...\n");
  }
  std::string labels;
  for (int i = 1; i <= 101; ++i) labels += ".&L" + std::to_string(i) + "\n";
  {
    TestJob t;
    EXPECT_EQ(prepass(t, labels), 1);
    EXPECT_EQ(t.err(), ">100 LABELs\n.&L101\nKelvordantix: (null) Job Aborted ...\n");
  }
}

TEST(Prepass, ScriptSizeLimit) {
  std::string fits;
  while (fits.size() + 100 <= kMaxScriptBytes) fits += std::string(99, 'x') + "\n";
  fits += std::string(kMaxScriptBytes - fits.size() - 1, 'y') + "\n";
  ASSERT_EQ(fits.size(), static_cast<size_t>(kMaxScriptBytes));
  TestJob a;
  EXPECT_EQ(prepass(a, fits), -1);
  EXPECT_EQ(a.job->script.scriptLength, kMaxScriptBytes);
  TestJob b;
  EXPECT_EQ(prepass(b, fits + "z"), 1);
  EXPECT_EQ(b.err().substr(0, 13), "file too big\n");
}

TEST(Prepass, NamePoolsAreRefusedWhenFull) {
  TestJob t;
  std::string script;
  for (int i = 0; i < 40; ++i) script += ".&" + std::string(80, 'A' + i % 26) + std::to_string(i) + "\n";
  EXPECT_EQ(prepass(t, script), 1);
  EXPECT_NE(t.err().find("Label names too long\n"), std::string::npos);
}

TEST(Dispatcher, TextLinesBlankLinesAndCase) {
  TestJob t;
  t.job->job.runMode = RunMode::RptOnly;
  EXPECT_EQ(t.run("  Hello   World "), -1);
  EXPECT_EQ(t.run(" \t "), -1);
  EXPECT_EQ(t.run(".rem nothing"), -1);
  EXPECT_EQ(t.run(".NOSUCH thing"), -1);
  EXPECT_EQ(t.run("SELECT * FROM EMP"), -1);  // top level: text
  EXPECT_EQ(t.run(".database whatever"), -1);
  EXPECT_EQ(t.out(), "  Hello   World \n.NOSUCH thing\nSELECT * FROM EMP\n");
  EXPECT_EQ(t.job->sql.macroLineNo, 5);
}

TEST(Dispatcher, TraceShowsEveryNonBlankLine) {
  TestJob t;
  t.job->job.runMode = RunMode::RptOnly;
  t.job->job.runFlags = kFlagTrace;
  t.run(".REM a");
  t.run("   ");
  t.run("text");
  EXPECT_EQ(t.trace(), ".REM a\ntext\n");
}

TEST(Dispatcher, DefineBodiesArePassedOverAtTheTopLevel) {
  TestJob t;
  t.job->job.runMode = RunMode::RptOnly;
  t.run(".DEFINE X");
  t.run("not output");
  EXPECT_EQ(t.run(".."), -1);
  t.run("output");
  EXPECT_EQ(t.out(), "output\n");
  EXPECT_EQ(t.job->sql.inDefineBody, 0);
}

TEST(Dispatcher, CollectsSqlOnTheFirstLineOfAMacro) {
  TestJob t;
  Job &j = *t.job;
  j.sql.macroRunning = 1;
  t.run("select ENAME");
  t.run(".REM left out");
  t.run("  from EMP  ");
  t.run(".GOTO x");
  EXPECT_EQ(j.sql.sqlCollecting, 1);
  EXPECT_EQ(j.sql.sqlIsQuery, 1);
  EXPECT_EQ(j.queries.queryDepth, 1);
  EXPECT_STREQ(j.sql.sqlBuffer, "select ENAME   from EMP   .GOTO x ");
}

TEST(Dispatcher, TooManyQueriesAndTooLongSql) {
  TestJob t;
  Job &j = *t.job;
  j.sql.macroRunning = 1;
  j.queries.queryDepth = kMaxQueryDepth;
  EXPECT_EQ(t.run("SELECT 1"), 1);
  EXPECT_EQ(t.err(), "No. Dynasets > 100\nSELECT 1\nKelvordantix: (null) Job Aborted ...\n");

  TestJob u;
  u.job->sql.macroRunning = 1;
  u.run("INSERT INTO T");
  std::string line(800, 'v');
  EXPECT_EQ(u.run(line.c_str()), -1);
  EXPECT_EQ(u.run(line.c_str()), -1);
  EXPECT_EQ(u.run(line.c_str()), 1);
  EXPECT_EQ(u.err().substr(0, 23), "SQL statement too long\n");
}

TEST(Dispatcher, LabelLinesAndStopWord) {
  TestJob t;
  t.job->job.runMode = RunMode::RptOnly;
  EXPECT_EQ(t.run(".&HERE"), -1);
  EXPECT_EQ(t.run(".STOPNOW"), -1);  // not .STOP
  EXPECT_EQ(t.out(), ".STOPNOW\n");
  EXPECT_EQ(t.run(".sToP"), 0);
}

}  // namespace
