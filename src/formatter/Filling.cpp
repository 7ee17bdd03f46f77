// Word filling and line alignment: words are set left to right into the
// current field; a line is aligned when it is closed. Also the commands that
// shape the field's lines: N, CS, R, RR, FR, P, I.
//
// The text of the field's current line occupies positions StrPos to
// NowPos - 2; NowPos - 1 holds the blank after the last word.
#include <cstdio>
#include <cstring>

#include "driver/Job.h"

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
  std::memmove(line.text + rpf.StrPos + shift, line.text + rpf.StrPos, static_cast<size_t>(length));
  std::memmove(line.mark + rpf.StrPos + shift, line.mark + rpf.StrPos, static_cast<size_t>(length));
  std::memset(line.text + rpf.StrPos, ' ', static_cast<size_t>(shift));
  std::memset(line.mark + rpf.StrPos, 0, static_cast<size_t>(shift));
}

bool isGap(const GroupLine &line, int p) { return line.text[p] == ' ' && !line.mark[p]; }

// Widening of a broken line: when the spare positions after the text are
// fewer than its gaps between words, one blank is inserted after each of
// the first `spare` blanks, so the text ends exactly at EndPos. A line with
// at least as many spare positions as gaps stays as placed.
void alignFill(RpfFormatter &rpf, GroupLine &line) {
  int first = rpf.StrPos;
  int last = rpf.NowPos - 2;
  int spare = rpf.EndPos - rpf.NowPos + 2;
  if (last - first + 1 < 2 || spare < 1) return;
  int words = 0;
  for (int p = first; p <= last; ++p)
    if (!isGap(line, p) && (p == first || isGap(line, p - 1))) ++words;
  if (words < 2 || spare >= words - 1) return;
  char text[kLinePositions + 1];
  bool mark[kLinePositions + 1];
  int n = 0;
  int inserted = 0;
  for (int p = first; p <= last; ++p) {
    text[n] = line.text[p];
    mark[n++] = line.mark[p];
    if (isGap(line, p) && inserted < spare) {
      text[n] = ' ';
      mark[n++] = false;
      ++inserted;
    }
  }
  // n is EndPos - StrPos + 1: the rewritten text fills the field exactly.
  std::memcpy(line.text + first, text, static_cast<size_t>(n));
  std::memcpy(line.mark + first, mark, static_cast<size_t>(n));
}

}  // namespace

// Set Word into the current field, breaking lines while it does not fit. A
// word wider than the whole column is cut to the column's width (warning).
void placeWord(Job &job) {
  RpfFormatter &rpf = job.rpf;
  openLine(job, rpf.CurLine);
  int length = rpf.WordLength;
  if (length > rpf.Width) {
    std::fprintf(job.job.err, "Table=%d Col=%d Width=%d exceeded: %d %s\n", rpf.CurTno - 1,
                 rpf.CurCol, rpf.Width, length, rpf.Word);
    length = rpf.Width;
    rpf.Word[length] = '\0';
    rpf.WordLength = length;
  }
  while (length > rpf.EndPos - rpf.NowPos + 1) {
    closeLine(job, true);
    advanceCurLine(job);
    rpf.NowPos = rpf.StrPos;
    raiseLineEnd(job, rpf.CurLine);
    rpf.LineDone = 0;
    openLine(job, rpf.CurLine);
  }
  GroupLine &line = rpf.LineGroup[rpf.CurLine];
  std::memcpy(line.text + rpf.NowPos, rpf.Word, static_cast<size_t>(length));
  std::memcpy(line.mark + rpf.NowPos, rpf.WordMark, static_cast<size_t>(length));
  rpf.NowPos += length + 1;
}

// Blank line i and put it in use, bounded by the current field's end.
void openLine(Job &job, int i) {
  RpfFormatter &rpf = job.rpf;
  GroupLine &line = rpf.LineGroup[i];
  if (line.LineUsed) return;
  line.LineUsed = 1;
  line.LineEnd = rpf.EndPos;
  std::memset(line.text, ' ', sizeof line.text);
  std::memset(line.mark, 0, sizeof line.mark);
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
