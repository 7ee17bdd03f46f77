// The page sink as the formatter drives it: the events of written pages
// (page numbers, header and title rows, underline runs, fill lines, form
// feeds), none for suppressed pages; and the paper layout of PDF and HTML.
#include <gtest/gtest.h>

#include "FormatterTestJob.h"
#include "output/Spool.h"

namespace {

// Writes each event as a short line of text, runs as [first-last].
class RecordingSink : public PageSink {
 public:
  explicit RecordingSink(std::string &log) : log_(log) {}
  void beginPage(int pageNo) override { log_ += "begin " + std::to_string(pageNo) + "\n"; }
  void headerRow(const PrintLine &line, bool isTitle) override { row(isTitle ? "title" : "header", line); }
  void bodyLine(const PrintLine &line) override { row("body", line); }
  void fillLines(int count) override { log_ += "fill " + std::to_string(count) + "\n"; }
  void endPage() override { log_ += "end\n"; }
  void formFeed() override { log_ += "ff\n"; }
  const char *finish() override { return nullptr; }

 private:
  void row(const char *kind, const PrintLine &line) {
    log_ += std::string(kind) + " '" + std::string(line.text, static_cast<size_t>(line.length)) + "'";
    for (int r = 0; r < line.runCount; ++r)
      log_ += " [" + std::to_string(line.runs[r].first) + "-" + std::to_string(line.runs[r].last) + "]";
    if (line.underlineWidth > 0) log_ += " width " + std::to_string(line.underlineWidth);
    log_ += "\n";
  }
  std::string &log_;
};

std::string record(TestJob &t, std::initializer_list<const char *> lines) {
  std::string log;
  t.job->job.report.usePages(std::make_unique<RecordingSink>(log));
  format(t, lines);
  return log;
}

TEST(PageSink, HeaderRowsTitlesAndUnderlineRuns) {
  TestJob t;
  std::string log = record(t, {".PAGE 6 10", ".TTLU 12 Sales .", ".SPN 0 10 0 7 .", ".DT 0 1 20 .", ".T 0",
                               ".UL two words . .N", "plain .TE"});
  EXPECT_EQ(log,
            "begin 7\n"
            "header '           7'\n"  // PageNoPos + 2 = 12 positions
            "header ''\n"
            "title '   Sales    ' [4-8] width 12\n"
            "header ''\n"
            "header ''\n"
            "header ''\n"
            "body 'two words' [1-9] width 20\n"
            "body 'plain'\n");
}

TEST(PageSink, FillLinesFormFeedsAndSuppressedPages) {
  TestJob t;
  t.job->job.firstPage = 2;
  t.job->job.lastPage = 2;
  t.job->job.pageRangeGiven = true;
  t.job->job.formFeedFirst = 1;
  std::string log = record(t, {".PAGE 0 2", "a .N b .N c .N d .N e .N"});
  // Pages 1 and 3 are counted but never reach the sink; page 2 ends at
  // line 2 of its body and is filled to 66.
  EXPECT_EQ(log, "ff\nbegin 2\nbody 'c'\nbody 'd'\nfill 64\nend\n");
}

TEST(PageSink, FormFeedInsteadOfFillLines) {
  TestJob t;
  t.job->job.formFeedAtPageEnd = 1;
  std::string log = record(t, {".PAGE 1 3", "a .N b .N c"});
  EXPECT_EQ(log, "begin 1\nheader ''\nbody 'a'\nbody 'b'\nff\nend\nbegin 2\nheader ''\nbody 'c'\n");
}

TEST(PaperLayout, FitsTheRowsOrTheWidestLine) {
  ReportMeasures narrow;
  narrow.columns = 40;
  PaperLayout a4 = layoutPaper(false, narrow, 0.6);
  // 66 rows decide: they fill the sheet's height within the margins.
  EXPECT_NEAR(66 * a4.pitch, a4.height - 2 * a4.margin, 0.01);
  ReportMeasures wide;
  wide.columns = 200;
  PaperLayout letter = layoutPaper(true, wide, 0.6);
  EXPECT_EQ(letter.width, 612);
  EXPECT_NEAR(200 * letter.advance, letter.width - 2 * letter.margin, 0.01);
  ReportMeasures tall;
  tall.columns = 10;
  tall.rows = 132;
  EXPECT_NEAR(layoutPaper(false, tall, 0.6).fontSize * 2, a4.fontSize, 0.01);
}

}  // namespace
