// Decoding: the script is loaded and pre-passed by the job's own routines,
// then every line is decoded once into a CheckLine that the checks walk.
#include <cstring>

#include "checker/Checker.h"
#include "database/SqlText.h"
#include "driver/Job.h"

namespace {

// Newlines in the loaded script before offset.
int newlinesBefore(const Job &job, int offset) {
  int count = 0;
  for (int i = 0; i < offset && i < job.script.scriptLength; ++i)
    if (job.script.text[i] == '\n') ++count;
  return count;
}

// A limit message of loading or the pre-pass, said for the script's writer
// in the run's words.
std::string limitText(const std::string &message) {
  std::string cause = defaultCause((message + "\n").c_str(), "");
  return cause == message ? message : cause + stops(message);
}

// An INTO list goes on when its last character other than a blank, looked
// for down to the second character, is a comma (as the run reads it).
bool listContinues(const std::string &text) {
  for (size_t i = text.size(); i-- > 1;) {
    if (text[i] == ' ') continue;
    return text[i] == ',';
  }
  return false;
}

bool isStatementWord(const std::string &word, int *index) {
  for (int i = 0; i < kStatementCount; ++i) {
    if (word == kStatements[i].word) {
      *index = i;
      return true;
    }
  }
  return false;
}

}  // namespace

bool loadAndPrepass(Checker &c) {
  Job &job = c.job;
  Guarded g = guarded(job, [&job] { loadScript(job); });
  if (g.ended) {
    c.error(newlinesBefore(job, job.script.scriptLength), 1, limitText(g.firstLine()));
    return false;
  }
  if (job.job.input != stdin) std::fclose(job.job.input);
  job.job.input = nullptr;
  SqlState &q = job.sql;
  q.macroRunning = q.macroLineNo = q.sqlIsQuery = q.sqlCollecting = q.inDefineBody = 0;
  g = guarded(job, [&job] { runPrepass(job); });
  if (g.ended) {
    // The pre-pass stops after reading the line (its cursor is past it),
    // or, for an over-long line, 901 characters into it.
    std::string message = g.firstLine();
    int before = newlinesBefore(job, job.script.cursor);
    c.error(message == "line too big" ? before : before - 1, 1, limitText(message));
    // A .DEFINE met inside a body: the ".." missing is the open macro's,
    // so its own .DEFINE line is reported too.
    if (message == "Nested Define Not Allowed") {
      const Macro &open = job.macros.slots[job.macros.nextSlot - 1];
      c.error(open.firstLine - 1, 1,
              std::string("macro ") + open.name + " is never closed by a \"..\" line before the .DEFINE at line " +
                  std::to_string(before));
    }
    return false;
  }
  return true;
}

std::vector<CheckWord> splitWords(const std::string &text) {
  std::vector<CheckWord> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    CheckWord w;
    w.text = text.substr(start, i - start);
    w.upper = w.text;
    foldUpper(w.upper.data());
    w.column = static_cast<int>(start) + 1;
    words.push_back(std::move(w));
  }
  return words;
}

std::vector<SqlReference> sqlReferences(const std::string &text) {
  std::vector<SqlReference> references;
  for (const SqlAmpersand &a : sqlAmpersands(text.c_str())) {
    if (a.literal) continue;
    SqlReference r;
    r.name = text.substr(a.offset + 1, a.nameLength);
    foldUpper(r.name.data());
    r.offset = static_cast<int>(a.offset);
    references.push_back(std::move(r));
  }
  return references;
}

