// Lookups of macros and labels, and the jump statements .GOTO and .IFNULL.
// Labels are scoped: a jump finds only the labels of the macro it runs in,
// or of the top level (slot 0).
#include <cstring>

#include "driver/Job.h"

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
  if (label < 0) failWith(job, "Label name Wrong\n", l.lineBuffer);
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
  if (label < 0) failWith(job, "Label name Wrong\n", l.lineBuffer);
  const Variable &v = job.vars.entries[index];
  if (v.isNull == 1) jumpToLabel(job, label);
  if (v.kind == VariableKind::Text && v.textValue != nullptr && v.textValue[0] == 0) jumpToLabel(job, label);
}
