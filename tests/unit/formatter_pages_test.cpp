// Page logic: 66-line pages, header rows with page numbers and titles, fill
// lines and form feeds, the P switch range, B, S, NP, SP, PAGE, SPN and the
// count of pages begun.
#include <gtest/gtest.h>

#include "FormatterTestJob.h"

namespace {

// Lines "w1" .. "wN", each printed by NC at the page.
std::string bodyLines(TestJob &t, int first, int last) {
  std::string expected;
  for (int i = first; i <= last; ++i) {
    std::string line = "w" + std::to_string(i) + " .NC";
    EXPECT_EQ(feedLines(t, {line.c_str()}), -1);
    expected += "w" + std::to_string(i) + "\n";
  }
  return expected;
}

std::string newlines(int n) { return std::string(static_cast<size_t>(n), '\n'); }

TEST(FormatterPages, DefaultPagesFollowEachOther) {
  TestJob t;
  std::string expected = bodyLines(t, 1, 150);
  flushRpf(*t.job);
  EXPECT_EQ(t.out(), expected);
  EXPECT_EQ(pageCount(*t.job), 3);
}

TEST(FormatterPages, HeaderBodyAndFillLines) {
  TestJob t;
  feedLines(t, {".PAGE 3 60"});
  std::string first = bodyLines(t, 1, 57);
  std::string second = bodyLines(t, 58, 60);
  flushRpf(*t.job);
  EXPECT_EQ(t.out(), newlines(3) + first + newlines(6) + newlines(3) + second);
  EXPECT_EQ(pageCount(*t.job), 2);
}

TEST(FormatterPages, FormFeedReplacesFillLines) {
  TestJob t;
  t.job->job.formFeedAtPageEnd = 1;
  feedLines(t, {".PAGE 3 60"});
  std::string first = bodyLines(t, 1, 57);
  std::string second = bodyLines(t, 58, 58);
  flushRpf(*t.job);
  // The last page is left open at the end: no form feed after it.
  EXPECT_EQ(t.out(), newlines(3) + first + "\f" + newlines(3) + second);
}

TEST(FormatterPages, PageNumbersFromStart) {
  TestJob t;
  feedLines(t, {".SPN 0 70 0 5"});
  EXPECT_EQ(t.job->rpf.TopLines, 2);
  std::string first = bodyLines(t, 1, 64);
  std::string second = bodyLines(t, 65, 65);
  flushRpf(*t.job);
  char number[80];
  std::snprintf(number, sizeof number, "%72d\n\n", 5);
  std::string expected = number + first;
  std::snprintf(number, sizeof number, "%72d\n\n", 6);
  EXPECT_EQ(t.out(), expected + number + second);
  EXPECT_EQ(pageCount(*t.job), 2);
  EXPECT_EQ(t.job->rpf.PageNo, 6);
}

TEST(FormatterPages, HeaderRowsWithNumberAndTwoTitles) {
  TestJob t;
  EXPECT_EQ(format(t, {".SPN 0 8 0 1 .", ".TTL 12 Sales | North", "x"}),
            "         1\n\n   Sales    \n   North    \n\nx\n");
  EXPECT_EQ(t.job->rpf.TopLines, 5);
  TestJob u;
  EXPECT_EQ(format(u, {".TTL 9 Sales .", "x"}), "  Sales  \n\nx\n");
  // PAGE after SPN keeps only the rows it allows.
  TestJob v;
  EXPECT_EQ(format(v, {".SPN 0 3 0 7", ".TTL 5 T", ".PAGE 1 60", "x"}), "    7\nx\n");
}

TEST(FormatterPages, SwitchRangeWritesOnlyItsPages) {
  TestJob t;
  t.job->job.firstPage = 2;
  t.job->job.lastPage = 3;
  t.job->job.pageRangeGiven = true;
  t.job->job.formFeedFirst = 1;
  t.job->job.formFeedAtPageEnd = 1;
  feedLines(t, {".PAGE 1 4"});
  bodyLines(t, 1, 3);
  std::string second = bodyLines(t, 4, 6);
  std::string third = bodyLines(t, 7, 9);
  bodyLines(t, 10, 12);
  flushRpf(*t.job);
  EXPECT_EQ(t.out(), "\f\n" + second + "\f\n" + third + "\f");
  EXPECT_EQ(pageCount(*t.job), 4);
  EXPECT_EQ(t.job->job.formFeedFirst, 0);
}

TEST(FormatterPages, SpacingSkipsAndBlankLines) {
  TestJob t;
  EXPECT_EQ(format(t, {".SP 2 a .NC b"}), "a\n\nb\n\n");
  TestJob u;
  EXPECT_EQ(format(u, {"a .S 2 b", "c .S 0 d"}), "a\n\n\nb c\nd\n");
  TestJob v;
  // Inside a column other than 1, S breaks lines in the field.
  EXPECT_EQ(format(v, {".DT 0 1 10 12 20 . .T 0 x .NC y .S 2 z"}),
            "x          y\n \n           z\n");
  TestJob w;
  EXPECT_EQ(format(w, {".B"}), "\n");
  EXPECT_EQ(pageCount(*w.job), 1);
  TestJob x;
  // A line of blanks is written as one blank.
  EXPECT_EQ(format(x, {"\\ "}), " \n");
}

TEST(FormatterPages, NewPageCompletesThePageOnce) {
  TestJob t;
  EXPECT_EQ(format(t, {".NP .NP a .NP .NP b"}), "a\n" + newlines(65) + "b\n");
  EXPECT_EQ(pageCount(*t.job), 2);
}

TEST(FormatterPages, NoRoomForBodyLines) {
  TestJob t;
  // TopLines raised to BottomLine: a page is completed after every line.
  EXPECT_EQ(format(t, {".PAGE 0 2", ".TTL 3 T", "a .NC b"}),
            " T \n\na\n" + newlines(64) + " T \n\nb\n" + newlines(64));
  EXPECT_EQ(pageCount(*t.job), 2);
}

TEST(FormatterPages, CommandMessages) {
  struct Case {
    const char *line;
    const char *message;
  };
  const Case cases[] = {
      {".SP 0", "Invalid Global Skip Number\n"},
      {".SP 67", "Invalid Global Skip Number\n"},
      {".SP x", "Illegal Column skips\n"},
      {".S x", "Illegal skip no\n"},
      {".PAGE 10 10", "Invalid Top or Bottom Line Number\n"},
      {".PAGE -1 10", "Illegal Top Line\n"},
      {".PAGE x 10", "Illegal Top Line\n"},
      {".PAGE 1 x", "Illegal Bottom line\n"},
      {".PAGE 1", "Command not closed in 1 line\n"},
      {".SPN x 70 0 1", "Illegal SPN type\n"},
      {".SPN 0 0 0 1", "Illegal Position Number\n"},
      {".SPN 0 255 0 1", "Illegal Position Number\n"},
      {".SPN 0 70 x 1", "Illegal Skip Number\n"},
      {".SPN 0 70 0 x", "Illegal Start Number\n"},
      {".SPN 1 70 0 1 x", "Illegal Section Number\n"},
      {".SPN 1 70 0 1", "Command not closed in 1 line\n"},
      {".SPN 0 70 0 1 X", "Command not closed in 1 line\n"},
  };
  for (const Case &c : cases) {
    TestJob t;
    EXPECT_EQ(feedLines(t, {c.line}), 1) << c.line;
    EXPECT_EQ(t.err(), aborted(std::string(c.message) + c.line + "\n")) << c.line;
  }
  TestJob ok;
  EXPECT_EQ(feedLines(ok, {".SPN 1 70 0 1 4 . x", ".SPN 0 70 0 1 #", ".PAGE 0 1"}), -1);
}

TEST(FormatterPages, CountIsOfPagesBegunNotPageNumbers) {
  TestJob t;
  EXPECT_EQ(format(t, {".SPN 0 5 0 100", "a"}), "    100\n\na\n");
  EXPECT_EQ(pageCount(*t.job), 1);
}

}  // namespace
