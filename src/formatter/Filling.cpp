// Word filling and line alignment: words are set left to right into the
// current field; a line is aligned when it is closed. Also the commands that
// shape the field's lines: N, CS, R, RR, FR, P, I.
//
// The text of the field's current line occupies positions StrPos to
// NowPos - 2; NowPos - 1 holds the blank after the last word.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "driver/Job.h"
#include "formatter/Utf8Text.h"

namespace {

// The next line of the line group, or the end of the job at the 100th.
void advanceCurLine(Job &job) {
  if (job.rpf.CurLine + 1 >= kGroupLines) {
    std::fputs("RPF 100 line limit exceeeded\n", job.job.err);
    abortJob(job);
  }
  ++job.rpf.CurLine;
}

// Right alignment: the text moves so that its last character stands at
// EndPos.
void alignRight(RpfFormatter &rpf, GroupLine &line) {
  int last = rpf.NowPos - 2;
  if (last < rpf.StrPos) return;        // no character on the line
  int shift = rpf.EndPos - last;
  if (shift <= 0) return;
  int length = last - rpf.StrPos + 1;
  std::memmove(line.cells + rpf.StrPos + shift, line.cells + rpf.StrPos,
               static_cast<size_t>(length) * sizeof(LineCell));
  std::fill(line.cells + rpf.StrPos, line.cells + rpf.StrPos + shift, LineCell{});
}

bool isGap(const GroupLine &line, int p) { return line.cells[p].at == 0; }

// Widening of a broken line: when the spare positions after the text are
// fewer than its gaps between words, one blank is inserted after each of
// the first `spare` blanks, so the text ends exactly at EndPos. A line with
// at least as many spare positions as gaps stays as placed.
void alignFill(RpfFormatter &rpf, GroupLine &line) {
  int first = rpf.StrPos;
  int last = rpf.NowPos - 2;
  int spare = rpf.EndPos - rpf.NowPos + 2;
  if (last - first + 1 < 2 || spare < 1) return;
  // Without branches: the line's words and gaps follow no pattern.
  int gapAt[kLinePositions + 1];
  int words = 0, gaps = 0;
  bool afterGap = true;
  for (int p = first; p <= last; ++p) {
    bool gap = isGap(line, p);
    words += !gap && afterGap;
    gapAt[gaps] = p;
    gaps += gap;
    afterGap = gap;
  }
  if (words < 2 || spare >= words - 1) return;
  // The cells after gap k move right by k + 1 (up to the next doubled gap,
  // which moves with them), and a blank fills the position after gap k.
  // Moved from the right, so that nothing is overwritten before it moves.
  int doubled = std::min(spare, gaps);
  for (int k = doubled - 1; k >= 0; --k) {
    int from = gapAt[k] + 1;
    int to = k == doubled - 1 ? last : gapAt[k + 1];
    if (to >= from) {
      std::memmove(line.cells + from + k + 1, line.cells + from, static_cast<size_t>(to - from + 1) * sizeof(LineCell));
    }
    line.cells[from + k] = LineCell{};
  }
}

// The cells of the current word: its bytes go to the line's store, each
// character to the positions it covers from `at` on.
void writeWord(GroupLine &line, const char *word, int length, bool ascii, int at) {
  uint32_t base = static_cast<uint32_t>(line.bytes.size());
  line.bytes.append(word, static_cast<size_t>(length));
  if (ascii) {
    LineCell *cells = line.cells + at;
    for (int i = 0; i < length; ++i) cells[i] = {base + static_cast<uint32_t>(i), 1};
    return;
  }
  for (int i = 0; i < length;) {
    TextCell cell = nextTextCell(word + i, length - i);
    line.cells[at++] = {base + static_cast<uint32_t>(i), static_cast<uint32_t>(cell.bytes)};
    if (cell.columns == 2) line.cells[at++] = {base + static_cast<uint32_t>(i), 0};
    i += cell.bytes;
  }
}

}  // namespace

// Set Word into the current field, breaking lines while it does not fit.
// Widths are display columns. A word wider than the whole column is cut to
// the column's width (warning), between characters: a wide character that
// would straddle the column's edge is left out.
void placeWord(Job &job) {
  RpfFormatter &rpf = job.rpf;
  openLine(job, rpf.CurLine);
  int bytes = rpf.WordLength;
  int width = rpf.WordAscii ? bytes : displayColumns(rpf.Word, bytes);
  if (width > rpf.Width) {
    std::fprintf(job.job.err, "Table=%d Col=%d Width=%d exceeded: %d %.*s\n", rpf.CurTno - 1,
                 rpf.CurCol, rpf.Width, width, bytes, rpf.Word);
    bytes = rpf.WordAscii ? rpf.Width : fitColumns(rpf.Word, bytes, rpf.Width, &width);
    if (rpf.WordAscii) width = bytes;
    rpf.WordLength = bytes;
  }
  while (width > rpf.EndPos - rpf.NowPos + 1) {
    closeLine(job, true);
    advanceCurLine(job);
    rpf.NowPos = rpf.StrPos;
    raiseLineEnd(job, rpf.CurLine);
    rpf.LineDone = 0;
    openLine(job, rpf.CurLine);
  }
  writeWord(rpf.LineGroup[rpf.CurLine], rpf.Word, bytes, rpf.WordAscii, rpf.NowPos);
  rpf.NowPos += width + 1;
}

