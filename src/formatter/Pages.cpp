// Page layout and output: the line group is printed line by line through
// the page logic, which opens pages with their header rows, counts lines and
// completes pages at BottomLine. Also B, S, NP, SP, PAGE and SPN.
#include <algorithm>
#include <climits>
#include <cstdio>

#include "driver/Job.h"
#include "driver/Signals.h"
#include "output/Output.h"

namespace {

// The sink of the job's pages; the plain-text report unless the driver
// chose another when it opened the output file.
PageSink &sink(Job &job) { return job.job.report.pages(); }

// The stretches of underscores of the UnderlineBuffer, as runs.
int underlineRuns(const RpfFormatter &rpf, UnderlineRun *runs) {
  int count = 0;
  for (int p = 1; p <= rpf.underlineLength && p <= kLinePositions; ++p) {
    if (rpf.UnderlineBuffer[p] != '_') continue;
    if (count > 0 && runs[count - 1].last == p - 1) {
      runs[count - 1].last = p;
    } else if (count < kMaxUnderlineRuns) {
      runs[count++] = {p, p};
    }
  }
  return count;
}

void sendRow(Job &job, PageRow row, const PrintLine &line) {
  if (row == PageRow::Body) {
    sink(job).bodyLine(line);
  } else {
    sink(job).headerRow(line, row == PageRow::Title);
  }
}

// An underlined row with the runs of the UnderlineBuffer and its length;
// apart from the plain rows, whose way needs no array of runs set up.
[[gnu::noinline]] void writeUnderlinedRow(Job &job, PageRow row, PrintLine &line) {
  UnderlineRun runs[kMaxUnderlineRuns];
  line.runs = runs;
  line.runCount = underlineRuns(job.rpf, runs);
  line.underlineWidth = job.rpf.underlineLength;
  sendRow(job, row, line);
}

// Header row r of a page: page number, title or blank.
void writeHeaderRow(Job &job, int row) {
  RpfFormatter &rpf = job.rpf;
  int titleRow = rpf.PageNoOn ? row - 2 : row;
  if (rpf.PageNoOn && row == 0) {
    char number[kLinePositions + 16];
    int length = std::snprintf(number, sizeof number, "%*d", rpf.PageNoPos + 2, rpf.PageNo);
    writePageRow(job, PageRow::Header, number, length, false);
  } else if (titleRow == 0 && rpf.TitleLines >= 1) {
    printTitleLine(job, rpf.Title1);
  } else if (titleRow == 1 && rpf.TitleLines == 2) {
    printTitleLine(job, rpf.Title2);
  } else {
    writePageRow(job, PageRow::Header, "", 0, false);
  }
}

// One blank line of B and S, counted like a body line.
void writeBlankLine(Job &job) {
  beginPage(job);
  if (!job.rpf.PageSuppressed) writePageRow(job, PageRow::Body, "", 0, false);
  advanceLine(job);
}

}  // namespace

// Print every line of the group in use (cut at its LineEnd, trailing blanks
// dropped but never the first position), each with its underline row and
// the spacing of SP; then start again at column 1 of the current table.
void flushRpf(Job &job) {
  RpfFormatter &rpf = job.rpf;
  closeLine(job, false);
  for (int i = 0; i < rpf.linesOpened; ++i) {
    GroupLine &line = rpf.LineGroup[i];
    if (!line.LineUsed) continue;
    int end = line.LineEnd < 1 ? 1 : line.LineEnd > kLinePositions ? kLinePositions : line.LineEnd;
    end = std::max(lastInkedPosition(line, end), 1);
    std::string &text = rpf.printBuffer;
    text.clear();
    appendLineBytes(line, 1, end, text);
    beginPage(job);
    if (!rpf.PageSuppressed) {
      bool underlined = markLineUnderline(job, i, end);
      writePageRow(job, PageRow::Body, text.data(), static_cast<int>(text.size()), underlined);
    }
    advanceLine(job);
    for (int k = 0; k < rpf.ExtraSpacing; ++k) writeBlankLine(job);
    line.LineUsed = 0;
    line.LineEnd = 0;
    line.UnderlineCount = 0;
  }
  // A line opened while the group was printed waits for the next flush.
  int opened = 0;
  for (int i = 0; i < rpf.linesOpened; ++i)
    if (rpf.LineGroup[i].LineUsed) opened = i + 1;
  rpf.linesOpened = opened;
  rpf.CurLine = 0;
  rpf.CurCol = 1;
  openColumn(job, 1);
}

// Open a page if none is open: count it, decide by the P switch whether it
// is written, and write the header rows.
void beginPage(Job &job) {
  RpfFormatter &rpf = job.rpf;
  if (rpf.PageLine != 0) return;
  if (rpf.PageNo < INT_MAX) ++rpf.PageNo;
  if (rpf.pagesBegun < INT_MAX) ++rpf.pagesBegun;
  if (job.job.pageRangeGiven && (rpf.PageNo > job.job.lastPage || rpf.PageNo < job.job.firstPage)) {
    rpf.PageSuppressed = 1;
    rpf.PageLine = rpf.TopLines;
    return;
  }
  rpf.PageSuppressed = 0;
  if (job.job.formFeedFirst) {
    sink(job).formFeed();
    job.job.formFeedFirst = 0;
  }
  sink(job).beginPage(rpf.PageNo);
  for (int row = 0; row < rpf.TopLines; ++row) writeHeaderRow(job, row);
  rpf.PageLine = rpf.TopLines;
}

