// Lookups of macros and labels, and the jump statements .GOTO, .IFNULL and .IF.
// Labels are scoped: a jump finds only the labels of the macro it runs in,
// or of the top level (slot 0).
#include <cstring>

#include "driver/Job.h"
#include "driver/Messages.h"

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
void execGoto(Job &job, int macroSlot) {
  LineState &l = job.line;
  if (l.wordCount < 2) failWith(job, ".GOTO Invalid\n", l.lineBuffer);
  char *name = nextToken(job);
  foldUpper(name);
  int label = findLabel(job, name, macroSlot);
  if (label < 0) failWith(job, "Label name Wrong\n", l.lineBuffer, labelNotDefined(job, name, macroSlot));
  jumpToLabel(job, label);
}

// .IFNULL variable label
void execIfNull(Job &job, int macroSlot) {
  LineState &l = job.line;
  if (l.wordCount < 3) failWith(job, ".IFNULL Invalid\n", l.lineBuffer);
  char *variableName = nextToken(job);
  int index = requireVariable(job, variableName, l.lineBuffer);
  char *labelName = nextToken(job);
  foldUpper(labelName);
  int label = findLabel(job, labelName, macroSlot);
  if (label < 0) failWith(job, "Label name Wrong\n", l.lineBuffer, labelNotDefined(job, labelName, macroSlot));
  const Variable &v = job.vars.entries[index];
  if (v.isNull == 1) jumpToLabel(job, label);
  if (v.kind == VariableKind::Text && v.textValue != nullptr && v.textValue[0] == 0) jumpToLabel(job, label);
}

// .IF "condition" THEN label [ELSE label]
// Every word is read and both labels looked up before the query runs.
void execIf(Job &job, int macroSlot) {
  char line[kMaxLineChars + 1];         // cut at the closing quote below; the record stays whole
  copyText(line, sizeof line, job.line.lineBuffer);
  char *open = std::strchr(line, '"');
  if (!open) failWith(job, ".IF invalid\n", line);
  char *close = std::strchr(open + 1, '"');
  if (!close) failWith(job, ".IF invalid\n", line);
  *close = 0;                           // messages from here show the cut line
  prepareCondition(job, open + 1);

  char *rest = close + 1;
  int words = countWords(rest);
  if (words != 2 && words != 4) failWith(job, ".IF invalid\n", line);
  char *word = firstToken(job, rest);
  foldUpper(word);
  if (std::strcmp(word, "THEN") != 0) failWith(job, ".IF no THEN \n", line);
  word = nextToken(job);
  foldUpper(word);
  int thenLabel = findLabel(job, word, macroSlot);
  if (thenLabel < 0) failWith(job, "Label name Wrong\n", line, labelNotDefined(job, word, macroSlot));
  int elseLabel = -1;
  if (words == 4) {
    word = nextToken(job);
    foldUpper(word);
    if (std::strcmp(word, "ELSE") != 0) failWith(job, ".IF bad ELSE \n", line);
    word = nextToken(job);
    foldUpper(word);
    elseLabel = findLabel(job, word, macroSlot);
    if (elseLabel < 0) failWith(job, "Label name Wrong\n", line, labelNotDefined(job, word, macroSlot));
  }

  if (conditionHolds(job, line)) {
    jumpToLabel(job, thenLabel);
  } else if (elseLabel >= 0) {
    jumpToLabel(job, elseLabel);
  }
}