// The kind of a line inside a macro body or at the top level (not a label,
// .DEFINE or ".." line), as the dispatcher classifies it.
static void classify(Checker &c, CheckLine &l, int bodyLineNo) {
  const std::string &first = l.words[0].upper;
  CheckMacro *macro = l.owner > 0 ? &c.macros[l.owner] : nullptr;
  int index = 0;
  SqlWord start = SqlWord::None;
  if (macro && bodyLineNo == 1)
    start = sqlStartOf(l.text.c_str(), static_cast<int>(l.text.size()), first.c_str());
  if (macro && macro->sql && macro->factored && first == "INTO" &&
      factoredKindOf(macro->factoredText.c_str()) == SqlWord::Select) {
    macro->factored = false;            // a WITH ... SELECT: the run takes this INTO line
    macro->query = true;
  }
  if (start != SqlWord::None) {
    macro->sql = true;
    macro->query = start == SqlWord::Select;
    macro->factored = start == SqlWord::Factored;
    macro->sqlLine = l.number - 1;
    l.kind = LineKind::Sql;
  } else if (macro && macro->sql && macro->query && first == "INTO") {
    l.kind = LineKind::Into;
    macro->intoLine = l.number - 1;
  } else if (first == ".REM") {
    l.kind = LineKind::Rem;
  } else if (macro && macro->sql) {
    l.kind = LineKind::Sql;
  } else if (macro && bodyLineNo == 1 && sqlLookingWord(first.c_str())) {
    l.kind = LineKind::Text;
    c.warning(l.number - 1, l.words[0].column,
              "macro " + std::string(c.job.macros.slots[l.owner].name) + " begins with " + first +
                  " but its first line opens no SQL statement: the macro is run as statements and text");
  } else if (isStatementWord(first, &index)) {
    l.kind = LineKind::Statement;
    l.statement = index;
  } else if (first[0] == '.' && (l.macro = findMacro(c.job, first.c_str() + 1)) >= 0) {
    l.kind = LineKind::MacroCall;
  } else {
    l.kind = LineKind::Text;
  }
}

void decodeLines(Checker &c) {
  Job &job = c.job;
  c.macros.assign(job.macros.nextSlot, CheckMacro{});
  int slot = 0;                         // the latest macro defined
  bool inBody = false;
  int bodyLineNo = 0;                   // non-blank lines of the current body
  bool intoContinues = false;
  job.script.cursor = 0;
  while (readScriptLine(job, job.line.lineBuffer)) {
    countWords(job.line.lineBuffer);
    CheckLine l;
    l.number = static_cast<int>(c.lines.size()) + 1;
    l.text = job.line.lineBuffer;
    l.words = splitWords(l.text);
    l.owner = inBody ? slot : 0;
    // The pre-pass takes label, .DEFINE and ".." lines wherever they stand;
    // any other line after an INTO line ending in a comma is read by the
    // INTO list, blank or not.
    const std::string first = l.words.empty() ? "" : l.words[0].upper;
    bool structure = first.compare(0, 2, ".&") == 0 || first == ".DEFINE" || first == "..";
    if (intoContinues && structure)
      c.error(l.number - 1, 1, "the INTO list above ends in a comma, so the run reads this line as its continuation" +
                                   stops("Variable name Wrong"));
    if (intoContinues && !structure) {
      l.kind = LineKind::IntoMore;
      intoContinues = listContinues(l.text);
    } else if (l.words.empty()) {
      l.kind = LineKind::Blank;
    } else if (l.words[0].upper.compare(0, 2, ".&") == 0) {
      l.kind = LineKind::Label;
      intoContinues = false;
      ++bodyLineNo;
    } else if (l.words[0].upper == ".DEFINE") {
      l.kind = LineKind::Define;
      intoContinues = false;
      l.owner = 0;
      ++slot;
      c.macros[slot].defineLine = l.number - 1;
      inBody = true;
      bodyLineNo = 0;
    } else if (l.words[0].upper == "..") {
      l.kind = LineKind::EndDefine;
      intoContinues = false;
      if (!inBody) c.error(l.number - 1, 1, "\"..\" without an open .DEFINE: it ends the latest macro again");
      if (inBody) c.macros[slot].closed = true;
      inBody = false;
    } else {
      classify(c, l, ++bodyLineNo);
      if (l.kind == LineKind::Into) intoContinues = listContinues(l.text);
      if (l.kind == LineKind::Sql && c.macros[l.owner].factored) c.macros[l.owner].factoredText += l.text + " ";
    }
    c.lines.push_back(std::move(l));
  }
  // A WITH statement without INTO is a query when its own verb is SELECT.
  for (CheckMacro &m : c.macros) {
    if (m.factored) m.query = factoredKindOf(m.factoredText.c_str()) == SqlWord::Select;
  }
}