void advanceLine(Job &job) {
  RpfFormatter &rpf = job.rpf;
  ++rpf.PageLine;
  if (rpf.PageLine >= rpf.BottomLine) endPage(job);
}

// Complete the open page: a form feed with switch F, else newlines to the
// bottom line and on to line 66. A suppressed page writes nothing.
void endPage(Job &job) {
  RpfFormatter &rpf = job.rpf;
  if (rpf.PageLine == 0) return;
  // One RPF line can ask for millions of pages (S 2147483647): a job asked
  // to stop stops within a page.
  checkStop(job);
  if (!rpf.PageSuppressed) {
    PageSink &pages = sink(job);
    if (job.job.formFeedAtPageEnd) {
      pages.formFeed();
    } else {
      long long toBottom = rpf.BottomLine > rpf.PageLine ? static_cast<long long>(rpf.BottomLine) - rpf.PageLine : 0;
      long long belowBottom = rpf.BottomLine < kPageLength ? kPageLength - rpf.BottomLine : 0;
      // A page can be billions of lines long (PAGE): a stop comes between
      // blocks of them.
      constexpr long long kFillBlock = 1 << 16;
      for (long long left = toBottom + belowBottom; left > 0; left -= kFillBlock) {
        pages.fillLines(static_cast<int>(left < kFillBlock ? left : kFillBlock));
        checkStop(job);
      }
    }
    pages.endPage();
  }
  rpf.PageLine = 0;
}

// Raise TopLines to what the page number and the titles need.
void reserveHeaderLines(Job &job) {
  RpfFormatter &rpf = job.rpf;
  int needed = (rpf.PageNoOn ? 2 : 0) + (rpf.TitleLines >= 1 ? rpf.TitleLines + 1 : 0);
  if (rpf.TopLines < needed) rpf.TopLines = needed;
}

// Hand one row of a written page to the sink.
void writePageRow(Job &job, PageRow row, const char *text, int length, bool underlined) {
  PrintLine line;
  line.text = text;
  line.length = length;
  if (underlined) {
    writeUnderlinedRow(job, row, line);
    return;
  }
  sendRow(job, row, line);
}

int pageCount(const Job &job) { return job.rpf.pagesBegun; }

// .B
void execB(Job &job) {
  flushRpf(job);
  writeBlankLine(job);
}

// .S k: blank lines after the group in column 1, line breaks elsewhere.
void execS(Job &job) {
  int count = takeNumber(job, Msg::RpfIllegalSkipNo);
  if (job.rpf.CurCol == 1) {
    flushRpf(job);
    for (int i = 0; i < count; ++i) {
      checkStop(job);                   // a page may be taller than the skip (PAGE 2 99999999)
      writeBlankLine(job);
    }
  } else {
    // Up to two thousand million line breaks: a stopped job stops here too.
    for (int i = 0; i < count; ++i) {
      checkStop(job);
      skipLineInField(job);
    }
  }
}

// .NP
void execNP(Job &job) {
  flushRpf(job);
  endPage(job);
}

// .SP k (1 to 66): k - 1 blank lines after every printed line.
void execSP(Job &job) {
  int spacing = takeNumber(job, Msg::RpfIllegalColumnSkips);
  if (spacing < 1 || spacing > kMaxSkip) rpfFail(job, Msg::RpfInvalidGlobalSkip);
  job.rpf.ExtraSpacing = spacing - 1;
}

// .PAGE top bottom. A negative top line is refused as "Illegal Top Line":
// with it the page line count would pass through 0, which means "no page
// open". Headers that SPN or TTL raise to BottomLine or beyond are kept:
// a page is then completed after every line.
void execPAGE(Job &job) {
  RpfFormatter &rpf = job.rpf;
  int top = takeNumber(job, Msg::RpfIllegalTop);
  if (top < 0) rpfFail(job, Msg::RpfIllegalTop);
  rpf.TopLines = top;
  rpf.BottomLine = takeNumber(job, Msg::RpfIllegalBottom);
  if (rpf.BottomLine <= rpf.TopLines) rpfFail(job, Msg::RpfInvalidTopBottom);
}

// .SPN type position skip start [section] [. or #]
void execSPN(Job &job) {
  RpfFormatter &rpf = job.rpf;
  int type = takeNumber(job, Msg::RpfIllegalSpnType);
  rpf.PageNoPos = takeNumber(job, Msg::RpfIllegalPosition);
  if (rpf.PageNoPos < 1 || rpf.PageNoPos > kMaxPageNoPos) rpfFail(job, Msg::RpfIllegalPosition);
  takeNumber(job, Msg::RpfIllegalSkip);
  int start = takeNumber(job, Msg::RpfIllegalStart);
  if (type == 1) takeNumber(job, Msg::RpfIllegalSection);
  if (nextWord(job) && !isTerminator(job)) rpfFail(job, Msg::RpfNotClosed);
  rpf.PageNoOn = 1;
  rpf.PageNo = start > INT_MIN ? start - 1 : INT_MIN;
  reserveHeaderLines(job);
}
