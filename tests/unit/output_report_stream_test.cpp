// The report stream on its own: unformatted lines across its block and
// beyond it, the state dump in order with them or kept out of a document,
// the write checks of a full device, and abandoning a report that replaces
// its target (the target kept, a document's pages dropped, not rendered).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "output/ReportStream.h"

namespace {

// A stream on a memory buffer.
struct MemoryReport {
  MemoryReport() { stream.attach(open_memstream(&text, &size)); }
  ~MemoryReport() {
    stream.close();
    std::free(text);
  }
  std::string bytes() {
    stream.flush();
    return std::string(text ? text : "", size);
  }
  char *text = nullptr;
  size_t size = 0;
  ReportStream stream;
};

// Counts what the stream asks of a document's sink.
class CountingSink : public PageSink {
 public:
  CountingSink(int &finished, int &discarded) : finished_(finished), discarded_(discarded) {}
  void beginPage(int) override {}
  void headerRow(const PrintLine &, bool) override {}
  void bodyLine(const PrintLine &) override {}
  void fillLines(int) override {}
  void endPage() override {}
  void formFeed() override {}
  const char *finish() override {
    ++finished_;
    return nullptr;
  }
  void discard() override { ++discarded_; }

 private:
  int &finished_, &discarded_;
};

TEST(ReportStream, LinesKeepTheirBytesAndOrderAcrossTheBlock) {
  MemoryReport r;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    std::string line = "line " + std::to_string(i) + std::string(static_cast<size_t>(i % 37), 'x');
    r.stream.writeLine(line.data(), line.size());
    expected += line + "\n";
  }
  std::string huge(100000, 'h');  // longer than the block: written on its own
  r.stream.writeLine(huge.data(), huge.size());
  r.stream.writeLine("", 0);
  expected += huge + "\n\n";
  r.stream.writeDump("DUMP\n", stderr);  // after the lines still held
  expected += "DUMP\n";
  EXPECT_EQ(r.bytes(), expected);
}

TEST(ReportStream, DumpOfADocumentGoesToTheMessages) {
  MemoryReport r;
  char *messages = nullptr;
  size_t length = 0;
  FILE *err = open_memstream(&messages, &length);
  int finished = 0, discarded = 0;
  r.stream.usePages(std::make_unique<CountingSink>(finished, discarded));
  r.stream.writeDump("CurTno=-1\n", err);
  std::fclose(err);
  EXPECT_EQ(std::string(messages, length), "CurTno=-1\n");
  EXPECT_EQ(r.bytes(), "");
  std::free(messages);
}

TEST(ReportStream, FullDeviceIsAFailedCloseEvenWithLinesStillHeld) {
  ReportStream stream;
  ASSERT_EQ(stream.open("/dev/full", "/nonexistent-input"), nullptr);
  stream.writeLine("a line", 6);  // held in the block until the close
  const char *why = stream.close();
  ASSERT_NE(why, nullptr);
  EXPECT_STREQ(why, "No space left on device");
  EXPECT_FALSE(stream.isOpen());
  EXPECT_EQ(stream.close(), nullptr);  // closed once: a second close does nothing
}

class ReportStreamFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kelvordantix_stream_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ofstream(path("out.txt")) << "old report\n";
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string path(const char *name) { return dir_ + "/" + name; }
  std::string get(const char *name) {
    std::ifstream in(path(name));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string dir_;
};

TEST_F(ReportStreamFileTest, AbandonedReportKeepsItsTargetAndRendersNothing) {
  int finished = 0, discarded = 0;
  {
    ReportStream stream;
    ASSERT_EQ(stream.open(path("out.txt").c_str(), path("in.rpf").c_str()), nullptr);
    stream.usePages(std::make_unique<CountingSink>(finished, discarded));
    stream.writeLine("new", 3);
    stream.abandon(false);  // not stopped: still, a report to be thrown away is not rendered
  }
  EXPECT_EQ(finished, 0);
  EXPECT_EQ(discarded, 1);
  EXPECT_EQ(get("out.txt"), "old report\n");
}

TEST_F(ReportStreamFileTest, InstalledReportReplacesItsTarget) {
  ReportStream stream;
  ASSERT_EQ(stream.open(path("out.txt").c_str(), path("in.rpf").c_str()), nullptr);
  stream.writeLine("new report", 10);
  EXPECT_EQ(get("out.txt"), "old report\n");  // until the job succeeds
  EXPECT_EQ(stream.finishPages(), nullptr);
  EXPECT_EQ(stream.install(), nullptr);
  EXPECT_EQ(get("out.txt"), "new report\n");
}

TEST(ReportStream, PagesOfAReportWrittenInPlaceAreRenderedOnAbandonUnlessStopped) {
  for (bool stopped : {false, true}) {
    int finished = 0, discarded = 0;
    ReportStream stream;
    ASSERT_EQ(stream.open("/dev/null", "/nonexistent-input"), nullptr);  // a device: written in place
    stream.usePages(std::make_unique<CountingSink>(finished, discarded));
    stream.abandon(stopped);
    EXPECT_EQ(finished, stopped ? 0 : 1) << stopped;
    EXPECT_EQ(discarded, stopped ? 1 : 0) << stopped;
  }
}

}  // namespace
