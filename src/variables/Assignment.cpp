// Assignment without the database or the console: .SET and .EQUAL.
#include <cstdio>
#include <cstring>

#include "driver/Job.h"
#include "driver/Messages.h"

// The Text value of .SET: a quoted text anywhere in the line, else the next
// word, where $$DATE$$ and $$TIME$$ (any case, unquoted) ask the server.
static void setText(Job &job, Variable &variable) {
  const char *line = job.line.lineBuffer;
  const char *open = std::strchr(line, '"');
  if (open != nullptr) {
    const char *close = std::strchr(open + 1, '"');
    if (close == nullptr) failWith(job, ".SET Quotes do not match \n", line);
    storeTextSpan(variable, open + 1, static_cast<int>(close - open - 1));
    return;
  }
  const char *word = nextToken(job);
  if (word == nullptr) word = "";
  char folded[kMaxLineChars + 1];
  std::snprintf(folded, sizeof folded, "%s", word);
  foldUpper(folded);
  char serverText[kServerTextSize];
  if (std::strcmp(folded, "$$DATE$$") == 0) {
    fetchServerDate(job, serverText);
    word = serverText;
  } else if (std::strcmp(folded, "$$TIME$$") == 0) {
    fetchServerTime(job, serverText);
    word = serverText;
  }
  storeText(variable, word);
}

// .SET name value
void execSet(Job &job) {
  if (job.line.wordCount < 3) failWith(job, ".SET Invalid\n", job.line.lineBuffer);
  char *name = nextToken(job);
  if (name == nullptr) failWith(job, ".SET Invalid\n", job.line.lineBuffer);
  int index = requireTargetVariable(job, name, job.line.lineBuffer);
  Variable &variable = job.vars.entries[index];
  variable.isNull = 0;
  const char *value = nullptr;
  switch (variable.kind) {
    case VariableKind::Integer:
      value = nextToken(job);
      if (value == nullptr || !scanInt(value, &variable.intValue)) {
        failWith(job, "Illegal Number\n", job.line.lineBuffer, notANumber(value ? value : "", false, variable.name));
      }
      break;
    case VariableKind::Real:
      value = nextToken(job);
      if (value == nullptr || !scanReal(value, &variable.realValue)) {
        failWith(job, "Illegal Number\n", job.line.lineBuffer, notANumber(value ? value : "", true, variable.name));
      }
      break;
    case VariableKind::Text:
      setText(job, variable);
      break;
  }
}

// .EQUAL target source
// Same kinds only; the value is copied even from a null source.
void execEqual(Job &job) {
  if (job.line.wordCount < 3) failWith(job, ".EQUAL Invalid\n", job.line.lineBuffer);
  char *targetName = nextToken(job);
  char *sourceName = nextToken(job);
  if (sourceName == nullptr) failWith(job, ".EQUAL Invalid\n", job.line.lineBuffer);
  foldUpper(targetName);
  foldUpper(sourceName);
  int target = findVariable(job, targetName);
  if (target < 0) failWith(job, "1st Variable name Wrong\n", job.line.lineBuffer, variableNotDeclared(job, targetName));
  int source = findVariable(job, sourceName);
  if (source < 0) failWith(job, "2nd Variable name Wrong\n", job.line.lineBuffer, variableNotDeclared(job, sourceName));
  Variable &to = job.vars.entries[target];
  const Variable &from = job.vars.entries[source];
  if (to.kind != from.kind)
    failWith(job, "Variables have mismatched types\n", job.line.lineBuffer,
             formatMessage(Msg::CauseKindsDiffer, to.name, from.name));
  to.isNull = from.isNull;
  switch (to.kind) {
    case VariableKind::Integer: to.intValue = from.intValue; break;
    case VariableKind::Real: to.realValue = from.realValue; break;
    case VariableKind::Text: storeText(to, from.textValue); break;
  }
}
