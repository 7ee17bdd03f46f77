// The page spool of PDF and HTML with a recording renderer: the document
// rendered ahead or again at the end when a later row is wider, no renderer
// left once finish() or discard() returns (the job closes the report then),
// and a stop request that ends the rendering on either thread.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "output/Spool.h"

namespace {

std::atomic<int> liveRenderers{0};
std::atomic<long> stopChecksLeft{-1};   // checks before the stop; -1: never
std::atomic<bool> stopAsked{false};

// The stop comes at a counted check and stays, as the job's does.
bool countedStop() {
  if (!stopAsked && stopChecksLeft.load() >= 0 && stopChecksLeft.fetch_sub(1) == 0) stopAsked = true;
  return stopAsked;
}

// Writes "columns N" at the start, each row, and "end"; like the PDF writer, it
// completes an unfinished document when destroyed, unless discarded.
class RecordingRenderer : public PageRenderer {
 public:
  RecordingRenderer() { ++liveRenderers; }
  ~RecordingRenderer() override {
    if (out_ != nullptr && !ended_) std::fputs("completed on destruction\n", out_);
    --liveRenderers;
  }
  const char *start(const ReportMeasures &m, FILE *out) override {
    out_ = out;
    std::fprintf(out_, "columns %d\n", m.columns);
    return nullptr;
  }
  void beginPage(int pageNo) override { std::fprintf(out_, "page %d\n", pageNo); }
  void row(int index, const PrintLine &line) override {
    std::fprintf(out_, "%d %.*s\n", index, line.length, line.text);
  }
  void endPage(int) override {}
  const char *end() override {
    ended_ = true;
    std::fputs("end\n", out_);
    return nullptr;
  }
  void discard() override { out_ = nullptr; }

 private:
  FILE *out_ = nullptr;
  bool ended_ = false;
};

struct SpoolTest : ::testing::Test {
  FILE *out = tmpfile();
  std::unique_ptr<PageSink> pages;

  void SetUp() override {
    stopChecksLeft = -1;
    stopAsked = false;
    const char *why = nullptr;
    pages = makeSpooledPages([] { return std::make_unique<RecordingRenderer>(); }, out, countedStop, why);
    ASSERT_TRUE(pages);
  }
  void TearDown() override {
    pages.reset();
    EXPECT_EQ(liveRenderers.load(), 0);
    std::fclose(out);
  }

  // Pages of one body line each; the last line as given.
  void spool(int count, const std::string &last = "row") {
    for (int p = 1; p <= count; ++p) {
      pages->beginPage(p);
      std::string text = p == count ? last : "row";
      PrintLine line;
      line.text = text.c_str();
      line.length = static_cast<int>(text.size());
      pages->bodyLine(line);
      pages->fillLines(65);
      pages->endPage();
    }
  }

  std::string written() {
    std::fflush(out);
    std::string text(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    return text;
  }
};

TEST_F(SpoolTest, RenderedAheadWithTheFirstPagesMeasures) {
  spool(3);
  EXPECT_EQ(pages->finish(), nullptr);
  EXPECT_EQ(liveRenderers.load(), 0);
  EXPECT_EQ(written(), "columns 3\npage 1\n0 row\npage 2\n0 row\npage 3\n0 row\nend\n");
}

TEST_F(SpoolTest, AWiderLastRowRendersAgainAndLeavesNoRenderer) {
  spool(3, "a wider row");
  EXPECT_EQ(pages->finish(), nullptr);
  EXPECT_EQ(liveRenderers.load(), 0);
  // The abandoned rendering went to its own file, never to the report.
  EXPECT_EQ(written(), "columns 11\npage 1\n0 row\npage 2\n0 row\npage 3\n0 a wider row\nend\n");
}

TEST_F(SpoolTest, AStopDuringTheFinalRenderingEndsItUnfinished) {
  spool(50, "a wider row");
  stopChecksLeft = 20;
  EXPECT_EQ(pages->finish(), kPagesStopped);
  EXPECT_EQ(liveRenderers.load(), 0);
  std::string text = written();
  EXPECT_EQ(text.find("end\n"), std::string::npos);
  EXPECT_EQ(text.find("completed on destruction"), std::string::npos);
}

TEST_F(SpoolTest, AStopSeenByTheRendererThreadFailsTheFinish) {
  spool(2);
  stopChecksLeft = 0;
  spool(20);
  EXPECT_EQ(pages->finish(), kPagesStopped);
  EXPECT_EQ(written(), "");
}

TEST_F(SpoolTest, DiscardWritesNothingAndEndsTheThread) {
  spool(30);
  pages->discard();
  EXPECT_EQ(liveRenderers.load(), 0);
  EXPECT_EQ(pages->finish(), nullptr);  // nothing more to do
  EXPECT_EQ(written(), "");
}

}  // namespace
