// The lines: the script is loaded and pre-passed by the job's own routines,
// then every record is taken into a CheckLine that the checks walk.
#include <cstring>

#include "checker/Checker.h"
#include "database/SqlText.h"
#include "driver/Job.h"
#include "interpreter/Interpreter.h"

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
std::string limitText(Msg message) {
  std::string cause = defaultCause(message, "");
  return cause == messageWords(message) ? cause : cause + stops(message);
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

}  // namespace

bool loadAndPrepass(Checker &c) {
  Job &job = c.job;
  Guarded g = guarded(job, [&job] { loadScript(job); });
  if (g.ended) {
    c.error(newlinesBefore(job, job.script.scriptLength), 1, limitText(g.message));
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
    int before = newlinesBefore(job, job.script.cursor);
    c.error(g.message == Msg::LineTooBig ? before : before - 1, 1, limitText(g.message));
    // A .DEFINE met inside a body: the ".." missing is the open macro's,
    // so its own .DEFINE line is reported too.
    if (g.message == Msg::NestedDefine) {
      const Macro &open = job.macros.slots[job.macros.nextSlot - 1];
      c.error(open.firstLine - 1, 1,
              formatMessage(Msg::CheckNeverClosedBefore, open.name, before));
    }
    return false;
  }
  return true;
}

std::vector<CheckWord> placeWords(const std::string &text, size_t from, const char *words, int count) {
  std::vector<CheckWord> placed;
  size_t at = from;
  for (int i = 0; i < count; ++i) {
    size_t length = std::strlen(words);
    words += length + 1;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    CheckWord w;
    w.text = text.substr(at, length);
    w.upper = w.text;
    foldUpper(w.upper.data());
    w.column = static_cast<int>(at) + 1;
    placed.push_back(std::move(w));
    at += length;
  }
  return placed;
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
// .DEFINE or ".." line), as the dispatcher takes its record.
static void classify(Checker &c, CheckLine &l, int bodyLineNo) {
  const ScriptLine &r = *l.record;
  const std::string &first = l.words[0].upper;
  CheckMacro *macro = l.owner > 0 ? &c.macros[l.owner] : nullptr;
  SqlWord start = macro && bodyLineNo == 1 ? r.sqlWord : SqlWord::None;
  if (macro && macro->sql && macro->factored && r.into &&
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
  } else if (macro && macro->sql && macro->query && r.into) {
    l.kind = LineKind::Into;
    macro->intoLine = l.number - 1;
  } else if (r.kind == ScriptLineKind::Remark) {
    l.kind = LineKind::Rem;
  } else if (macro && macro->sql) {
    l.kind = LineKind::Sql;
  } else if (macro && bodyLineNo == 1 && sqlLookingWord(first.c_str())) {
    l.kind = LineKind::Text;
    c.warning(l.number - 1, l.words[0].column,
              formatMessage(Msg::CheckSqlWordMacro, c.job.macros.slots[l.owner].name, first.c_str()));
  } else if (r.kind == ScriptLineKind::Statement) {
    l.kind = LineKind::Statement;
    l.statement = static_cast<int>(r.statement);
  } else if (r.kind == ScriptLineKind::MacroCall) {
    l.kind = LineKind::MacroCall;
    l.macro = r.macroSlot;
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
  for (int i = 0; i < job.script.lineCount; ++i) {
    const ScriptLine &r = job.script.lines[i];
    CheckLine l;
    l.record = &r;
    l.number = i + 1;
    l.text.assign(r.text, static_cast<size_t>(r.length));
    l.words = placeWords(l.text, 0, r.words, r.wordCount);
    l.owner = r.owner;
    // The pre-pass takes label, .DEFINE and ".." lines wherever they stand;
    // any other line after an INTO line ending in a comma is read by the
    // INTO list, blank or not.
    bool structure = r.kind == ScriptLineKind::Label || r.kind == ScriptLineKind::Define ||
                     r.kind == ScriptLineKind::EndDefine;
    if (intoContinues && structure)
      c.error(l.number - 1, 1, messageText(Msg::CheckIntoContinues) + stops(Msg::VariableNameWrong));
    if (intoContinues && !structure) {
      l.kind = LineKind::IntoMore;
      intoContinues = listContinues(l.text);
    } else if (r.kind == ScriptLineKind::Blank) {
      l.kind = LineKind::Blank;
    } else if (r.kind == ScriptLineKind::Label) {
      l.kind = LineKind::Label;
      intoContinues = false;
      ++bodyLineNo;
    } else if (r.kind == ScriptLineKind::Define) {
      l.kind = LineKind::Define;
      intoContinues = false;
      ++slot;
      c.macros[slot].defineLine = l.number - 1;
      inBody = true;
      bodyLineNo = 0;
    } else if (r.kind == ScriptLineKind::EndDefine) {
      l.kind = LineKind::EndDefine;
      intoContinues = false;
      if (!inBody) c.error(l.number - 1, 1, messageText(Msg::CheckStrayEnd));
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
