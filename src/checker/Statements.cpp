// The statements: every .DECLARE of the script is run first (by the job's
// own execDeclare, so the variable table and its limits are the run's),
// then every statement's words are checked against the tables: macros,
// labels in their scope, variables and their kinds, numbers.
#include <cstring>

#include "checker/Checker.h"
#include "driver/Job.h"
#include "interpreter/Interpreter.h"

namespace {

// Put a line into the interpreter's line state and decode it as the
// dispatcher would.
const ScriptLine &loadLine(Job &job, const std::string &text) {
  copyText(job.line.lineBuffer, sizeof job.line.lineBuffer, text.c_str());
  return decodeLineBuffer(job, 0);
}

// The run's cause of a .DECLARE that stopped, with the message it stops with.
std::string declareText(const Guarded &g) {
  std::string message = messageWords(g.message);
  const std::string &cause = g.cause;
  return cause.empty() || cause == message ? message : cause + stops(g.message);
}

bool hasDigitPosition(const char *picture) { return std::strpbrk(picture, "90") != nullptr; }

// .DECLARE lines in the order of the script, after the two built-in ones.
void declareAll(Checker &c) {
  Job &job = c.job;
  for (const char *builtin : {".DECLARE $$DATE$$ A8", ".DECLARE $$TIME$$ A8"}) {
    const ScriptLine &line = loadLine(job, builtin);
    guarded(job, [&job, &line] { execDeclare(job, line); });
  }
  c.variableLine.assign(job.vars.count, -1);
  for (const CheckLine &l : c.lines) {
    if (l.kind != LineKind::Statement || std::strcmp(kStatements[l.statement].word, ".DECLARE") != 0) continue;
    int index = l.number - 1;
    int before = l.words.size() > 1 ? findVariable(job, l.words[1].upper.c_str()) : -1;
    copyText(job.line.lineBuffer, sizeof job.line.lineBuffer, l.text.c_str());  // for its messages
    const ScriptLine &line = *l.record;
    Guarded g = guarded(job, [&job, &line] { execDeclare(job, line); });
    if (g.ended) {
      c.error(index, l.words.size() > 2 ? l.words[2].column : 1, declareText(g));
      continue;
    }
    c.variableLine.push_back(index);
    if (before >= 0)
      c.warning(index, l.words[1].column,
                c.variableLine[before] >= 0
                    ? formatMessage(Msg::CheckAlreadyDeclaredAt, l.words[1].upper.c_str(), c.variableLine[before] + 1)
                    : formatMessage(Msg::CheckAlreadyDeclared, l.words[1].upper.c_str()));
  }
  c.variableUsed.assign(job.vars.count, false);
}

// A label not found in the scope of the jump, and where it is instead.
std::string labelMissing(const Checker &c, const std::string &name, int owner) {
  return labelNotDefined(c.job, name, owner) + stops(Msg::LabelNameWrong);
}

// The checks of one statement line.
struct StatementCheck {
  Checker &c;
  const CheckLine &l;
  int index;                            // of the line in c.lines

  const CheckWord *word(size_t i) const { return i < l.words.size() ? &l.words[i] : nullptr; }
  int columnOf(size_t i) const { return i < l.words.size() ? l.words[i].column : 1; }
  void error(size_t wordIndex, const std::string &text) { c.error(index, columnOf(wordIndex), text); }

  // A statement needs at least n words.
  bool needs(size_t n, Msg message) {
    if (l.words.size() >= n) return true;
    error(0, defaultCause(message, l.words[0].upper.c_str()) + stops(message));
    return false;
  }

  int variable(const std::string &name, int column) { return useVariable(c, index, name, column); }
  int variable(size_t i) { return variable(l.words[i].upper, l.words[i].column); }

  void macro(size_t i, const char *role) {
    int slot = findMacro(c.job, l.words[i].upper.c_str());
    if (slot >= 0) {
      c.macros[slot].called = true;
      return;
    }
    error(i, macroNotDefined(role, l.words[i].upper));
  }

  void label(size_t i) {
    const std::string &name = l.words[i].upper;
    int found = findLabel(c.job, name.c_str(), l.owner);
    if (found >= 0) {
      c.labelUsed[found] = true;
      return;
    }
    error(i, labelMissing(c, name, l.owner));
  }

  // Word i reads as a number of the target's kind, as the run reads it.
  bool number(size_t i, VariableKind kind) const {
    const Operand &operand = l.record->args[i - 1];
    return kind == VariableKind::Real ? operand.isReal : operand.isInteger;
  }

  // The text between the first two double quotes; false (reported) if none.
  bool quoted(size_t *open, size_t *close) {
    const ScriptLine &r = *l.record;
    *open = r.quoteOpen < 0 ? std::string::npos : static_cast<size_t>(r.quoteOpen);
    *close = r.quoteClose < 0 ? std::string::npos : static_cast<size_t>(r.quoteClose);
    if (*close != std::string::npos) return true;
    c.error(index, *open == std::string::npos ? columnOf(0) : static_cast<int>(*open) + 1,
            formatMessage(*open == std::string::npos ? Msg::CheckNoQuotes : Msg::CheckUnmatchedQuote,
                          l.words[0].upper.c_str()));
    return false;
  }

