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

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "driver/Job.h"
#include "formatter/Utf8Text.h"

namespace {

// The next line of the line group, or the end of the job at the 100th.
void advanceCurLine(Job &job) {
  if (job.rpf.CurLine + 1 >= kGroupLines) {
    writeMessage(job, Msg::RpfLineLimit);
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
  shiftPositions(line, rpf.StrPos, last - rpf.StrPos + 1, shift);
}

// Widening of a broken line: when the spare positions after the text are
// fewer than its gaps between words, one blank is inserted after each of
// the first `spare` blanks, so the text ends exactly at EndPos. A line with
// at least as many spare positions as gaps stays as placed.
//
// row holds the positions (plain bytes or cells), gapAt lists the gaps of
// first..last in order, and words is the number of words there.
template <typename Position>
void widen(Position *row, int last, int spare, const int *gapAt, int gaps, int words, Position blank) {
  if (words < 2 || spare >= words - 1) return;
  // The positions after gap k move right by k + 1 (up to the next doubled
  // gap, which moves with them), and a blank fills the position after gap
  // k. Moved from the right, so that nothing is overwritten before it moves.
  int doubled = std::min(spare, gaps);
  for (int k = doubled - 1; k >= 0; --k) {
    int from = gapAt[k] + 1;
    int to = k == doubled - 1 ? last : gapAt[k + 1];
    if (to >= from) std::memmove(row + from + k + 1, row + from, static_cast<size_t>(to - from + 1) * sizeof(Position));
    row[from + k] = blank;
  }
}

// The gaps of positions first..last of a line of cells; returns the words.
int findCellGaps(const GroupLine &line, int first, int last, int *gapAt, int &gaps) {
  // Without branches: the line's words and gaps follow no pattern.
  int words = 0;
  gaps = 0;
  bool afterGap = true;
  for (int p = first; p <= last; ++p) {
    bool gap = line.cells[p].at == 0;
    words += !gap && afterGap;
    gapAt[gaps] = p;
    gaps += gap;
    afterGap = gap;
  }
  return words;
}

// Set bits of a word without the library call that __builtin_popcountll
// becomes on machines of the base instruction set.
int countBits(uint64_t v) {
  v -= (v >> 1) & 0x5555555555555555u;
  v = (v & 0x3333333333333333u) + ((v >> 2) & 0x3333333333333333u);
  v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<int>((v * 0x0101010101010101u) >> 56);
}

// The same for a plain line, from masks of its blanks, 64 positions a word.
int findPlainGaps(const GroupLine &line, int first, int last, int *gapAt, int &gaps) {
  constexpr int kWords = (kLinePositions + 1 + 63) / 64;
  uint64_t blanks[kWords] = {};
  int p = first & ~15;
#ifdef __SSE2__
  const __m128i blank = _mm_set1_epi8(' ');
  for (; p <= last && p + 16 <= kLinePositions + 1; p += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(line.plain + p));
    blanks[p >> 6] |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, blank)))) << (p & 63);
  }
#endif
  for (; p <= last; ++p) blanks[p >> 6] |= static_cast<uint64_t>(line.plain[p] == ' ') << (p & 63);
  int words = 0;
  gaps = 0;
  uint64_t carry = 0;                   // the position before the word of bits was a gap
  for (int w = first >> 6; w <= last >> 6; ++w) {
    uint64_t inside = ~uint64_t{0};
    if (w == first >> 6) inside &= ~uint64_t{0} << (first & 63);
    if (w == last >> 6 && (last & 63) != 63) inside &= (uint64_t{1} << ((last & 63) + 1)) - 1;
    uint64_t gap = blanks[w] & inside;
    uint64_t ink = ~blanks[w] & inside;
    uint64_t gapBefore = (gap << 1) | carry;
    if (w == first >> 6) gapBefore |= uint64_t{1} << (first & 63);
    words += countBits(ink & gapBefore);
    carry = gap >> 63;
    for (; gap != 0; gap &= gap - 1) gapAt[gaps++] = w * 64 + __builtin_ctzll(gap);
  }
  return words;
}

void alignFill(RpfFormatter &rpf, GroupLine &line) {
  int first = rpf.StrPos;
  int last = rpf.NowPos - 2;
  int spare = rpf.EndPos - rpf.NowPos + 2;
  if (last - first + 1 < 2 || spare < 1) return;
  int gapAt[kLinePositions + 1];
  int gaps = 0;
  if (line.celled) {
    int words = findCellGaps(line, first, last, gapAt, gaps);
    widen(line.cells, last, spare, gapAt, gaps, words, LineCell{});
  } else {
    int words = findPlainGaps(line, first, last, gapAt, gaps);
    widen(line.plain, last, spare, gapAt, gaps, words, ' ');
  }
}

// The plain line as cells: each written byte gets its place in the store.
void turnIntoCells(GroupLine &line) {
  line.bytes.assign(1, ' ');
  line.cells[0] = LineCell{};
  for (int p = 1; p <= kLinePositions; ++p) {
    if (line.plain[p] == ' ') {
      line.cells[p] = LineCell{};
      continue;
    }
    line.cells[p] = {static_cast<uint32_t>(line.bytes.size()), 1};
    line.bytes += line.plain[p];
  }
  line.celled = true;
}

