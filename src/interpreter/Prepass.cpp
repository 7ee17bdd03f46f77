// The pre-pass: one read of the whole script that decodes every line into
// its record and records where every macro body starts and ends and where
// every label stands and who owns it.
#include <algorithm>
#include <cstring>

#include "driver/Job.h"
#include "interpreter/Interpreter.h"

// Store a name in a pool; false when it does not fit.
static const char *poolName(char *pool, int &used, const char *name) {
  int size = static_cast<int>(std::strlen(name)) + 1;
  if (used + size > kNamePoolSize) return nullptr;
  char *stored = pool + used;
  std::memcpy(stored, name, size);
  used += size;
  return stored;
}

// Decode the line just read into lineBuffer as the next record.
static const ScriptLine &decodeScriptLine(Job &job, int offset) {
  ScriptText &s = job.script;
  LineState &l = job.line;
  // Loading already made every control character a blank, so the record
  // may point at the script's own bytes.
  countWords(l.lineBuffer);
  ScriptLine &line = s.lines[s.lineCount++];
  int length = static_cast<int>(std::strlen(l.lineBuffer));
  decodeLine(job, line, l.lineBuffer, length, {s.words + offset, s.folded + offset, l.operands}, false);
  line.text = s.text + offset;
  line.offset = offset;
  line.owner = static_cast<short>(job.sql.inDefineBody == 1 ? job.macros.nextSlot - 1 : 0);
  // The operands were decoded into the line state; they are kept in the
  // script's store, which the records point into once it is complete.
  s.operands.insert(s.operands.end(), l.operands, l.operands + line.argCount);
  return line;
}

// Point every record at its operands in the store, and resolve what the
// records name now that every macro and label is known.
static void finishRecords(Job &job) {
  ScriptText &s = job.script;
  size_t next = 0;
  for (int i = 0; i < s.lineCount; ++i) {
    ScriptLine &line = s.lines[i];
    line.args = line.argCount > 0 ? s.operands.data() + next : nullptr;
    next += static_cast<size_t>(line.argCount);
    resolveReferences(job, line);
  }
}

void runPrepass(Job &job) {
  ScriptText &s = job.script;
  LineState &l = job.line;
  int lastEnd = 0, lastEndLine = 0;
  bool bodyStarts = false;              // the last non-blank line was a .DEFINE
  s.cursor = 0;
  s.operands.clear();
  s.lineCount = 0;
  // Every line ends in a newline (loading closes the last one).
  s.lines.resize(static_cast<size_t>(std::count(s.text, s.text + s.scriptLength, '\n')));
  // A refused line is named at its place: the line being read, in the body
  // that holds it.
  auto placeNext = [&job, &s] {
    int owner = job.sql.inDefineBody == 1 ? job.macros.nextSlot - 1 : 0;
    job.line.place = {s.lineCount, owner};
  };
  for (int offset = 0; placeNext(), readScriptLine(job, l.lineBuffer); offset = s.cursor) {
    const ScriptLine &line = decodeScriptLine(job, offset);
    if (line.kind == ScriptLineKind::Blank) continue;
    if (bodyStarts) job.macros.slots[job.macros.nextSlot - 1].kind = line.sqlWord;
    bodyStarts = line.kind == ScriptLineKind::Define;
    if (line.kind == ScriptLineKind::Label) {
      defineLabel(job, line, job.sql.inDefineBody == 1 ? job.macros.nextSlot - 1 : 0);
    } else if (line.kind == ScriptLineKind::Define) {
      defineMacro(job, line);
      job.sql.inDefineBody = 1;
    } else if (line.kind == ScriptLineKind::EndDefine) {
      job.sql.inDefineBody = 0;
      // Slot 0 stands for the top level; a stray ".." before any .DEFINE
      // lands there harmlessly.
      Macro &macro = job.macros.slots[job.macros.nextSlot - 1];
      macro.end = lastEnd;
      macro.endLine = lastEndLine;
      continue;                         // the last end is not moved
    }
    lastEnd = s.cursor;
    lastEndLine = s.lineCount;
  }
  finishRecords(job);
  job.line.place = {};
  s.nextLine = 0;
}

// .DEFINE name
void defineMacro(Job &job, const ScriptLine &line) {
  LineState &l = job.line;
  MacroTable &m = job.macros;
  if (line.wordCount < 2) failWith(job, Msg::DefineInvalid, l.lineBuffer);
  if (job.sql.inDefineBody == 1) failWith(job, Msg::NestedDefine, l.lineBuffer);
  if (m.nextSlot > kMaxMacroSlot) failWith(job, Msg::TooManyDefines, l.lineBuffer);
  char name[kMaxLineChars + 1];         // the second word, folded
  copyText(name, sizeof name, line.words + line.firstLength + 1);
  foldUpper(name);
  const char *stored = poolName(m.namePool, m.poolUsed, name);
  if (stored == nullptr) failWith(job, Msg::MacroNamesTooLong, l.lineBuffer);
  m.slots[m.nextSlot].name = stored;
  m.slots[m.nextSlot].start = job.script.cursor;
  m.slots[m.nextSlot].end = 0;
  m.slots[m.nextSlot].firstLine = job.script.lineCount;
  m.slots[m.nextSlot].endLine = 0;
  m.slots[m.nextSlot].kind = SqlWord::None;
  ++m.nextSlot;
}

// .&name: the first word is already folded.
void defineLabel(Job &job, const ScriptLine &line, int owner) {
  LineState &l = job.line;
  LabelTable &t = job.labels;
  if (t.count >= kMaxLabels) failWith(job, Msg::TooManyLabels, l.lineBuffer);
  const char *stored = poolName(t.namePool, t.poolUsed, line.words + 2);
  if (stored == nullptr) failWith(job, Msg::LabelNamesTooLong, l.lineBuffer);
  t.entries[t.count].name = stored;
  t.entries[t.count].offset = job.script.cursor;
  t.entries[t.count].line = job.script.lineCount;
  t.entries[t.count].owner = owner;
  ++t.count;
}
