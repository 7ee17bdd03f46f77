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
// a body ends the macro's run; a handler never folds the record's words in
// place, so the next run of the line sees them as written.
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

// A statement's arguments are decoded with its line: folded words, the
// numbers they read as, the quoted text, and the macros and labels they
// name resolved in the scope of the line's owner.
TEST(Records, StatementOperandsDecodedOnce) {
  TestJob t;
  ASSERT_EQ(prepass(t,
                    ".declare t a12\n"                      // 0
                    ".SET n -12abc\n"                       // 1
                    ".SET T  \"x y\" z\n"                   // 2
                    ".ADD N N 1.5e1\n"                      // 3
                    ".IF \"a = \"b\" then top else In\n"     // 4  the words after the second quote
                    ".ASK \"q\"name\n"                      // 5
                    ".REPORT s nothing\n"                   // 6
                    ".&TOP\n"                               // 7
                    ".DEFINE S\n"                           // 8
                    ".&in\n"                                // 9
                    ".GOTO IN\n"                            // 10
                    ".GOTO TOP\n"                           // 11
                    "..\n"),
            -1);
  const std::vector<ScriptLine> &r = t.job->script.lines;
  ASSERT_EQ(r[0].argCount, 2);
  EXPECT_STREQ(r[0].args[0].word, "T");
  EXPECT_STREQ(r[0].args[0].text, "t");
  EXPECT_EQ(r[0].args[1].integer, 12);                  // the length after the A
  EXPECT_TRUE(r[1].args[1].isInteger);
  EXPECT_EQ(r[1].args[1].integer, -12);
  EXPECT_TRUE(r[1].args[1].isReal);
  EXPECT_STREQ(r[1].args[1].text, "-12abc");            // .SET keeps its value as written
  EXPECT_EQ(r[2].quoteOpen, 8);
  EXPECT_EQ(r[2].quoteClose, 12);
  EXPECT_EQ(r[3].args[2].real, 15.0);
  EXPECT_EQ(r[3].args[2].integer, 1);                   // "%d" stops at the point
  ASSERT_EQ(r[4].argCount, 5);                          // b" THEN TOP ELSE IN
  EXPECT_STREQ(r[4].args[0].word, "B\"");
  ASSERT_EQ(r[5].argCount, 1);
  EXPECT_STREQ(r[5].args[0].word, "NAME");
  EXPECT_EQ(r[6].args[0].reference, 1);                 // macro S
  EXPECT_EQ(r[6].args[1].reference, -1);                // no such macro
  int in = findLabel(*t.job, "IN", 1);
  ASSERT_GE(in, 0);
  EXPECT_EQ(r[10].args[0].reference, in);
  EXPECT_EQ(r[11].args[0].reference, -1);               // TOP is the top level's, not the macro's
  EXPECT_EQ(r[10].owner, 1);
}

// A word that names no variable is read as a number on every run until a
// variable of that name is declared; a variable once found is kept.
TEST(Records, OperandLookupsFollowDeclarationsMadeLater) {
  TestJob t;
  t.job->job.runMode = RunMode::RptOnly;
  ASSERT_EQ(prepass(t,
                    ".DEFINE M\n"
                    ".ADD N N 5\n"
                    ".PRINT N\n"
                    "..\n"
                    ".DECLARE N 9999\n"
                    ".SET N 0\n"
                    ".M\n"
                    ".DECLARE 5 9999\n"
                    ".SET 5 100\n"
                    ".M\n"
                    ".DECLARE N 99\n"                         // a second N: the first stays the one found
                    ".M\n"),
            -1);
  EXPECT_EQ(runTop(t), -1);
  EXPECT_EQ(t.out(), "5\n105\n205\n");
}

// A .PRINT name not declared ends the job after the items before it, with
// the line as written; the same line run before printed from its operands.
TEST(Records, PrintFailsAtTheFirstUnknownName) {
  TestJob t;
  t.job->job.runMode = RunMode::RptOnly;
  ASSERT_EQ(prepass(t,
                    ".DECLARE A A3\n"
                    ".SET A abc\n"
                    ".print a   b\n"),
            -1);
  EXPECT_EQ(runTop(t), 1);
  EXPECT_EQ(t.out(), "abc\n");
  EXPECT_EQ(t.err().substr(0, 33), "Variable name Wrong\n.print a   b\n");
}

}  // namespace
