// PDF and HTML need the whole report measured before the first page is
// drawn (the font size follows from the widest line), yet memory must stay
// flat for reports of any length. So their sink spools the pages into a
// temporary file, measuring as it goes, and at the end replays them page by
// page into a renderer.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "output/Output.h"

// What the renderers learn before the first page.
struct ReportMeasures {
  int pages = 0;
  int columns = 1;                      // display columns of the widest row
  int rows = 66;                        // rows of the longest page (at least 66)
  std::string title;                    // first title row, blanks trimmed
};

// The page geometry of a report on paper, in points.
struct PaperLayout {
  double width = 0, height = 0;         // the sheet
  double margin = 0;                    // on every side
  double fontSize = 0;
  double pitch = 0;                     // baseline to baseline
  double advance = 0;                   // one column
};
// The font size that fits the columns and rows on the sheet with margins
// (advanceEm: a column's width in ems of the monospaced font).
PaperLayout layoutPaper(bool letter, const ReportMeasures &m, double advanceEm);

// The first title row, or else the fallback title, as valid UTF-8.
std::string documentTitle(const ReportMeasures &m, const DocumentInfo &info);

class PageRenderer {
 public:
  virtual ~PageRenderer() = default;
  // Before the first page, with the file to write; an error text or nullptr.
  virtual const char *start(const ReportMeasures &m, FILE *out) = 0;
  virtual void beginPage(int pageNo) = 0;
  // Row index (0-based) of the open page; fill lines are not replayed.
  virtual void row(int index, const PrintLine &line) = 0;
  // The page is over after rows rows, fill lines included.
  virtual void endPage(int rows) = 0;
  // After the last page; an error text or nullptr.
  virtual const char *end() = 0;
  // The document will not be used: nothing more is written to the file,
  // when the renderer is destroyed either.
  virtual void discard() = 0;
};

// A page sink that spools into a temporary file and has the pages rendered
// into out by renderers that make() gives (one, or two when a rendering
// started early has to be done again); nullptr with why set when no
// temporary file can be made. A renderer lives only while it renders: none
// is left when finish() or discard() returns, so the job may close out then.
// When stop says so, rendering ends at the next record and finish() fails
// with kPagesStopped.
using RendererMaker = std::function<std::unique_ptr<PageRenderer>()>;
std::unique_ptr<PageSink> makeSpooledPages(RendererMaker make, FILE *out, StopCheck stop, const char *&why);
extern const char *const kPagesStopped;
