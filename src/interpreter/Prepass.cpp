// The pre-pass: one read of the whole script that records where every macro
// body starts and ends and where every label stands and who owns it.
#include <cstring>

#include "driver/Job.h"

// Store a name in a pool; false when it does not fit.
static const char *poolName(char *pool, int &used, const char *name) {
  int size = static_cast<int>(std::strlen(name)) + 1;
  if (used + size > kNamePoolSize) return nullptr;
  char *stored = pool + used;
  std::memcpy(stored, name, size);
  used += size;
  return stored;
}

void runPrepass(Job &job) {
  LineState &l = job.line;
  int lastEnd = 0;
  job.script.cursor = 0;
  while (readScriptLine(job, l.lineBuffer)) {
    l.wordCount = countWords(l.lineBuffer);
    if (l.wordCount == 0) continue;
    char *first = firstToken(job, l.lineBuffer);
    foldUpper(first);
    if (std::strncmp(first, ".&", 2) == 0) {
      defineLabel(job, job.sql.inDefineBody == 1 ? job.macros.nextSlot - 1 : 0);
      lastEnd = job.script.cursor;
    } else if (std::strcmp(first, ".DEFINE") == 0) {
      defineMacro(job);
      job.sql.inDefineBody = 1;
      lastEnd = job.script.cursor;
    } else if (std::strcmp(first, "..") == 0) {
      job.sql.inDefineBody = 0;
      // Slot 0 stands for the top level; a stray ".." before any .DEFINE
      // lands there harmlessly.
      job.macros.slots[job.macros.nextSlot - 1].end = lastEnd;
    } else {
      lastEnd = job.script.cursor;
    }
  }
}

// .DEFINE name
void defineMacro(Job &job) {
  LineState &l = job.line;
  MacroTable &m = job.macros;
  if (l.wordCount < 2) failWith(job, ".DEFINE Invalid\n", l.lineBuffer);
  if (job.sql.inDefineBody == 1) failWith(job, "Nested Define Not Allowed\n", l.lineBuffer);
  if (m.nextSlot > kMaxMacroSlot) failWith(job, ">100 DEFINEs\n", l.lineBuffer);
  char *name = nextToken(job);
  foldUpper(name);
  const char *stored = poolName(m.namePool, m.poolUsed, name);
  if (stored == nullptr) failWith(job, "Macro names too long\n", l.lineBuffer);
  m.slots[m.nextSlot].name = stored;
  m.slots[m.nextSlot].start = job.script.cursor;
  m.slots[m.nextSlot].end = 0;
  ++m.nextSlot;
}

// .&name: the first word is already folded.
void defineLabel(Job &job, int owner) {
  LineState &l = job.line;
  LabelTable &t = job.labels;
  if (t.count >= kMaxLabels) failWith(job, ">100 LABELs\n", l.lineBuffer);
  const char *name = l.tokenBuffer;
  while (*name == ' ' || *name == '\t') ++name;  // the first word starts here
  const char *stored = poolName(t.namePool, t.poolUsed, name + 2);
  if (stored == nullptr) failWith(job, "Label names too long\n", l.lineBuffer);
  t.entries[t.count].name = stored;
  t.entries[t.count].offset = job.script.cursor;
  t.entries[t.count].owner = owner;
  ++t.count;
}
