// Titles, centring and underlining: TTL and TTLU store centred titles for
// the page header; CEN, CUL and UL centre and underline a line of the
// current field. Underlining works as on a line printer: a row of
// underscores ended by "\r", then the text line written over it.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "driver/Job.h"
#include "formatter/Utf8Text.h"

namespace {

bool isBar(const RpfFormatter &rpf) {
  return rpf.WordLength == 1 && !rpf.WordMark[0] && rpf.Word[0] == '|';
}

// Title words joined by single blanks, up to a terminator, the end of the
// line, or (for the first title) a lone "|"; then centred. Words beginning
// with "." or "#" are title text. The words of one line always fit in a
// title's store. Returns true when the list was ended by "|".
bool collectTitle(Job &job, char *title, bool barEnds) {
  RpfFormatter &rpf = job.rpf;
  int length = 0;
  bool bar = false;
  while (nextWord(job)) {
    if (isTerminator(job)) break;
    if (barEnds && isBar(rpf)) {
      bar = true;
      break;
    }
    if (length > 0) title[length++] = ' ';
    std::memcpy(title + length, rpf.Word, static_cast<size_t>(rpf.WordLength));
    length += rpf.WordLength;
  }
  centreTitle(job, title, length);
  return bar;
}

// TTL and TTLU alike; titles are stored without escape marks.
void defineTitles(Job &job) {
  RpfFormatter &rpf = job.rpf;
  rpf.TitleUnderline = 0;
  takeWord(job);
  int width = 0;
  if (!readWordNumber(job, width) || width < 1 || width > kMaxTitleWidth)
    rpfFail(job, Msg::RpfIllegalTtlWidth);
  rpf.TitleWidth = width;
  rpf.Title1[0] = '\0';
  rpf.Title2[0] = '\0';
  rpf.TitleLines = 1;
  if (collectTitle(job, rpf.Title1, true)) {
    rpf.TitleLines = 2;
    collectTitle(job, rpf.Title2, false);
  }
  reserveHeaderLines(job);
}

// Words of CEN, CUL and UL, set with placeWord. A lone "." or "#" ends the
// list; any other word beginning with "." or "#" ends it too and is returned
// as pending (true), to be dispatched after the command's own work.
bool placeDecoratedWords(Job &job, bool &placed) {
  placed = false;
  while (nextWord(job)) {
    if (isTerminator(job)) return false;
    if (hasCommandPrefix(job)) return true;
    placeWord(job);
    placed = true;
  }
  return false;
}

// Move the current line of the field right by half its spare positions.
void centreCurrentLine(RpfFormatter &rpf) {
  int half = (rpf.EndPos - rpf.NowPos + 2) / 2;
  if (half <= 0 || rpf.NowPos == rpf.StrPos) return;
  GroupLine &line = rpf.LineGroup[rpf.CurLine];
  int length = rpf.NowPos - rpf.StrPos;
  shiftPositions(line, rpf.StrPos, length, half);
  rpf.NowPos += half;
}

// One character per display column of text: a blank where a blank is
// printed, else "x". Returns the number of columns (at most limit).
int inkColumns(const char *text, int bytes, char *ink, int limit) {
  int columns = 0;
  for (int i = 0; i < bytes && columns < limit;) {
    TextCell cell = nextTextCell(text + i, bytes - i);
    char mark = (cell.bytes == 1 && text[i] == ' ') ? ' ' : 'x';
    for (int k = 0; k < cell.columns && columns < limit; ++k) ink[columns++] = mark;
    i += cell.bytes;
  }
  ink[columns] = '\0';
  return columns;
}

// Record the whole current field for underlining on the current line.
void addUnderlineField(Job &job) {
  RpfFormatter &rpf = job.rpf;
  GroupLine &line = rpf.LineGroup[rpf.CurLine];
  if (line.UnderlineCount >= kMaxUnderlineFields) {
    writeMessage(job, Msg::RpfUnderlineFields);
    abortJob(job);
  }
  line.fields[line.UnderlineCount++] = {rpf.StrPos, rpf.EndPos};
}

}  // namespace

// .TTL width words [| words] [. or #]
void execTTL(Job &job) { defineTitles(job); }

