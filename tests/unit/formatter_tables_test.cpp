// Tables and columns: DT and its messages, side-by-side columns, nested
// tables with their Base, flexi last columns, the two layout errors with
// the state dump, and the bounds this formatter adds (redefinition, the
// column store, T -1, TE at the page, fields past position 255).
#include <gtest/gtest.h>

#include "FormatterTestJob.h"

namespace {

// ".DT n" with `pairs` columns (2k-1, 2k) and the terminator.
std::string tableOf(int number, int pairs) {
  std::string line = ".DT " + std::to_string(number);
  for (int k = 1; k <= pairs; ++k) line += " " + std::to_string(2 * k - 1) + " " + std::to_string(2 * k);
  return line + " .";
}

TEST(FormatterTables, DefinitionMessages) {
  struct Case {
    const char *line;
    const char *message;
  };
  const Case cases[] = {
      {".DT 1 5 10 10 20 .", "spn not > prvepn \n"},
      {".DT 1 1 0 5 10 .", "Only last epn can be zero flexi\n"},
      {".DT 1 .", "no columns defined\n"},
      {".DT 30 1 10 .", "Illegal Table Number\n"},
      {".DT -1 1 10 .", "Illegal Table Number\n"},
      {".DT x 1 10 .", "Illegal Table Number\n"},
      {".DT 2 1 10", "Command not closed in 1 line\n"},
      {".DT 2 1 10 12 .", "Illegal epn\n"},
      {".DT 2 x 10 .", "Illegal spn\n"},
      {".DT 2 5 4 .", "epn < spn \n"},
      {".DT 2 5 256 .", "epn > 255 \n"},
      {".DT 2 256 0 .", "spn > 255 \n"},
      {".DT 2 0 5 .", "spn not > prvepn \n"},
      {".DT 0 1 5 . .DT 0 1 5 .", "Table already defined\n"},
      {".T 5", "This table not defined\n"},
      {".T -1", "Illegal Table Number\n"},
      {".T 30", "Illegal Table Number\n"},
      {".T", "Command not closed in 1 line\n"},
  };
  for (const Case &c : cases) {
    TestJob t;
    EXPECT_EQ(feedLines(t, {c.line}), 1) << c.line;
    EXPECT_EQ(t.err(), aborted(std::string(c.message) + c.line + "\n")) << c.line;
  }
}

TEST(FormatterTables, ColumnCountLimits) {
  TestJob t;
  std::string most = tableOf(0, 99);
  EXPECT_EQ(feedLines(t, {most.c_str()}), -1);
  EXPECT_EQ(t.job->rpf.tables[1].NoCol, 99);
  TestJob u;
  std::string over = tableOf(0, 100);
  EXPECT_EQ(feedLines(u, {over.c_str()}), 1);
  EXPECT_EQ(u.err(), aborted(">100 columns defined\n" + over + "\n"));
}

TEST(FormatterTables, ColumnStoreIsBounded) {
  TestJob t;
  // 29 tables of 50 columns take 1,450 slots; the 45th column of the next
  // table would be slot 1,496.
  for (int n = 0; n < 29; ++n) {
    std::string line = tableOf(n, 50);
    ASSERT_EQ(feedLines(t, {line.c_str()}), -1);
  }
  std::string last = tableOf(29, 50);
  EXPECT_EQ(feedLines(t, {last.c_str()}), 1);
  EXPECT_EQ(t.err(), aborted(">1494 columns defined in all\n" + last + "\n"));
  EXPECT_EQ(t.job->rpf.NextSlot, kColumnSlots - 1);
}

TEST(FormatterTables, ColumnsPrintSideBySide) {
  TestJob t;
  EXPECT_EQ(format(t, {".DT 0 1 20 25 60 . .T 0",
                       "aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeeeeeee .NC",
                       "ffffffffffffffffffff ggggggggggggggg hhhhhhhhhhhhhhhhhhhh .NC"}),
            "aaaaaaaaa bbbbbbbbb     ffffffffffffffffffff ggggggggggggggg\n"
            "ccccccccc ddddddddd     hhhhhhhhhhhhhhhhhhhh\n"
            "eeeeeeeee\n");
}

TEST(FormatterTables, NestedTableCountsFromItsColumnAndReturns) {
  TestJob t;
  EXPECT_EQ(format(t, {".DT 0 1 10 12 30 . .DT 1 1 5 7 10 .", ".T 0 x .NC .T 1 p .NC q .TE y"}),
            "x          p     q\n           y\n");
  EXPECT_EQ(t.job->rpf.tables[2].Base, 12);
  EXPECT_EQ(t.job->rpf.CurTno, 1);
  EXPECT_EQ(t.job->rpf.CurCol, 1);
}

TEST(FormatterTables, EnteringATakenAreaPrintsFirst) {
  TestJob t;
  EXPECT_EQ(format(t, {".DT 0 1 10 . .DT 1 20 30 .", "abc .T 0 x", ".TE"}), "abc\nx\n");
  TestJob u;
  // Text outside the new table's first column stays on the same line.
  EXPECT_EQ(format(u, {".DT 1 20 30 .", "abc .T 1 x", ".TE"}), "abc                x\n");
}

TEST(FormatterTables, FlexiColumnTakesTheOwnerColumnsWidth) {
  TestJob t;
  auto &rpf = t.job->rpf;
  EXPECT_EQ(feedLines(t, {".DT 0 1 20 21 0 . .T 0 .NC"}), -1);
  EXPECT_EQ(rpf.StrPos, 21);
  EXPECT_EQ(rpf.EndPos, 255);
  TestJob u;
  EXPECT_EQ(feedLines(u, {".DT 1 1 40 41 100 . .DT 0 1 20 21 0 .", ".T 1 .NC .T 0 .NC"}), -1);
  EXPECT_EQ(u.job->rpf.StrPos, 61);
  EXPECT_EQ(u.job->rpf.EndPos, 100);
  EXPECT_EQ(u.job->rpf.Width, 40);
}

TEST(FormatterTables, FlexiPromotionFailureDumpsTheState) {
  TestJob t;
  EXPECT_EQ(feedLines(t, {".DT 1 5 14 . .DT 0 1 5 20 0 .", "ab .T 1 .T 0 .NC"}), 1);
  EXPECT_EQ(t.err(), aborted("Flexi field promotion fail\n"));
  EXPECT_EQ(t.out(),
            "CurTno=0 CurCol=2 StrPos=24 EndPos=9 Width=5 NowPos=5 Word=.NC\n"
            "NoCol=1 PnPos=0 OwnTno=0 OwnCol=0 Base=1 Flexi=0\n"
            "Spn=1  Epn=255\n"
            "NoCol=2 PnPos=2 OwnTno=2 OwnCol=1 Base=5 Flexi=1\n"
            "Spn=1  Epn=5\n"
            "Spn=20  Epn=10\n"
            "NoCol=1 PnPos=1 OwnTno=0 OwnCol=1 Base=1 Flexi=0\n"
            "Spn=5  Epn=14\n"
            "ab" + std::string(253, ' ') + "\n");
}

TEST(FormatterTables, FieldPastPosition255) {
  TestJob t;
  // Cut at 255: the nested table's column 200-250 becomes 249-255 ...
  EXPECT_EQ(feedLines(t, {".DT 0 50 255 . .DT 1 200 250 .", ".T 0 .T 1"}), -1);
  EXPECT_EQ(t.job->rpf.StrPos, 249);
  EXPECT_EQ(t.job->rpf.EndPos, 255);
  // ... and one that starts past 255 is the layout error.
  TestJob u;
  EXPECT_EQ(feedLines(u, {".DT 0 250 255 . .DT 1 10 20 .", ".T 0 .T 1"}), 1);
  EXPECT_EQ(u.err(), aborted("Serious error endpos strpos\n"));
  std::string first = "CurTno=1 CurCol=1 StrPos=259 EndPos=255 Width=6 NowPos=250 Word=1\nNoCol";
  EXPECT_EQ(u.out().substr(0, first.size()), first);
}

TEST(FormatterTables, TableEndAtThePageOnlyPrints) {
  TestJob t;
  EXPECT_EQ(format(t, {"a .TE b .NC c"}), "a\nb\nc\n");
  EXPECT_EQ(t.job->rpf.CurTno, 0);
  EXPECT_EQ(t.job->rpf.CurCol, 1);
}

}  // namespace
