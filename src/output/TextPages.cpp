// The plain-text report: pages of lines ended by "\n", underlines written
// as a row of underscores ended by "\r" that the line then overstrikes, and
// form feeds as the single character "\f".
#include <cstdio>
#include <cstring>

#include "output/Output.h"

namespace {

class TextPages : public PageSink {
 public:
  explicit TextPages(FILE *out) : out_(out) {}

  void beginPage(int) override {}
  void headerRow(const PrintLine &line, bool) override { writeLine(line); }
  void bodyLine(const PrintLine &line) override { writeLine(line); }
  void fillLines(int count) override {
    for (int i = 0; i < count; ++i) putc_unlocked('\n', out_);
  }
  void endPage() override {}
  void formFeed() override { std::fputc('\f', out_); }
  // The driver flushes and closes the file and checks it.
  const char *finish() override { return nullptr; }

 private:
  // The underscore row first, then the line over it. The report file is
  // written by this thread alone: no locking per call.
  void writeLine(const PrintLine &line) {
    if (line.underlineWidth > 0) writeUnderlineRow(line);
    fwrite_unlocked(line.text, 1, static_cast<size_t>(line.length), out_);
    putc_unlocked('\n', out_);
  }

  void writeUnderlineRow(const PrintLine &line) {
    char row[kMaxRowWidth];
    int width = line.underlineWidth < kMaxRowWidth ? line.underlineWidth : kMaxRowWidth;
    std::memset(row, ' ', static_cast<size_t>(width));
    for (int r = 0; r < line.runCount; ++r)
      for (int p = line.runs[r].first; p <= line.runs[r].last && p <= width; ++p) row[p - 1] = '_';
    std::fwrite(row, 1, static_cast<size_t>(width), out_);
    std::fputc('\r', out_);
  }

  static constexpr int kMaxRowWidth = 256;
  FILE *out_;
};

}  // namespace

std::unique_ptr<PageSink> makeTextPages(FILE *out) { return std::make_unique<TextPages>(out); }
