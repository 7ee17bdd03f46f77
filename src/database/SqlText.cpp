// Small rules about the SQL text a job sends.
#include "database/SqlText.h"

#include <cmath>
#include <cstdio>

#include "driver/Job.h"

namespace {

// Where SQL text stands after a run of characters: in plain text, in a
// quoted string or name, or in a block comment.
enum class TextState { Plain, Quote, Identifier, Block };

// Scan text from state; stop at the start of a "--" comment in plain text
// when found is given, and store its offset there.
TextState scanSql(const char *text, TextState state, int *found) {
  for (int i = 0; text[i]; ++i) {
    char c = text[i];
    switch (state) {
      case TextState::Plain:
        if (c == '\'') state = TextState::Quote;
        else if (c == '"') state = TextState::Identifier;
        else if (c == '/' && text[i + 1] == '*') state = TextState::Block, ++i;
        else if (c == '-' && text[i + 1] == '-') {
          if (found) {
            *found = i;
            return state;
          }
          // A comment cut from an earlier line: nothing of it is left.
        }
        break;
      case TextState::Quote:
        if (c == '\'') state = TextState::Plain;   // a doubled quote reopens at once
        break;
      case TextState::Identifier:
        if (c == '"') state = TextState::Plain;
        break;
      case TextState::Block:
        if (c == '*' && text[i + 1] == '/') state = TextState::Plain, ++i;
        break;
    }
  }
  return state;
}

}  // namespace

int sqlLineLength(const char *statementSoFar, const char *line) {
  TextState state = scanSql(statementSoFar, TextState::Plain, nullptr);
  int found = -1;
  scanSql(line, state, &found);
  if (found < 0) {
    int length = 0;
    while (line[length]) ++length;
    return length;
  }
  return found;
}

bool hasSqlValue(const Variable &variable) {
  return variable.kind != VariableKind::Real || variable.isNull || std::isfinite(variable.realValue);
}

void refuseNonFinite(Job &job, const Variable &variable) {
  std::fprintf(job.job.err, "Variable not a finite number: %s\n", variable.name);
  abortJob(job);
}

void reportRefusedEnd(Job &job, const char *statement) {
  std::snprintf(job.sql.sqlBuffer, sizeof job.sql.sqlBuffer, "%s", statement);
  reportServerError(job);
}
