// Titles, centring and underlining: TTL and TTLU store centred titles for
// the page header; CEN, CUL and UL centre and underline a line of the
// current field. Underlining works as on a line printer: a row of
// underscores ended by "\r", then the text line written over it.
#include <cstdio>
#include <cstring>

#include "driver/Job.h"

namespace {

bool isBar(const RpfFormatter &rpf) {
  return rpf.WordLength == 1 && !rpf.WordMark[0] && rpf.Word[0] == '|';
}

// Title words joined by single blanks, up to a terminator, the end of the
// line, or (for the first title) a lone "|"; then centred. Words beginning
// with "." or "#" are title text. Only the first kMaxTitleWidth characters
// are kept, which is all that a title of at most that width can show.
// Returns true when the list was ended by "|".
bool collectTitle(Job &job, char *title, bool barEnds) {
  RpfFormatter &rpf = job.rpf;
  int length = 0;                       // joined length, words and blanks
  int kept = 0;
  bool bar = false;
  while (nextWord(job)) {
    if (isTerminator(job)) break;
    if (barEnds && isBar(rpf)) {
      bar = true;
      break;
    }
    if (length > 0) {
      if (kept < kMaxTitleWidth) title[kept++] = ' ';
      ++length;
    }
    for (int i = 0; i < rpf.WordLength; ++i)
      if (kept < kMaxTitleWidth) title[kept++] = rpf.Word[i];
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
    rpfFail(job, "Illegal width of TTL\n");
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
  std::memmove(line.text + rpf.StrPos + half, line.text + rpf.StrPos, static_cast<size_t>(length));
  std::memmove(line.mark + rpf.StrPos + half, line.mark + rpf.StrPos, static_cast<size_t>(length));
  std::memset(line.text + rpf.StrPos, ' ', static_cast<size_t>(half));
  std::memset(line.mark + rpf.StrPos, 0, static_cast<size_t>(half));
  rpf.NowPos += half;
}

// Record the whole current field for underlining on the current line.
void addUnderlineField(Job &job) {
  RpfFormatter &rpf = job.rpf;
  GroupLine &line = rpf.LineGroup[rpf.CurLine];
  if (line.UnderlineCount >= kMaxUnderlineFields) {
    std::fputs("More than 25 underlined fields in same line!\n", job.job.err);
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

// title holds the first characters of its text (length in all); it becomes
// exactly TitleWidth characters: centred with blanks around, or cut.
void centreTitle(Job &job, char *title, int length) {
  int width = job.rpf.TitleWidth;
  if (length < width) {
    int pad = (width - length) / 2;
    std::memmove(title + pad, title, static_cast<size_t>(length));
    std::memset(title, ' ', static_cast<size_t>(pad));
    std::memset(title + pad + length, ' ', static_cast<size_t>(width - pad - length));
  }
  title[width] = '\0';
}

void printTitleLine(Job &job, const char *title) {
  RpfFormatter &rpf = job.rpf;
  if (rpf.TitleUnderline) {
    clearUnderline(job);
    markUnderline(job, title, 1, rpf.TitleWidth);
  }
  writePageRow(job, PageRow::Title, title, rpf.TitleWidth, rpf.TitleUnderline != 0);
}

void clearUnderline(Job &job) {
  std::memset(job.rpf.UnderlineBuffer, ' ', sizeof job.rpf.UnderlineBuffer);
  job.rpf.underlineLength = 0;
}

// Underscores from the first to the last non-blank character of text within
// positions start..end (positions past the text are blank); the row grows
// to end.
void markUnderline(Job &job, const char *text, int start, int end) {
  RpfFormatter &rpf = job.rpf;
  if (end > kLinePositions) end = kLinePositions;
  int length = static_cast<int>(std::strlen(text));
  int last = end < length ? end : length;
  int first = 0;
  int lastMarked = 0;
  for (int p = start < 1 ? 1 : start; p <= last; ++p) {
    if (text[p - 1] == ' ') continue;
    if (first == 0) first = p;
    lastMarked = p;
  }
  for (int p = first; first != 0 && p <= lastMarked; ++p) rpf.UnderlineBuffer[p] = '_';
  if (end > rpf.underlineLength) rpf.underlineLength = end;
}

// The underline row of group line i (text: the line as it is printed) into
// the UnderlineBuffer; false when the line has no underline fields. Which
// positions of each recorded field get underscores is decided by the
// printed text, so escape-marked blanks count as blanks here.
bool markLineUnderline(Job &job, int i, const char *text) {
  const GroupLine &line = job.rpf.LineGroup[i];
  if (line.UnderlineCount == 0) return false;
  clearUnderline(job);
  for (int k = 0; k < line.UnderlineCount; ++k)
    markUnderline(job, text, line.fields[k].start, line.fields[k].end);
  return true;
}