// Room is made for one byte a cell (most cells hold one), and more when a
// cell holds several: out's size stays at least `used` plus a byte for
// every cell still to come.
void appendLineBytes(const GroupLine &line, int from, int to, std::string &out) {
  if (to < from) return;
  size_t used = out.size();
  out.resize(used + static_cast<size_t>(to - from + 1));
  // Local pointers: a byte written through out's buffer could otherwise
  // stand for the string itself, and every cell would reload it.
  const char *store = line.bytes.data();
  const LineCell *cells = line.cells;
  char *dest = out.data();
  for (int p = from; p <= to; ++p) {
    const LineCell cell = cells[p];
    if (cell.length == 1) {
      dest[used++] = store[cell.at];
      continue;
    }
    size_t need = used + cell.length + static_cast<size_t>(to - p);
    if (need > out.size()) {
      out.resize(need);
      dest = out.data();
    }
    std::memcpy(dest + used, store + cell.at, cell.length);
    used += cell.length;
  }
  out.resize(used);
}

int lastInkedPosition(const GroupLine &line, int end) {
  for (int p = end; p >= 1; --p) {
    const LineCell &cell = line.cells[p];
    if (cell.length != 1 || line.bytes[cell.at] != ' ') return p;
  }
  return 0;
}

// Blank line i and put it in use, bounded by the current field's end.
void openLine(Job &job, int i) {
  RpfFormatter &rpf = job.rpf;
  GroupLine &line = rpf.LineGroup[i];
  if (line.LineUsed) return;
  line.LineUsed = 1;
  if (i >= rpf.linesOpened) rpf.linesOpened = i + 1;
  line.LineEnd = rpf.EndPos;
  static const LineCell kBlankCells[kLinePositions + 1] = {};
  std::memcpy(line.cells, kBlankCells, sizeof line.cells);
  line.bytes.assign(1, ' ');
  line.UnderlineCount = 0;
}

void raiseLineEnd(Job &job, int i) {
  RpfFormatter &rpf = job.rpf;
  if (rpf.EndPos > rpf.LineGroup[i].LineEnd) rpf.LineGroup[i].LineEnd = rpf.EndPos;
}

// Close the field's current line once: right alignment always, widening
// only when the line is broken. Ends the first-line indent of P.
void closeLine(Job &job, bool breaking) {
  RpfFormatter &rpf = job.rpf;
  GroupLine &line = rpf.LineGroup[rpf.CurLine];
  if (!line.LineUsed || rpf.LineDone) return;
  switch (static_cast<AlignKind>(rpf.AlignMode)) {
    case AlignRight: alignRight(rpf, line); break;
    case AlignFill:
      if (breaking) alignFill(rpf, line);
      break;
    case AlignRagged: break;
  }
  rpf.LineDone = 1;
  if (rpf.ParaIndentPending) {
    rpf.ParaIndentPending = 0;
    rpf.StrPos -= kParaIndent;
  }
}

// N: end the line and open the next one at once; nothing on an empty line.
void newLine(Job &job) {
  RpfFormatter &rpf = job.rpf;
  closeLine(job, true);
  if (rpf.NowPos == rpf.StrPos) return;
  advanceCurLine(job);
  rpf.NowPos = rpf.StrPos;
  openLine(job, rpf.CurLine);
  raiseLineEnd(job, rpf.CurLine);
  rpf.LineDone = 0;
}

// An empty line counts as not empty, so each call moves on by one line.
void skipLineInField(Job &job) {
  if (job.rpf.NowPos == job.rpf.StrPos) ++job.rpf.NowPos;
  newLine(job);
}

// .N
void execN(Job &job) { newLine(job); }

// .CS k (1 to 66)
void execCS(Job &job) {
  int count = takeNumber(job, "Illegal Column skips\n");
  if (count < 1 || count > kMaxSkip) rpfFail(job, "Invalid Col Skip Number\n");
  for (int i = 0; i < count; ++i) skipLineInField(job);
}

// .R  (wins over RR and FR until the next column is opened)
void execR(Job &job) { job.rpf.AlignMode = AlignRight; }

// .RR
void execRR(Job &job) {
  if (job.rpf.AlignMode != AlignRight) job.rpf.AlignMode = AlignRagged;
}

// .FR
void execFR(Job &job) {
  if (job.rpf.AlignMode != AlignRight) job.rpf.AlignMode = AlignFill;
}

// .P: new line whose first line is indented by 5. The indent is given only
// when the field has room for it: Width of at least 6 and, after earlier I
// or P, StrPos + 5 still within EndPos (so repeated P cannot push the field
// past its end); otherwise P only ends the line.
void execP(Job &job) {
  RpfFormatter &rpf = job.rpf;
  if (rpf.NowPos != rpf.StrPos) newLine(job);
  if (rpf.Width >= kParaIndent + 1 && rpf.StrPos + kParaIndent <= rpf.EndPos) {
    rpf.ParaIndentPending = 1;
    rpf.StrPos += kParaIndent;
    rpf.NowPos += kParaIndent;
  }
}

// .I k: the left edge moves right by k from the next line on. Repeated I
// adds up; an indent that would put StrPos past EndPos (no position left in
// the field) is refused with "Invalid indent" instead of ending in the line
// limit at the next word.
void execI(Job &job) {
  RpfFormatter &rpf = job.rpf;
  int indent = takeNumber(job, "Illegal indent\n");
  if (indent < 1 || indent > rpf.Width - 1) rpfFail(job, "Invalid indent\n");
  if (rpf.NowPos != rpf.StrPos) newLine(job);
  if (rpf.StrPos + indent > rpf.EndPos) rpfFail(job, "Invalid indent\n");
  rpf.StrPos += indent;
  rpf.NowPos += indent;
}