// The current word at position `at`: its bytes straight into a plain line
// when they allow it; else its bytes go to the line's store, each character
// to the positions it covers from `at` on.
void writeWord(GroupLine &line, const RpfFormatter &rpf, int length, int at) {
  const char *word = rpf.Word;
  if (!line.celled) {
    if (rpf.WordAscii && !rpf.WordBlank) {
      copyWordBytes(line.plain + at, word, static_cast<size_t>(length));
      return;
    }
    turnIntoCells(line);
  }
  uint32_t base = static_cast<uint32_t>(line.bytes.size());
  line.bytes.append(word, static_cast<size_t>(length));
  if (rpf.WordAscii) {
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
    writeMessage(job, Msg::RpfWidthExceeded, rpf.CurTno - 1,
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
  writeWord(rpf.LineGroup[rpf.CurLine], rpf, bytes, rpf.NowPos);
  rpf.NowPos += width + 1;
}

// The words of the line from `next` on, while each is plain text that fits
// on the current line of a field whose line holds plain bytes: the whole
// of placeWord for such a word is a copy and a step of NowPos. Returns the
// first word left for the general way; the last word set here becomes the
// current Word.
int placePlainWords(Job &job, int next) {
  RpfFormatter &rpf = job.rpf;
  const RpfWord *words = rpf.words;
  const int total = rpf.wordTotal;
  int i = next;
  const int width = rpf.Width;
  auto plain = [width](const RpfWord &word) { return word.command < 0 && word.ascii && !word.blank && word.length <= width; };
  if (i >= total || !plain(words[i])) return i;
  GroupLine &line = rpf.LineGroup[rpf.CurLine];
  openLine(job, rpf.CurLine);
  if (line.celled) return i;
  const char *text = rpf.lineText;
  const int end = rpf.EndPos + 1;
  int now = rpf.NowPos;
  for (; i < total; ++i) {
    const RpfWord &word = words[i];
    if (!plain(word) || word.length > end - now) break;
    copyWordBytes(line.plain + now, text + word.start, static_cast<size_t>(word.length));
    now += word.length + 1;
  }
  if (i == next) return i;
  rpf.NowPos = now;
  const RpfWord &last = words[i - 1];
  rpf.wordNext = i;
  rpf.Word = text + last.start;
  rpf.WordMark = rpf.lineMark + last.start;
  rpf.WordLength = last.length;
  rpf.WordCommand = -1;
  rpf.WordAscii = true;
  rpf.WordBlank = false;
  return i;
}

// Room is made for one byte a cell (most cells hold one), and more when a
// cell holds several: out's size stays at least `used` plus a byte for
// every cell still to come.
void appendLineBytes(const GroupLine &line, int from, int to, std::string &out) {
  if (to < from) return;
  if (!line.celled) {
    out.append(line.plain + from, static_cast<size_t>(to - from + 1));
    return;
  }
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

bool isGap(const GroupLine &line, int p) { return line.celled ? line.cells[p].at == 0 : line.plain[p] == ' '; }

bool hasInk(const GroupLine &line, int p) {
  if (!line.celled) return line.plain[p] != ' ';
  const LineCell &cell = line.cells[p];
  return cell.length != 1 || line.bytes[cell.at] != ' ';
}

void shiftPositions(GroupLine &line, int from, int count, int by) {
  if (line.celled) {
    std::memmove(line.cells + from + by, line.cells + from, static_cast<size_t>(count) * sizeof(LineCell));
    std::fill(line.cells + from, line.cells + from + by, LineCell{});
  } else {
    std::memmove(line.plain + from + by, line.plain + from, static_cast<size_t>(count));
    std::memset(line.plain + from, ' ', static_cast<size_t>(by));
  }
}

int lastInkedPosition(const GroupLine &line, int end) {
  if (!line.celled) {
    int p = end;
    while (p >= 1 && line.plain[p] == ' ') --p;
    return p;
  }
  for (int p = end; p >= 1; --p)
    if (hasInk(line, p)) return p;
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
  // The cells are set up again when the line turns into cells.
  std::memset(line.plain, ' ', sizeof line.plain);
  line.celled = false;
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
  int count = takeNumber(job, Msg::RpfIllegalColumnSkips);
  if (count < 1 || count > kMaxSkip) rpfFail(job, Msg::RpfInvalidColSkip);
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
  int indent = takeNumber(job, Msg::RpfIllegalIndent);
  if (indent < 1 || indent > rpf.Width - 1) rpfFail(job, Msg::RpfInvalidIndent);
  if (rpf.NowPos != rpf.StrPos) newLine(job);
  if (rpf.StrPos + indent > rpf.EndPos) rpfFail(job, Msg::RpfInvalidIndent);
  rpf.StrPos += indent;
  rpf.NowPos += indent;
}