  // The words after the closing quote (the operands of .ASK and .IF).
  std::vector<CheckWord> wordsAfterQuote(size_t close) const {
    const ScriptLine &r = *l.record;
    return placeWords(l.text, close + 1, r.argCount > 0 ? r.args[0].word : "", r.argCount);
  }

  void run();
  void set();
  void calc();
  void ask();
  void conditional();
  void report();
};

void StatementCheck::set() {
  if (!needs(3, Msg::SetInvalid)) return;
  int v = variable(1);
  if (v < 0) return;
  VariableKind kind = c.job.vars.entries[v].kind;
  if (kind == VariableKind::Text) {
    const ScriptLine &r = *l.record;
    if (r.quoteOpen >= 0 && r.quoteClose < 0)
      c.error(index, r.quoteOpen + 1, formatMessage(Msg::CheckUnmatchedQuote, ".SET") + stops(Msg::SetQuotes));
  } else if (!number(2, kind)) {
    error(2, notANumber(l.words[2].text, kind == VariableKind::Real, l.words[1].upper) + stops(Msg::IllegalNumber));
  }
}

// .ADD target operand operand (and .SUB, .MUL, .DIV)
void StatementCheck::calc() {
  if (!needs(4, Msg::CalcInvalid)) return;
  int target = variable(1);
  if (target < 0) return;
  VariableKind kind = c.job.vars.entries[target].kind;
  if (kind == VariableKind::Text) {
    error(1, formatMessage(Msg::CauseTextInArithmetic, l.words[1].upper.c_str()) + stops(Msg::VariableTypeWrong));
    return;
  }
  for (size_t i = 2; i <= 3; ++i) {
    int operand = findVariable(c.job, l.words[i].upper.c_str());
    if (operand >= 0) {
      c.variableUsed[operand] = true;
      if (c.job.vars.entries[operand].kind == VariableKind::Text)
        error(i, formatMessage(Msg::CauseTextInArithmetic, l.words[i].upper.c_str()));
    } else if (!number(i, kind)) {
      error(i, notAnOperand(c.job, l.words[i].upper) + stops(Msg::IllegalNumber));
    }
  }
}

// .ASK "question" name
void StatementCheck::ask() {
  size_t open, close;
  if (!quoted(&open, &close)) return;
  std::vector<CheckWord> after = wordsAfterQuote(close);
  if (after.size() != 1) {
    c.error(index, static_cast<int>(close) + 1, messageText(Msg::CheckAskOneName) + stops(Msg::AskInvalid));
    return;
  }
  variable(after[0].upper, after[0].column);
}

// .IF "condition" THEN label [ELSE label]
void StatementCheck::conditional() {
  size_t open, close;
  if (!quoted(&open, &close)) return;
  for (const SqlReference &r : sqlReferences(l.text.substr(open + 1, close - open - 1)))
    variable(r.name, static_cast<int>(open) + 2 + r.offset);
  std::vector<CheckWord> after = wordsAfterQuote(close);
  int shift = static_cast<int>(close) + 1;
  auto at = [&](size_t i) { return after[i].column; };
  if (after.size() != 2 && after.size() != 4) {
    c.error(index, shift, messageText(Msg::CheckIfWords) + stops(Msg::IfInvalid));
    return;
  }
  if (after[0].upper != "THEN") {
    c.error(index, at(0), formatMessage(Msg::CheckThenExpected, after[0].text.c_str()) + stops(Msg::IfNoThen));
    return;
  }
  if (after.size() == 4 && after[2].upper != "ELSE") {
    c.error(index, at(2), formatMessage(Msg::CheckElseExpected, after[2].text.c_str()) + stops(Msg::IfBadElse));
    return;
  }
  for (size_t i = 1; i < after.size(); i += 2) {
    int found = findLabel(c.job, after[i].upper.c_str(), l.owner);
    if (found >= 0) {
      c.labelUsed[found] = true;
      continue;
    }
    c.error(index, at(i), labelMissing(c, after[i].upper, l.owner));
  }
}

// .REPORT select body [head [foot]]
void StatementCheck::report() {
  if (!needs(3, Msg::ReportInvalid)) return;
  static const char *const kRoles[] = {"SELECT ", "BODY ", "HEAD ", "FOOT "};
  for (size_t i = 1; i < l.words.size() && i <= 4; ++i) macro(i, kRoles[i - 1]);
  int select = findMacro(c.job, l.words[1].upper.c_str());
  if (select >= 0 && !c.macros[select].query)
    error(1, formatMessage(Msg::CheckNotASelect, l.words[1].upper.c_str()) + stops(Msg::NotAQuery));
}

void StatementCheck::run() {
  std::string word = kStatements[l.statement].word;
  if (word == ".SET") {
    set();
  } else if (word == ".EQUAL") {
    if (!needs(3, Msg::EqualInvalid)) return;
    int to = variable(1), from = variable(2);
    if (to >= 0 && from >= 0 && c.job.vars.entries[to].kind != c.job.vars.entries[from].kind)
      error(2, formatMessage(Msg::CauseKindsDiffer, l.words[1].upper.c_str(), l.words[2].upper.c_str()) +
                   stops(Msg::MismatchedTypes));
  } else if (word == ".TELL") {
    size_t open, close;
    quoted(&open, &close);
  } else if (word == ".ASK") {
    ask();
  } else if (word == ".PRINT") {
    if (!needs(2, Msg::PrintInvalid)) return;
    for (size_t i = 1; i < l.words.size(); ++i) {
      int v = variable(i);
      const Variable *printed = v >= 0 ? &c.job.vars.entries[v] : nullptr;
      if (printed && printed->kind != VariableKind::Text && !hasDigitPosition(printed->picture))
        error(i, formatMessage(Msg::CheckNoDigitPosition, printed->picture, printed->name));
    }
  } else if (word == ".EXECUTE") {
    if (needs(2, Msg::ExecuteInvalid)) macro(1, "");
  } else if (word == ".REPORT") {
    report();
  } else if (word == ".IF") {
    conditional();
  } else if (word == ".IFNULL") {
    if (!needs(3, Msg::IfNullInvalid)) return;
    variable(1);
    label(2);
  } else if (word == ".ADD" || word == ".SUB" || word == ".MUL" || word == ".DIV") {
    calc();
  } else if (word == ".GOTO") {
    if (needs(2, Msg::GotoInvalid)) label(1);
  }
}

// The names of an INTO line or its continuation, commas or blanks between
// (the run cuts the list apart when it reaches the line).
std::vector<CheckWord> intoNames(const CheckLine &l) {
  std::vector<CheckWord> names;
  const std::string &text = l.text;
  auto between = [](char ch) { return ch == ' ' || ch == '\t' || ch == ','; };
  for (size_t i = 0; i < text.size();) {
    while (i < text.size() && between(text[i])) ++i;
    if (i == text.size()) break;
    size_t start = i;
    while (i < text.size() && !between(text[i])) ++i;
    CheckWord w;
    w.text = text.substr(start, i - start);
    w.upper = w.text;
    foldUpper(w.upper.data());
    w.column = static_cast<int>(start) + 1;
    names.push_back(std::move(w));
  }
  if (l.kind == LineKind::Into && !names.empty()) names.erase(names.begin());
  return names;
}

// The variables of SQL lines and INTO lists.
void checkSqlLine(Checker &c, const CheckLine &l) {
  int index = l.number - 1;
  CheckMacro &m = c.macros[l.owner];
  if (l.kind == LineKind::Sql) {
    for (const SqlReference &r : sqlReferences(l.text)) useVariable(c, index, r.name, r.offset + 1);
    return;
  }
  if (l.kind == LineKind::Into) {
    m.intoVariables.clear();
    m.intoColumns.clear();
  }
  std::vector<CheckWord> names = intoNames(l);
  if (names.empty()) {
    c.error(index, 1, messageText(Msg::CheckIntoEmpty) + stops(Msg::IntoInvalid));
    return;
  }
  for (const CheckWord &name : names) {
    int v = useVariable(c, index, name.upper, name.column);
    m.intoVariables.push_back(v);
    m.intoColumns.push_back(name.column);
  }
}

// A collected statement past sqlBuffer is refused by the run.
void checkSqlLength(Checker &c) {
  for (size_t slot = 1; slot < c.macros.size(); ++slot) {
    if (!c.macros[slot].sql) continue;
    size_t length = 0;
    for (const CheckLine &l : c.lines)
      if (l.owner == static_cast<int>(slot) && l.kind == LineKind::Sql) length += l.text.size() + 1;
    if (length > static_cast<size_t>(kSqlBufferSize - 1))
      c.error(c.macros[slot].sqlLine, 1,
              messageText(Msg::CheckSqlTooLong) + stops(Msg::SqlTooLong));
  }
}

}  // namespace

int useVariable(Checker &c, int lineIndex, const std::string &name, int column) {
  int v = findVariable(c.job, name.c_str());
  if (v >= 0) {
    c.variableUsed[v] = true;
    return v;
  }
  c.error(lineIndex, column, variableNotDeclared(c.job, name) + (name.empty() ? stops(Msg::VariableNameWrong) : ""));
  return -1;
}

void checkStatements(Checker &c) {
  declareAll(c);
  c.labelUsed.assign(c.job.labels.count, false);
  for (const CheckLine &l : c.lines) {
    switch (l.kind) {
      case LineKind::Statement: {
        StatementCheck check{c, l, l.number - 1};
        check.run();
        break;
      }
      case LineKind::MacroCall:
        c.macros[l.macro].called = true;
        break;
      case LineKind::Sql:
      case LineKind::Into:
      case LineKind::IntoMore:
        checkSqlLine(c, l);
        break;
      case LineKind::Blank:
      case LineKind::Define:
      case LineKind::EndDefine:
      case LineKind::Label:
      case LineKind::Rem:
      case LineKind::Text:
        break;
    }
  }
  checkSqlLength(c);
}
