// Statement records: what the pre-pass decodes from each line (kind, cut
// words, statement, macro slot, record indices of bodies and labels), and
// runs that walk the records by index (jumps, body ends, INTO lines).
#include <gtest/gtest.h>

#include <string>

#include "TestJob.h"

namespace {

int prepass(TestJob &t, const std::string &text) {
  t.job->job.input = fmemopen(const_cast<char *>(text.data()), text.size(), "rb");
  try {
    loadScript(*t.job);
    runPrepass(*t.job);
  } catch (const JobEnd &end) {
    return end.status;
  }
  std::fclose(t.job->job.input);
  t.job->job.input = nullptr;
  return -1;
}

// Run the top level of a loaded script; the exit status, -1 if it goes on.
int runTop(TestJob &t) {
  try {
    runLines(*t.job, 0, 0, kNoEndLine);
  } catch (const JobEnd &end) {
    return end.status;
  }
  return -1;
}

// The cut words of a record, joined by "|".
std::string words(const ScriptLine &line) {
  std::string joined;
  for (int i = 0; i < line.wordsLength; ++i) joined += line.words[i] ? line.words[i] : '|';
  return joined;
}

TEST(Records, EveryLineDecodedOnceWithItsKind) {
  TestJob t;
  ASSERT_EQ(prepass(t,
                    ".rem  a   comment\n"      // 0
                    "\n"                       // 1
                    ".Later x\n"               // 2  a macro defined further down
                    ".define later\n"          // 3
                    "select a from b\n"        // 4
                    "into X, y\n"              // 5
                    "..\n"                     // 6
                    ".&Top more\n"             // 7
                    ".set x  \"a b\"\n"        // 8
                    ".NC\n"                    // 9
                    "Insert into t\n"          // 10
                    ".SETX\n"),                // 11
            -1);
  const ScriptText &s = t.job->script;
  ASSERT_EQ(s.lineCount, 12);
  struct {
    ScriptLineKind kind;
    const char *words;
  } expected[] = {
      {ScriptLineKind::Remark, ".REM|a|comment|"},
      {ScriptLineKind::Blank, ""},
      {ScriptLineKind::MacroCall, ".LATER|x|"},
      {ScriptLineKind::Define, ".DEFINE|later|"},
      {ScriptLineKind::Text, "SELECT|a|from|b|"},
      {ScriptLineKind::Text, "INTO|X,|y|"},
      {ScriptLineKind::EndDefine, "..|"},
      {ScriptLineKind::Label, ".&TOP|more|"},
      {ScriptLineKind::Statement, ".SET|x|\"a|b\"|"},
      {ScriptLineKind::Text, ".NC|"},
      {ScriptLineKind::Text, "INSERT|into|t|"},
      {ScriptLineKind::Text, ".SETX|"},
  };
  for (int i = 0; i < s.lineCount; ++i) {
    EXPECT_EQ(s.lines[i].kind, expected[i].kind) << i;
    EXPECT_EQ(words(s.lines[i]), expected[i].words) << i;
  }
  EXPECT_EQ(s.lines[2].macroSlot, 1);
  EXPECT_EQ(s.lines[8].statement, StatementKind::Set);
  EXPECT_STREQ(kStatements[static_cast<int>(StatementKind::Set)].word, ".SET");
  EXPECT_EQ(s.lines[4].sqlWord, SqlWord::Select);
  EXPECT_EQ(s.lines[10].sqlWord, SqlWord::Other);
  EXPECT_EQ(s.lines[9].sqlWord, SqlWord::None);
  EXPECT_TRUE(s.lines[5].into);
  EXPECT_FALSE(s.lines[10].into);
  // The text as written, case kept; the offset where it stands.
  EXPECT_EQ(std::string(s.lines[8].text, s.lines[8].length), ".set x  \"a b\"");
  EXPECT_EQ(s.lines[2].offset, 19);

  const Macro &later = t.job->macros.slots[1];
  EXPECT_EQ(later.firstLine, 4);
  EXPECT_EQ(later.endLine, 6);
  EXPECT_EQ(later.kind, SqlWord::Select);
  EXPECT_EQ(t.job->labels.entries[0].line, 8);
  EXPECT_EQ(s.lines[3].owner, 0);
  EXPECT_EQ(s.lines[5].owner, 1);
  EXPECT_EQ(s.lines[7].owner, 0);
  EXPECT_EQ(s.nextLine, 0);
}

TEST(Records, BodyEndsAsRecordIndices) {
  TestJob t;
  // An empty body ends where it starts; a stray ".." moves the end of the
  // last macro on; an unclosed body keeps end 0.
  ASSERT_EQ(prepass(t, ".DEFINE E\n\n..\n.DEFINE S\nx\n..\ny\n..\n.DEFINE U\nz\n"), -1);
  const MacroTable &m = t.job->macros;
  EXPECT_EQ(m.slots[1].firstLine, 1);
  EXPECT_EQ(m.slots[1].endLine, 1);
  EXPECT_EQ(m.slots[2].endLine, 7);
  EXPECT_EQ(m.slots[2].end, 31);
  EXPECT_EQ(m.slots[3].endLine, 0);
  EXPECT_EQ(m.slots[2].kind, SqlWord::None);
}

// A backward jump repeats lines; a jump to a label that is the last line of
// a body ends the macro's run; words folded by a handler are folded in the
// tokeniser's copy only, so the next run of the line sees them as written.
TEST(Records, JumpsAndRepeatedLinesRunFromTheRecords) {
  TestJob t;
  t.job->job.runMode = RunMode::RptOnly;
  ASSERT_EQ(prepass(t,
                    ".DEFINE BODY\n"
                    ".ADD N N 1\n"
                    ".SET T abc\n"
                    ".PRINT T\n"
                    ".IFNULL E LAST\n"
                    "not reached\n"
                    ".&last\n"
                    "..\n"
                    ".DECLARE N 99\n"
                    ".DECLARE T A5\n"
                    ".DECLARE E A5\n"
                    ".DECLARE F A5\n"
                    ".SET N 0\n"
                    ".&AGAIN\n"
                    ".BODY\n"
                    ".IFNULL F FIRST\n"
                    ".GOTO END\n"
                    ".&FIRST\n"
                    ".SET F x\n"
                    ".GOTO again\n"
                    ".&END\n"
                    "done\n"),
            -1);
  EXPECT_EQ(runTop(t), -1);
  EXPECT_EQ(t.out(), "abc\nabc\ndone\n");
  EXPECT_EQ(t.job->vars.entries[findVariable(*t.job, "N")].intValue, 2);
}

// INTO continuation lines are the records that follow; a blank one is an
// empty list line.
TEST(Records, IntoContinuationTakesTheNextRecords) {
  TestJob t;
  ASSERT_EQ(t.run(".DECLARE A 9"), -1);
  ASSERT_EQ(prepass(t, "INTO A,\n\nnext\n"), -1);
  t.job->queries.queryDepth = 1;
  t.job->sql.sqlIsQuery = 1;
  EXPECT_EQ(runTop(t), 1);
  EXPECT_EQ(t.err().substr(0, 14), "INTO Invalid\n\n");
}

}  // namespace
