// Titles, centring and underlining: the centring arithmetic of titles and
// of CEN, underline rows ended by "\r", the order of CUL and UL around a
// pending command, and the limit of 25 underlined fields.
#include <gtest/gtest.h>

#include "FormatterTestJob.h"

namespace {

constexpr const char *kSixty = ".DT 0 1 60 . .T 0";
constexpr const char *kTen = ".DT 0 1 10 . .T 0";

std::string blanks(int n) { return std::string(static_cast<size_t>(n), ' '); }

TEST(FormatterTitles, CentreTitleArithmetic) {
  struct Case {
    int width;
    const char *text;
    std::string expected;
  };
  const Case cases[] = {
      {40, "Sales Report", blanks(14) + "Sales Report" + blanks(14)},
      {40, "Sales", blanks(17) + "Sales" + blanks(18)},
      {10, "abcdefghijkl", "abcdefghij"},
      {5, "abcde", "abcde"},
      {6, "", blanks(6)},
      {1, "x", "x"},
  };
  for (const Case &c : cases) {
    TestJob t;
    t.job->rpf.TitleWidth = c.width;
    char title[kTitleBytes] = {};
    int length = static_cast<int>(std::strlen(c.text));
    std::memcpy(title, c.text, static_cast<size_t>(length));
    centreTitle(*t.job, title, length);
    EXPECT_EQ(std::string(title), c.expected) << c.text;
  }
}

TEST(FormatterTitles, TitleWordsAndTheBar) {
  TestJob t;
  EXPECT_EQ(feedLines(t, {".TTL 20 .N Sales  #x | North | East . tail"}), -1);
  EXPECT_EQ(std::string(t.job->rpf.Title1), "    .N Sales #x     ");
  EXPECT_EQ(std::string(t.job->rpf.Title2), "    North | East    ");
  EXPECT_EQ(t.job->rpf.TitleLines, 2);
  EXPECT_EQ(t.job->rpf.TopLines, 3);
  TestJob u;
  // A title longer than the title store is still cut to its width.
  std::string longTitle = ".TTL 254 " + std::string(300, 'x') + " y";
  EXPECT_EQ(feedLines(u, {longTitle.c_str()}), -1);
  EXPECT_EQ(std::string(u.job->rpf.Title1), std::string(254, 'x'));
}

TEST(FormatterTitles, UnderlinedTitleRow) {
  TestJob t;
  EXPECT_EQ(format(t, {".TTLU 40 Sales .", "x"}),
            blanks(17) + "_____" + blanks(18) + "\r" + blanks(17) + "Sales" + blanks(18) + "\n\nx\n");
}

TEST(FormatterTitles, TitleWidthMessages) {
  for (const char *line : {".TTL 0 a", ".TTL 255 a", ".TTLU x a"}) {
    TestJob t;
    EXPECT_EQ(feedLines(t, {line}), 1);
    EXPECT_EQ(t.err(), aborted(std::string("Illegal width of TTL\n") + line + "\n"));
  }
}

TEST(FormatterTitles, CentreMovesTheLastLine) {
  TestJob t;
  EXPECT_EQ(format(t, {kSixty, ".CEN Annual Report ."}), blanks(23) + "Annual Report\n");
  TestJob u;
  // Text placed before CEN moves with it; marked characters keep their place.
  EXPECT_EQ(format(u, {kTen, "a\\.b .CEN c"}), "  a.b c\n");
  TestJob v;
  // Only the last line is centred; words after a lone "." are set normally.
  EXPECT_EQ(format(v, {kTen, ".CEN aaaa bbbb cc . d"}), "aaaa bbbb\n    cc d\n");
}

TEST(FormatterTitles, CentreRunsItsPendingCommandAndSetsRagged) {
  TestJob t;
  EXPECT_EQ(format(t, {kTen, ".CEN x .N aaaa bbbb cc"}), "    x\naaaa bbbb\ncc\n");
  EXPECT_EQ(t.job->rpf.AlignMode, AlignFill);  // reopened by the final print
  TestJob u;
  feedLines(u, {kTen, ".R .CEN x"});
  EXPECT_EQ(u.job->rpf.AlignMode, AlignRagged);
}

TEST(FormatterTitles, CentredUnderline) {
  TestJob t;
  EXPECT_EQ(format(t, {kSixty, ".CUL Total ."}),
            blanks(27) + "_____" + blanks(28) + "\r" + blanks(27) + "Total\n");
}

TEST(FormatterTitles, UnderlineOfWordsOverTwoLines) {
  TestJob t;
  EXPECT_EQ(format(t, {kTen, ".UL aaaa bbbb cccc ."}), "aaaa bbbb\n____" + blanks(6) + "\rcccc\n");
}

TEST(FormatterTitles, UnderlineBeforeOrAfterThePendingCommand) {
  TestJob t;
  EXPECT_EQ(format(t, {kTen, ".UL a .N"}), "_" + blanks(9) + "\ra\n \n");
  TestJob u;
  EXPECT_EQ(format(u, {kTen, ".CUL a .N"}), "    a\n" + blanks(10) + "\r \n");
}

TEST(FormatterTitles, SeveralFieldsOnOneLine) {
  TestJob t;
  EXPECT_EQ(format(t, {".DT 0 1 5 7 12 . .T 0 .UL ab . .NC .UL c d . .NC"}),
            "__    ___   \rab    c d\n");
}

TEST(FormatterTitles, TwentyFiveUnderlinesALine) {
  TestJob t;
  for (int i = 0; i < 25; ++i) ASSERT_EQ(feedLines(t, {".UL x"}), -1);
  EXPECT_EQ(feedLines(t, {".UL x"}), 1);
  EXPECT_EQ(t.err(), aborted("More than 25 underlined fields in same line!\n"));
}

}  // namespace
