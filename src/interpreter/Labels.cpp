// Lookups of macros and labels, and the jump statements .GOTO, .IFNULL and .IF.
// Labels are scoped: a jump finds only the labels of the macro it runs in,
// or of the top level (slot 0).
#include <cstring>

#include "driver/Job.h"
#include "driver/Messages.h"
#include "interpreter/Interpreter.h"

int findMacro(Job &job, const char *name) {
  const MacroTable &m = job.macros;
  for (int slot = 1; slot < m.nextSlot; ++slot)
    if (m.slots[slot].name[0] == name[0] && std::strcmp(m.slots[slot].name, name) == 0) return slot;
  return -1;
}

int findLabel(Job &job, const char *name, int macroSlot) {
  const LabelTable &t = job.labels;
  for (int i = 0; i < t.count; ++i)
    if (t.entries[i].owner == macroSlot && t.entries[i].name[0] == name[0] &&
        std::strcmp(t.entries[i].name, name) == 0)
      return i;
  return -1;
}

void jumpToLabel(Job &job, int label) { job.script.nextLine = job.labels.entries[label].line; }

// .GOTO label
void execGoto(Job &job, const ScriptLine &line) {
  LineState &l = job.line;
  if (line.wordCount < 2) failWith(job, Msg::GotoInvalid, l.lineBuffer);
  int label = labelOf(job, line, line.args[0]);
  if (label < 0) failWith(job, Msg::LabelNameWrong, l.lineBuffer, labelNotDefined(job, line.args[0].word, l.macroSlot));
  jumpToLabel(job, label);
}

// .IFNULL variable label
void execIfNull(Job &job, const ScriptLine &line) {
  LineState &l = job.line;
  if (line.wordCount < 3) failWith(job, Msg::IfNullInvalid, l.lineBuffer);
  int index = requireOperandVariable(job, line.args[0], l.lineBuffer);
  int label = labelOf(job, line, line.args[1]);
  if (label < 0) failWith(job, Msg::LabelNameWrong, l.lineBuffer, labelNotDefined(job, line.args[1].word, l.macroSlot));
  const Variable &v = job.vars.entries[index];
  if (v.isNull == 1) jumpToLabel(job, label);
  if (v.kind == VariableKind::Text && v.textValue != nullptr && v.textValue[0] == 0) jumpToLabel(job, label);
}

// .IF "condition" THEN label [ELSE label]
// Every word is read and both labels looked up before the query runs.
void execIf(Job &job, const ScriptLine &record) {
  char line[kMaxLineChars + 1];         // cut at the closing quote below; the record stays whole
  copyText(line, sizeof line, job.line.lineBuffer);
  if (record.quoteOpen < 0) failWith(job, Msg::IfInvalid, line);
  if (record.quoteClose < 0) failWith(job, Msg::IfInvalid, line);
  line[record.quoteClose] = 0;          // messages from here show the cut line
  prepareCondition(job, line + record.quoteOpen + 1);

  const Operand *words = record.args;
  if (record.argCount != 2 && record.argCount != 4) failWith(job, Msg::IfInvalid, line);
  if (std::strcmp(words[0].word, "THEN") != 0) failWith(job, Msg::IfNoThen, line);
  int thenLabel = labelOf(job, record, words[1]);
  if (thenLabel < 0) failWith(job, Msg::LabelNameWrong, line, labelNotDefined(job, words[1].word, job.line.macroSlot));
  int elseLabel = -1;
  if (record.argCount == 4) {
    if (std::strcmp(words[2].word, "ELSE") != 0) failWith(job, Msg::IfBadElse, line);
    elseLabel = labelOf(job, record, words[3]);
    if (elseLabel < 0) failWith(job, Msg::LabelNameWrong, line, labelNotDefined(job, words[3].word, job.line.macroSlot));
  }

  if (conditionHolds(job, line)) {
    jumpToLabel(job, thenLabel);
  } else if (elseLabel >= 0) {
    jumpToLabel(job, elseLabel);
  }
}