// .TTLU width words [| words] [. or #]
void execTTLU(Job &job) {
  defineTitles(job);
  job.rpf.TitleUnderline = 1;
}

// .CEN words [. or # or a command word]
void execCEN(Job &job) {
  bool placed = false;
  bool pending = placeDecoratedWords(job, placed);
  if (placed) centreCurrentLine(job.rpf);
  if (pending) dispatchRpfCommand(job);
  job.rpf.AlignMode = AlignRagged;
}

// .CUL words [. or # or a command word]: the underline goes to the line that
// is current after the pending command.
void execCUL(Job &job) {
  execCEN(job);
  addUnderlineField(job);
}

// .UL words [. or # or a command word]: the underline goes to the line that
// is current before the pending command.
void execUL(Job &job) {
  bool placed = false;
  bool pending = placeDecoratedWords(job, placed);
  addUnderlineField(job);
  if (pending) dispatchRpfCommand(job);
}

// title holds its text, `bytes` long; it becomes exactly TitleWidth
// columns: centred with blanks around, or cut between characters (a wide
// character that would straddle the edge is left out and a blank put in
// its place).
void centreTitle(Job &job, char *title, int bytes) {
  int width = job.rpf.TitleWidth;
  int length = displayColumns(title, bytes);
  if (length < width) {
    int pad = (width - length) / 2;
    std::memmove(title + pad, title, static_cast<size_t>(bytes));
    std::memset(title, ' ', static_cast<size_t>(pad));
    std::memset(title + pad + bytes, ' ', static_cast<size_t>(width - pad - length));
    title[pad + bytes + width - pad - length] = '\0';
    return;
  }
  int kept = fitColumns(title, bytes, width, &length);
  if (length < width) title[kept++] = ' ';
  title[kept] = '\0';
}

void printTitleLine(Job &job, const char *title) {
  RpfFormatter &rpf = job.rpf;
  size_t bytes = std::strlen(title);
  if (rpf.TitleUnderline) {
    char ink[kLinePositions + 1];
    inkColumns(title, static_cast<int>(bytes), ink, kLinePositions);
    clearUnderline(job);
    markUnderline(job, ink, 1, rpf.TitleWidth);
  }
  writePageRow(job, PageRow::Title, title, static_cast<int>(bytes), rpf.TitleUnderline != 0);
}

void clearUnderline(Job &job) {
  std::memset(job.rpf.UnderlineBuffer, ' ', sizeof job.rpf.UnderlineBuffer);
  job.rpf.underlineLength = 0;
}

// Underscores from the first to the last inked column within positions
// start..end (positions past the ink are blank); the row grows to end.
void markUnderline(Job &job, const char *ink, int start, int end) {
  RpfFormatter &rpf = job.rpf;
  if (end > kLinePositions) end = kLinePositions;
  int length = static_cast<int>(std::strlen(ink));
  int last = end < length ? end : length;
  int first = 0;
  int lastMarked = 0;
  for (int p = start < 1 ? 1 : start; p <= last; ++p) {
    if (ink[p - 1] == ' ') continue;
    if (first == 0) first = p;
    lastMarked = p;
  }
  for (int p = first; first != 0 && p <= lastMarked; ++p) rpf.UnderlineBuffer[p] = '_';
  if (end > rpf.underlineLength) rpf.underlineLength = end;
}

// The underline row of group line i, printed up to position end, into the
// UnderlineBuffer; false when the line has no underline fields. Which
// positions of each recorded field get underscores is decided by the
// printed text, so escape-marked blanks count as blanks here; a wide
// character is underlined over both its columns.
bool markLineUnderline(Job &job, int i, int end) {
  const GroupLine &line = job.rpf.LineGroup[i];
  if (line.UnderlineCount == 0) return false;
  char ink[kLinePositions + 1];
  for (int p = 1; p <= end; ++p) ink[p - 1] = hasInk(line, p) ? 'x' : ' ';
  ink[end] = '\0';
  clearUnderline(job);
  for (int k = 0; k < line.UnderlineCount; ++k)
    markUnderline(job, ink, line.fields[k].start, line.fields[k].end);
  return true;
}
