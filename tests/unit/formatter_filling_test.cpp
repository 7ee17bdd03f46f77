// RPF intake and word filling: escape marks, command words, the widening
// arithmetic of AlignFill, right alignment, N, CS, P, I, the over-wide word
// warning and the 100-line limit.
#include <gtest/gtest.h>

#include <algorithm>

#include "FormatterTestJob.h"

namespace {

TEST(FormatterIntake, EmptyAndBlankLinesWriteNothing) {
  TestJob t;
  EXPECT_EQ(format(t, {"", "   \t  ", "\x01\x02"}), "");
  EXPECT_EQ(t.job->rpf.pagesBegun, 0);
}

TEST(FormatterIntake, CommandWordsAreCaseBlindAndUnknownOnesAreText) {
  TestJob t;
  EXPECT_EQ(format(t, {"one .n two #N three", ".Xyz . #", "#12 .dt1"}),
            "one\ntwo\nthree .Xyz . # #12 .dt1\n");
}

TEST(FormatterIntake, EscapesMarkCharacters) {
  TestJob t;
  // A marked blank joins words, a marked dot is text, two backslashes give
  // one, a backslash at the end of the line is dropped.
  EXPECT_EQ(format(t, {"a\\ b \\.B c\\\\d e\\"}), "a b .B c\\d e\n");
  EXPECT_EQ(t.job->rpf.rpfLine, std::string("a b .B c\\d e"));
}

TEST(FormatterIntake, HighBytesPrintUnchanged) {
  TestJob t;
  EXPECT_EQ(format(t, {"caf\xc3\xa9 \xff"}), "caf\xc3\xa9 \xff\n");
}

TEST(FormatterIntake, LineMayBeTheDriversOwnBuffer) {
  TestJob t;
  std::strcpy(t.job->sql.rpfLine, "a\\ b .N c");
  feedRpfLine(*t.job, t.job->sql.rpfLine);
  flushRpf(*t.job);
  EXPECT_EQ(t.out(), "a b\nc\n");
}

// A line prepared once acts as its text would, every time it is fed; a
// script's text lines are prepared once and never served for another line.
TEST(FormatterIntake, PreparedLinesActAsTheirText) {
  const char *line = "a\\ b .N \\.B x\\\\y .Xyz";
  TestJob t;
  std::string fed = format(t, {line, line});
  TestJob u;
  RpfPreparedLine prepared;
  ASSERT_TRUE(prepareRpfLine(line, prepared));
  feedPreparedRpfLine(*u.job, prepared);
  feedPreparedRpfLine(*u.job, prepared);
  flushRpf(*u.job);
  EXPECT_EQ(u.out(), fed);
  EXPECT_EQ(fed, "a b\n.B x\\y .Xyz a b\n.B x\\y .Xyz\n");
  EXPECT_FALSE(prepareRpfLine(std::string(2000, 'x').c_str(), prepared));

  TestJob v;
  v.job->job.runMode = RunMode::Combined;
  for (const char *text : {"one .N", "one .N", "two"})
    ASSERT_EQ(v.run(text), -1);         // one script offset, two lines
  flushRpf(*v.job);
  EXPECT_EQ(v.out(), "one\none\ntwo\n");
}

TEST(FormatterIntake, RefusedCommandsAndLongLines) {
  TestJob t;
  EXPECT_EQ(feedLines(t, {"text .PAUSE more"}), 1);
  EXPECT_EQ(t.err(), "Unsupported RPF command\n.PAUSEKelvordantix: (null) Job Aborted ...\n");

  TestJob u;
  std::string line(2000, 'x');
  EXPECT_EQ(feedLines(u, {line.c_str()}), 1);
  EXPECT_EQ(u.err(), aborted("RPF line too long\n" + line + "\n"));

  TestJob v;
  std::string longest(1999, 'x');
  EXPECT_EQ(feedLines(v, {longest.c_str()}), -1);
}

TEST(FormatterIntake, MissingArgumentEchoesTheMarkedLine) {
  TestJob t;
  EXPECT_EQ(feedLines(t, {"x\\ y .TTL"}), 1);
  EXPECT_EQ(t.err(), aborted("Command not closed in 1 line\nx y .TTL\n"));
}

TEST(FormatterIntake, NumbersReadAsPercentD) {
  TestJob t;
  auto &rpf = t.job->rpf;
  auto value = [&](const char *word) {
    static const char kNoMarks[16] = {};
    rpf.Word = word;
    rpf.WordLength = static_cast<int>(std::strlen(word));
    rpf.WordMark = kNoMarks;
    int n = -12345;
    return readWordNumber(*t.job, n) ? n : -12345;
  };
  EXPECT_EQ(value("12mm"), 12);
  EXPECT_EQ(value("+7"), 7);
  EXPECT_EQ(value("-3x"), -3);
  EXPECT_EQ(value("99999999999"), 2147483647);
  EXPECT_EQ(value("-99999999999"), -2147483647 - 1);
  EXPECT_EQ(value("x1"), -12345);
  EXPECT_EQ(value("-"), -12345);
}

TEST(FormatterFilling, BrokenLineIsWidenedWhenSpareIsBelowGaps) {
  TestJob t;
  // Spare 1, gaps 3: the first blank is doubled and the line ends at 20.
  EXPECT_EQ(format(t, {kNarrow, "aaaa bbbb cccc dddd ee"}), "aaaa  bbbb cccc dddd\nee\n");
  TestJob u;
  // Spare 13, one gap: stays as placed.
  EXPECT_EQ(format(u, {kNarrow, "aaa bbb ccccccccccccccc"}), "aaa bbb\nccccccccccccccc\n");
  TestJob v;
  // Spare 2, gaps 5: two blanks inserted, after the first two gaps.
  EXPECT_EQ(format(v, {kNarrow, "aa bb cc dd ee fff gg"}), "aa  bb  cc dd ee fff\ngg\n");
}

TEST(FormatterFilling, MarkedBlanksDoNotSeparateWords) {
  TestJob t;
  // "aa\ bb\ cc" is one word: four words, three gaps, spare 3: no widening
  // (counted as six words it would be widened).
  EXPECT_EQ(format(t, {kNarrow, "aa\\ bb\\ cc dd ee ff zzzz"}), "aa bb cc dd ee ff\nzzzz\n");
}

TEST(FormatterFilling, NWidensButLeavingTheFieldDoesNot) {
  TestJob t;
  EXPECT_EQ(format(t, {kNarrow, "aaaa bbbb cccc dddd .N x"}), "aaaa  bbbb cccc dddd\nx\n");
  TestJob u;
  EXPECT_EQ(format(u, {kNarrow, "aaaa bbbb cccc dddd .B x"}), "aaaa bbbb cccc dddd\n\nx\n");
  TestJob v;
  EXPECT_EQ(format(v, {kNarrow, "aaaa bbbb cccc dddd .NC x"}), "aaaa bbbb cccc dddd\nx\n");
}

TEST(FormatterFilling, RightAlignmentLastsUntilTheNextColumn) {
  TestJob t;
  EXPECT_EQ(format(t, {".DT 0 1 20 22 30 . .T 0", ".R x yy .RR .N zzz .FR .NC a .NC b"}),
            "                x yy a\n"
            "                 zzz\n"
            "b\n");
}

TEST(FormatterFilling, RaggedLinesStayAsPlaced) {
  TestJob t;
  EXPECT_EQ(format(t, {kNarrow, ".RR aaaa bbbb cccc dddd ee"}), "aaaa bbbb cccc dddd\nee\n");
}

TEST(FormatterFilling, OverWideWordIsCutWithAWarning) {
  TestJob t;
  std::string word(300, 'w');
  EXPECT_EQ(format(t, {word.c_str()}), std::string(255, 'w') + "\n");
  EXPECT_EQ(t.err(), "Table=-1 Col=1 Width=255 exceeded: 300 " + word + "\n");
  TestJob u;
  EXPECT_EQ(format(u, {kNarrow, "abcdefghijklmnopqrstuvwxyz"}), "abcdefghijklmnopqrst\n");
  EXPECT_EQ(u.err(), "Table=0 Col=1 Width=20 exceeded: 26 abcdefghijklmnopqrstuvwxyz\n");
}

TEST(FormatterFilling, NewLinesAndColumnSkips) {
  TestJob t;
  EXPECT_EQ(format(t, {".N .N a .N .N b"}), "a\nb\n");
  TestJob u;
  EXPECT_EQ(format(u, {"a .CS 3 b"}), "a\n \n \nb\n");
  TestJob v;
  // From an unused line, CS 2 gives one blank line.
  EXPECT_EQ(format(v, {".CS 2 b"}), " \nb\n");
  TestJob w;
  EXPECT_EQ(feedLines(w, {".CS 67"}), 1);
  EXPECT_EQ(w.err(), aborted("Invalid Col Skip Number\n.CS 67\n"));
  TestJob x;
  EXPECT_EQ(feedLines(x, {".CS x"}), 1);
  EXPECT_EQ(x.err(), aborted("Illegal Column skips\n.CS x\n"));
}

TEST(FormatterFilling, ParagraphIndentsItsFirstLine) {
  TestJob t;
  EXPECT_EQ(format(t, {kNarrow, "x .P aaaa bbbb cccc dddd"}), "x\n     aaaa  bbbb cccc\ndddd\n");
  TestJob u;
  EXPECT_EQ(format(u, {".DT 0 1 5 . .T 0", "ab .P cd"}), "ab\ncd\n");
}

TEST(FormatterFilling, IndentAddsUpAndIsChecked) {
  TestJob t;
  EXPECT_EQ(format(t, {kNarrow, "a .I 2 b .I 3 c"}), "a\n  b\n     c\n");
  TestJob u;
  EXPECT_EQ(feedLines(u, {".DT 0 1 10 . .T 0", ".I 10"}), 1);
  EXPECT_EQ(u.err(), aborted("Invalid indent\n.I 10\n"));
  TestJob v;
  EXPECT_EQ(feedLines(v, {".DT 0 1 10 . .T 0", ".I 9 x"}), -1);
  // Past the field's end: refused at the second I, not at the next word.
  TestJob w;
  EXPECT_EQ(feedLines(w, {".DT 0 1 10 . .T 0", ".I 5 .I 5"}), 1);
  EXPECT_EQ(w.err(), aborted("Invalid indent\n.I 5 .I 5\n"));
  TestJob x;
  EXPECT_EQ(feedLines(x, {".I q"}), 1);
  EXPECT_EQ(x.err(), aborted("Illegal indent\n.I q\n"));
}

TEST(FormatterFilling, HundredLineLimit) {
  TestJob t;
  for (int i = 0; i < 99; ++i) ASSERT_EQ(feedLines(t, {"x .N"}), -1);
  EXPECT_EQ(feedLines(t, {"x .N"}), 1);
  EXPECT_EQ(t.err(), aborted("RPF 100 line limit exceeeded\n"));
  EXPECT_EQ(t.out(), "");
}

}  // namespace
