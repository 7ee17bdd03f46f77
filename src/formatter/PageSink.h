// The page output of the formatter: a few callbacks through which every
// written page passes (begin with its number, header rows, body lines with
// their underlines, fill lines, end, form feeds). The plain-text report is
// one implementation (output/TextPages.cpp); the PDF and HTML renderers are
// others. Suppressed pages (switch P) never reach the sink.
#pragma once

constexpr int kMaxUnderlineRuns = 128;  // runs of one row: 255 positions, a blank between runs

// Underscores at print positions first..last of the line (1-based).
struct UnderlineRun {
  int first = 0;
  int last = 0;
};

// One row of a page as the formatter prints it. The text is the line's
// bytes (UTF-8, or legacy single bytes) without its line end; the underline
// runs are print positions of the same line.
struct PrintLine {
  const char *text = "";
  int length = 0;
  const UnderlineRun *runs = nullptr;
  int runCount = 0;
  int underlineWidth = 0;               // positions of the underscore row; 0 = no underline row
};

class PageSink {
 public:
  virtual ~PageSink() = default;
  // A written page opens; its header rows follow.
  virtual void beginPage(int pageNo) = 0;
  // A header row: page number, title (isTitle) or blank.
  virtual void headerRow(const PrintLine &line, bool isTitle) = 0;
  // A body line, or a blank line of B, S and SP (empty text).
  virtual void bodyLine(const PrintLine &line) = 0;
  // Blank lines that complete the page down to its last line.
  virtual void fillLines(int count) = 0;
  // The page is complete (after its fill lines or its form feed).
  virtual void endPage() = 0;
  // Switches I and F: a form feed in the text report.
  virtual void formFeed() = 0;
  // The job's output is over: write what is still held. Returns an error
  // text, or nullptr when all went well. Called once; later calls do nothing.
  virtual const char *finish() = 0;
  // The job has failed: what is still held is dropped and nothing more is
  // written, now or when the sink is destroyed. A sink that holds nothing
  // has nothing to drop.
  virtual void discard() {}
};
