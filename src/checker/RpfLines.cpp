// Text lines: a dot word in statement position that nothing knows, and the
// RPF commands of the line, read by the formatter itself on a scratch
// state so that its messages are the ones a run would give. Each line is
// read from the formatter's start-up state, with every table the script
// defines anywhere already defined, so that only the line's own mistakes
// show (its arguments), not the order in which a run would meet lines.
#include <cstring>
#include <memory>
#include <set>

#include "checker/Checker.h"
#include "driver/Job.h"

namespace {

constexpr size_t kShownMessage = 60;    // a formatter warning shown up to here

bool isRpfCommand(const std::string &name) {
  for (int i = 0; i < kRpfCommandCount; ++i)
    if (name == kRpfCommands[i].name) return true;
  return false;
}

void checkDotWord(Checker &c, const CheckLine &l) {
  const CheckWord &first = l.words[0];
  if (first.upper.size() < 2 || first.upper[0] != '.' || first.upper[1] < 'A' || first.upper[1] > 'Z') return;
  if (isRpfCommand(first.upper.substr(1))) return;
  c.error(l.number - 1, first.column, dotWordText(first.upper, nearestWord(first.upper, knownDotWords(c.job))));
}

// A line the formatter has something to say about: a word with a command
// prefix, or a word wider than the page.
bool worthReading(const CheckLine &l) {
  for (const CheckWord &w : l.words)
    if (w.text[0] == '.' || w.text[0] == '#' || w.text.size() > static_cast<size_t>(kLinePositions)) return true;
  return false;
}

// The formatter on a scratch state of the checker's job.
struct Scratch {
  Job &job;
  std::unique_ptr<RpfFormatter> startUp = std::make_unique<RpfFormatter>();

  // Back to the start-up state, with an output that goes nowhere (an abort
  // closes it).
  void reset(const std::set<int> &tables) {
    job.rpf = *startUp;
    if (!job.job.report.isOpen()) job.job.report.attach(std::fopen("/dev/null", "w"));
    for (int table : tables) feed(".DT " + std::to_string(table) + " 1 " + std::to_string(kLinePositions) + " .");
  }
  Guarded feed(const std::string &text) {
    return guarded(job, [this, &text] { feedRpfLine(job, text.c_str()); });
  }
};

// The column in the script line of the word the formatter took last: its
// word position counts in the line with escapes removed.
int failedColumn(const Job &job, const std::string &text) {
  const RpfFormatter &rpf = job.rpf;
  int i = rpf.wordNext > 0 ? rpf.words[rpf.wordNext - 1].start : 0;
  size_t at = 0;
  for (int n = 0; n < i && at < text.size(); ++n) at += (text[at] == '\\' && at + 1 < text.size()) ? 2 : 1;
  return static_cast<int>(at) + 1;
}

// "CMD: " for the last RPF command word of the line at or before column,
// the command whose reading failed.
std::string commandBefore(const CheckLine &l, int column) {
  std::string command;
  for (const CheckWord &w : l.words)
    if (w.column <= column && (w.upper[0] == '.' || w.upper[0] == '#') && isRpfCommand(w.upper.substr(1)))
      command = w.upper.substr(1);
  return command.empty() ? "" : command + ": ";
}

}  // namespace

void checkTextLines(Checker &c) {
  std::vector<const CheckLine *> text;
  for (const CheckLine &l : c.lines) {
    if (l.kind != LineKind::Text) continue;
    checkDotWord(c, l);
    if (worthReading(l)) text.push_back(&l);
  }
  if (text.empty()) return;

  // The tables the script's lines define.
  Scratch scratch{c.job};
  std::set<int> tables;
  for (const CheckLine *l : text) {
    scratch.reset({});
    scratch.feed(l->text);
    for (int record = 1; record < kTableRecords; ++record)
      if (c.job.rpf.tables[record].NoCol > 0) tables.insert(record - 1);
  }

  for (const CheckLine *l : text) {
    scratch.reset(tables);
    Guarded g = scratch.feed(l->text);
    if (g.ended && g.message == Msg::RpfTableDefined) {  // the line's own DT
      scratch.reset({});
      g = scratch.feed(l->text);
    }
    if (g.ended) {
      int column = failedColumn(c.job, l->text);
      c.error(l->number - 1, column, commandBefore(*l, column) + g.firstLine());
    } else if (!g.printed.empty()) {
      std::string message = g.firstLine();  // the formatter's warning, which shows the word
      if (message.size() > kShownMessage) message = message.substr(0, kShownMessage) + "...";
      int column = 1;                   // at the first word wider than the page, if any
      for (auto w = l->words.rbegin(); w != l->words.rend(); ++w)
        if (w->text.size() > static_cast<size_t>(kLinePositions)) column = w->column;
      c.warning(l->number - 1, column, formatMessage(Msg::CheckTextTooWide, message.c_str()));
    }
  }
}
