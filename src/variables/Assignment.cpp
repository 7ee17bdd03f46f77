// Assignment without the database or the console: .SET and .EQUAL.
#include <cstdio>
#include <cstring>

#include "driver/Job.h"
#include "driver/Messages.h"

// The Text value of .SET: a quoted text anywhere in the line, else the next
// word, where $$DATE$$ and $$TIME$$ (any case, unquoted) ask the server.
static void setText(Job &job, const ScriptLine &line, Variable &variable) {
  if (line.quoteOpen >= 0) {
    if (line.quoteClose < 0) failWith(job, Msg::SetQuotes, job.line.lineBuffer);
    storeTextSpan(variable, line.text + line.quoteOpen + 1, line.quoteClose - line.quoteOpen - 1);
    return;
  }
  const Operand &value = line.args[1];
  const char *word = value.text;
  char serverText[kServerTextSize];
  if (std::strcmp(value.word, "$$DATE$$") == 0) {
    fetchServerDate(job, serverText);
    word = serverText;
  } else if (std::strcmp(value.word, "$$TIME$$") == 0) {
    fetchServerTime(job, serverText);
    word = serverText;
  }
  storeText(variable, word);
}

// .SET name value
void execSet(Job &job, const ScriptLine &line) {
  if (line.wordCount < 3) failWith(job, Msg::SetInvalid, job.line.lineBuffer);
  int index = requireOperandVariable(job, line.args[0], job.line.lineBuffer);
  Variable &variable = job.vars.entries[index];
  variable.isNull = 0;
  const Operand &value = line.args[1];
  switch (variable.kind) {
    case VariableKind::Integer:
      if (!value.isInteger) failWith(job, Msg::IllegalNumber, job.line.lineBuffer, notANumber(value.text, false, variable.name));
      variable.intValue = value.integer;
      break;
    case VariableKind::Real:
      if (!value.isReal) failWith(job, Msg::IllegalNumber, job.line.lineBuffer, notANumber(value.text, true, variable.name));
      variable.realValue = value.real;
      break;
    case VariableKind::Text:
      setText(job, line, variable);
      break;
  }
}

// .EQUAL target source
// Same kinds only; the value is copied even from a null source.
void execEqual(Job &job, const ScriptLine &line) {
  if (line.wordCount < 3) failWith(job, Msg::EqualInvalid, job.line.lineBuffer);
  int target = operandVariable(job, line.args[0]);
  if (target < 0) failWith(job, Msg::FirstVariableWrong, job.line.lineBuffer, variableNotDeclared(job, line.args[0].word));
  int source = operandVariable(job, line.args[1]);
  if (source < 0) failWith(job, Msg::SecondVariableWrong, job.line.lineBuffer, variableNotDeclared(job, line.args[1].word));
  Variable &to = job.vars.entries[target];
  const Variable &from = job.vars.entries[source];
  if (to.kind != from.kind)
    failWith(job, Msg::MismatchedTypes, job.line.lineBuffer,
             formatMessage(Msg::CauseKindsDiffer, to.name, from.name));
  to.isNull = from.isNull;
  switch (to.kind) {
    case VariableKind::Integer: to.intValue = from.intValue; break;
    case VariableKind::Real: to.realValue = from.realValue; break;
    case VariableKind::Text: storeText(to, from.textValue); break;
  }
}
