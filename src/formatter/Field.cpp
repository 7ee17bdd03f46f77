// The current field: opening a column of the current table, and the state
// dump written into the report before a layout error.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "driver/Job.h"

namespace {

// printf's text of the values, appended to text.
__attribute__((format(printf, 2, 3))) void appendFormatted(std::string &text, const char *format, ...) {
  va_list values, again;
  va_start(values, format);
  va_copy(again, values);
  int length = std::vsnprintf(nullptr, 0, format, values);
  va_end(values);
  if (length > 0) {
    size_t at = text.size();
    text.resize(at + static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data() + at, static_cast<size_t>(length) + 1, format, again);
    text.resize(at + static_cast<size_t>(length));
  }
  va_end(again);
}

[[noreturn]] void layoutFail(Job &job, Msg message) {
  writeMessage(job, message);
  dumpFormatterState(job);
  abortJob(job);
}

}  // namespace

// Make column c of the current table the current field, at line 0 of the
// line group with AlignFill. A flexi last column is widened to the width of
// the column its table was entered in, every time it is opened.
//
// A field whose end, counted from its table's Base, lies beyond print
// position 255 is cut at 255: lines hold 255 positions. A field that then
// starts beyond its end is the "Serious error" layout error.
void openColumn(Job &job, int column) {
  RpfFormatter &rpf = job.rpf;
  RpfTable &table = rpf.tables[rpf.CurTno];
  ColumnSlot &slot = rpf.ColumnStore[table.PnPos + column];
  int base = table.Base;
  rpf.ParaIndentPending = 0;
  rpf.StrPos = base + slot.Spn - 1;
  if (column == table.NoCol && table.Flexi == 1) {
    const ColumnSlot &owner = rpf.ColumnStore[rpf.tables[table.OwnTno].PnPos + table.OwnCol];
    slot.Epn = owner.Epn - owner.Spn + 1;
    if (slot.Epn < slot.Spn) layoutFail(job, Msg::RpfFlexiPromotion);
  }
  rpf.EndPos = slot.Epn + base - 1;
  if (rpf.EndPos > kLinePositions) rpf.EndPos = kLinePositions;
  if (rpf.EndPos < rpf.StrPos) layoutFail(job, Msg::RpfEndposStrpos);
  rpf.NowPos = rpf.StrPos;
  rpf.CurLine = 0;
  rpf.AlignMode = AlignFill;
  rpf.Width = rpf.EndPos - rpf.StrPos + 1;
  raiseLineEnd(job, 0);
  rpf.LineDone = 0;
}

// The cursor, every table record up to MaxTno with its columns, and the
// lines in use, into the report, written whole through its stream. Marks
// are kept beside the text, so the lines show the characters without them.
void dumpFormatterState(Job &job) {
  RpfFormatter &rpf = job.rpf;
  std::string dump;
  appendFormatted(dump, "CurTno=%d CurCol=%d StrPos=%d EndPos=%d Width=%d NowPos=%d Word=%.*s\n", rpf.CurTno - 1,
                  rpf.CurCol, rpf.StrPos, rpf.EndPos, rpf.Width, rpf.NowPos, rpf.WordLength, rpf.Word);
  for (int r = 0; r <= rpf.MaxTno && r < kTableRecords; ++r) {
    const RpfTable &t = rpf.tables[r];
    appendFormatted(dump, "NoCol=%d PnPos=%d OwnTno=%d OwnCol=%d Base=%d Flexi=%d\n", t.NoCol, t.PnPos, t.OwnTno,
                    t.OwnCol, t.Base, t.Flexi);
    for (int c = 1; c <= t.NoCol; ++c) {
      const ColumnSlot &s = rpf.ColumnStore[t.PnPos + c];
      appendFormatted(dump, "Spn=%d  Epn=%d\n", s.Spn, s.Epn);
    }
  }
  for (const GroupLine &line : rpf.LineGroup) {
    if (!line.LineUsed) continue;
    int end = line.LineEnd < 0 ? 0 : line.LineEnd > kLinePositions ? kLinePositions : line.LineEnd;
    appendLineBytes(line, 1, end, dump);
    dump += '\n';
  }
  job.job.report.writeDump(dump, job.job.err);
}
