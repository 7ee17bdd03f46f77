// Tables and columns: DT defines a table, T enters it inside the current
// column, TE leaves it, NC moves to the next column. Columns of one row are
// filled one after another from line 0 of the shared line group, so they
// print side by side.
#include "driver/Job.h"

namespace {

// Column slots 2 to kColumnSlots - 1 can be handed out (slot 1 is the page).
constexpr int kLastSlot = kColumnSlots - 1;

// A table number word: 0 to 29, else "Illegal Table Number".
int takeTableRecord(Job &job) {
  int number = takeNumber(job, Msg::RpfIllegalTable);
  if (number < 0 || number > kMaxTableNumber) rpfFail(job, Msg::RpfIllegalTable);
  return number + 1;
}

// Line 0 of the group holds something in the current field's positions.
bool fieldTaken(const RpfFormatter &rpf) {
  const GroupLine &line = rpf.LineGroup[0];
  if (!line.LineUsed) return false;
  for (int p = rpf.StrPos; p <= rpf.EndPos; ++p)
    if (!isGap(line, p)) return true;
  return false;
}

}  // namespace

// .DT n s1 e1 s2 e2 ... . : table n (0 to 29), one column per pair. An end
// of 0 (flexi) is allowed for the last column only.
//
// Defining a table number a second time is refused ("Table already
// defined"): a table may be entered when it is redefined, and its owners
// keep column numbers of the old definition. The column slots of all
// definitions together are bounded by the ColumnStore: past 1,494 columns
// the job is refused with ">1494 columns defined in all".
void execDT(Job &job) {
  RpfFormatter &rpf = job.rpf;
  int record = takeTableRecord(job);
  RpfTable &table = rpf.tables[record];
  if (table.NoCol != 0) rpfFail(job, Msg::RpfTableDefined);
  table.PnPos = rpf.NextSlot;
  int previousEnd = 0;
  for (;;) {
    takeWord(job);
    if (isTerminator(job)) break;
    int start = 0;
    if (!readWordNumber(job, start)) rpfFail(job, Msg::RpfIllegalSpn);
    int end = takeNumber(job, Msg::RpfIllegalEpn);
    if (end != 0 && end < start) rpfFail(job, Msg::RpfEpnBelowSpn);
    if (end != 0 && end > kLinePositions) rpfFail(job, Msg::RpfEpnTooBig);
    if (start > kLinePositions) rpfFail(job, Msg::RpfSpnTooBig);
    if (start <= previousEnd) rpfFail(job, Msg::RpfSpnNotAfter);
    if (table.NoCol > 0 && previousEnd == 0) rpfFail(job, Msg::RpfZeroFlexi);
    if (rpf.NextSlot + 1 > kLastSlot) rpfFail(job, Msg::RpfTooManyColumnsAll);
    ++rpf.NextSlot;
    rpf.ColumnStore[rpf.NextSlot] = {start, end};
    previousEnd = end;
    ++table.NoCol;
  }
  if (table.NoCol == 0) rpfFail(job, Msg::RpfNoColumns);
  if (table.NoCol > kMaxColumnsPerTable) rpfFail(job, Msg::RpfTooManyColumns);
  table.Flexi = rpf.ColumnStore[rpf.NextSlot].Epn == 0 ? 1 : 0;
  if (record > rpf.MaxTno) rpf.MaxTno = record;
}

// .T n: enter table n in the current column; its positions count from where
// that column starts (indents of I and P do not count). T -1, which would
// name the page's own record, is refused like any number outside 0 to 29.
void execT(Job &job) {
  RpfFormatter &rpf = job.rpf;
  closeLine(job, false);
  int record = takeTableRecord(job);
  RpfTable &table = rpf.tables[record];
  if (table.NoCol == 0) rpfFail(job, Msg::RpfTableNotDefined);
  const RpfTable &current = rpf.tables[rpf.CurTno];
  table.OwnCol = rpf.CurCol;
  table.OwnTno = rpf.CurTno;
  table.Base = current.Base + rpf.ColumnStore[current.PnPos + rpf.CurCol].Spn - 1;
  rpf.CurTno = record;
  rpf.CurCol = 1;
  openColumn(job, 1);
  if (fieldTaken(rpf)) flushRpf(job);
}

// .TE: print the group and go back to the column the table was entered in.
// At the page, outside any table, TE only prints the group and the page's
// column stays current.
void execTE(Job &job) {
  RpfFormatter &rpf = job.rpf;
  flushRpf(job);
  if (rpf.CurTno == 0) return;
  const RpfTable &table = rpf.tables[rpf.CurTno];
  rpf.CurCol = table.OwnCol;
  rpf.CurTno = table.OwnTno;
  openColumn(job, rpf.CurCol);
}

// .NC: next column; past the last one the row is printed and column 1 of a
// new row follows.
void execNC(Job &job) {
  RpfFormatter &rpf = job.rpf;
  closeLine(job, false);
  ++rpf.CurCol;
  if (rpf.CurCol > rpf.tables[rpf.CurTno].NoCol) flushRpf(job);
  rpf.CurLine = 0;
  openColumn(job, rpf.CurCol);
}
