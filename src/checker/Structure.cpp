// Macro and label structure: bodies never closed, duplicate names, bodies
// that mix SQL and statements, and what is defined but never used.
#include "checker/Checker.h"
#include "driver/Job.h"
#include "interpreter/Interpreter.h"

namespace {

// The index in c.lines of label `label` (the pre-pass numbers the label
// lines in order).
int labelLine(const Checker &c, int label) {
  int seen = 0;
  for (const CheckLine &l : c.lines)
    if (l.kind == LineKind::Label && seen++ == label) return l.number - 1;
  return 0;                             // not reached: decoding takes the pre-pass's labels
}

const char *macroName(const Checker &c, int slot) { return c.job.macros.slots[slot].name; }

int firstColumn(const CheckLine &l) { return l.words.empty() ? 1 : l.words[0].column; }

int nameColumn(const CheckLine &l) { return l.words.size() > 1 ? l.words[1].column : 1; }

void checkMacros(Checker &c) {
  for (size_t slot = 1; slot < c.macros.size(); ++slot) {
    const CheckMacro &m = c.macros[slot];
    const CheckLine &define = c.lines[m.defineLine];
    if (!m.closed)
      c.error(m.defineLine, 1,
              formatMessage(Msg::CheckNeverClosed, macroName(c, slot)));
    std::string dotted = std::string(".") + macroName(c, slot);
    for (int i = 0; i < kStatementCount; ++i)
      if (dotted == kStatements[i].word)
        c.warning(m.defineLine, nameColumn(define),
                  formatMessage(Msg::CheckMacroLikeStatement, macroName(c, slot), macroName(c, slot), macroName(c, slot)));
    for (int i = 0; i < kRpfCommandCount; ++i)
      if (dotted.substr(1) == kRpfCommands[i].name)
        c.warning(m.defineLine, nameColumn(define),
                  formatMessage(Msg::CheckMacroHidesCommand, macroName(c, slot), macroName(c, slot), macroName(c, slot)));
    int first = findMacro(c.job, macroName(c, slot));
    if (first != static_cast<int>(slot))
      c.error(m.defineLine, nameColumn(define),
              formatMessage(Msg::CheckMacroDefinedTwice, macroName(c, slot), c.macros[first].defineLine + 1));
  }
}

void checkLabels(Checker &c) {
  const LabelTable &t = c.job.labels;
  for (int i = 0; i < t.count; ++i) {
    int first = findLabel(c.job, t.entries[i].name, t.entries[i].owner);
    if (first == i) continue;
    int line = labelLine(c, i);
    c.error(line, firstColumn(c.lines[line]),
            formatMessage(Msg::CheckLabelDefinedTwice, t.entries[i].name, labelLine(c, first) + 1));
  }
}

// SQL is recognised on a macro's first line only, and a statement in an
// SQL body is sent to the server as SQL text.
void checkBodies(Checker &c) {
  for (const CheckLine &l : c.lines) {
    int index = l.number - 1;
    if (l.kind == LineKind::Sql && index != c.macros[l.owner].sqlLine && l.words[0].text[0] == '.' &&
        l.words[0].text.size() > 1) {
      c.error(index, l.words[0].column,
              formatMessage(Msg::CheckStatementInSql, l.words[0].upper.c_str()));
    }
    if (l.kind != LineKind::Text) continue;
    const std::string &first = l.words[0].upper;
    if (first == "INTO") {
      c.error(index, l.words[0].column, messageText(Msg::CheckIntoNotAfterSelect));
    } else if (l.owner > 0 && sqlStartOf(l.text.c_str(), static_cast<int>(l.text.size()), first.c_str()) != SqlWord::None) {
      c.error(index, l.words[0].column, messageText(Msg::CheckSqlInStatements));
    }
  }
}

}  // namespace

void checkStructure(Checker &c) {
  checkMacros(c);
  checkLabels(c);
  checkBodies(c);
}

void checkUnused(Checker &c) {
  const LabelTable &t = c.job.labels;
  for (int i = 0; i < t.count && i < static_cast<int>(c.labelUsed.size()); ++i) {
    if (c.labelUsed[i] || findLabel(c.job, t.entries[i].name, t.entries[i].owner) != i) continue;
    int line = labelLine(c, i);
    c.warning(line, firstColumn(c.lines[line]), formatMessage(Msg::CheckLabelUnused, t.entries[i].name));
  }
  for (size_t slot = 1; slot < c.macros.size(); ++slot) {
    const CheckMacro &m = c.macros[slot];
    if (m.called || findMacro(c.job, macroName(c, slot)) != static_cast<int>(slot)) continue;
    c.warning(m.defineLine, nameColumn(c.lines[m.defineLine]),
              formatMessage(Msg::CheckMacroUnused, macroName(c, slot)));
  }
  const VariableTable &vars = c.job.vars;
  for (int i = 0; i < vars.count && i < static_cast<int>(c.variableUsed.size()); ++i) {
    int line = c.variableLine[i];
    // The built-in ones have no line; a second declaration of a name has
    // its own warning.
    if (c.variableUsed[i] || line < 0 || findVariable(c.job, vars.entries[i].name) != i) continue;
    c.warning(line, nameColumn(c.lines[line]),
              formatMessage(Msg::CheckVariableUnused, vars.entries[i].name));
  }
}
