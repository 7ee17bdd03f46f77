// The substitution of variables into SQL text: each "&name" of sqlBuffer
// becomes the variable's value text, and "&&" one "&", before the
// statement is traced and sent.
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <string>

#include "database/SqlText.h"
#include "driver/Job.h"
#include "driver/Messages.h"

namespace {

// sqlBuffer rebuilt piece by piece; a piece that does not fit is refused
// with the statement built so far.
struct SqlWriter {
  Job &job;
  char *out;
  int length = 0;

  void put(const char *text, int count) {
    if (length + count > kSqlBufferSize - 1) refuse();
    std::memcpy(out + length, text, count);
    length += count;
  }
  void put(char c) { put(&c, 1); }
  // A Text value as one literal of the connected server, which reads it as
  // exactly the value's bytes (O'Brien gives 'O''Brien'; the driver knows
  // its server's other escapes). The value goes in whole, however long, if
  // sqlBuffer holds it. A value the driver cannot write is a server error.
  void putQuoted(const char *value, std::string &literal) {
    literal.clear();
    if (!job.db.database.QuoteText(value, literal)) {
      out[length] = 0;
      reportServerError(job);
    }
    for (char c : literal) put(c);      // a refusal shows the literal as far as it fits
  }
  [[noreturn]] void refuse() {
    out[length] = 0;
    failWith(job, Msg::SqlTooLong, out);
  }
};

// Oracle's syntax that the backend lacks becomes its own before the
// statement is traced and sent (nothing changes with --sql=native).
void mapToBackend(Job &job) {
  SqlDialect dialect = job.db.database.Dialect();
  if (dialect.backend == SqlBackend::Other) return;
  std::string mapped = mapOracleSql(job.sql.sqlBuffer, dialect, kSqlBufferSize - 1);
  if (mapped.size() > kSqlBufferSize - 1) failWith(job, Msg::SqlTooLong, job.sql.sqlBuffer);
  std::memcpy(job.sql.sqlBuffer, mapped.c_str(), mapped.size() + 1);
  job.sql.sqlLength = static_cast<int>(mapped.size());
}

// The line of the running statement that holds the reference "&name"
// (folded): a macro's statement is collected from several lines.
void placeReference(Job &job, const char *name) {
  RunPlace &place = job.line.place;
  const ScriptText &s = job.script;
  if (place.record < 0 || place.macro <= 0) return;
  const Macro &macro = job.macros.slots[place.macro];
  int end = macro.endLine > 0 ? macro.endLine : s.lineCount;
  size_t length = std::strlen(name);
  for (int i = place.record; i < end && i < s.lineCount; ++i) {
    const ScriptLine &line = s.lines[i];
    for (int at = 0; at + static_cast<int>(length) < line.length; ++at) {
      if (line.text[at] == '&' && strncasecmp(line.text + at + 1, name, length) == 0) {
        place.record = i;
        return;
      }
    }
  }
}

// "Variable name Wrong" with the statement built so far, and the cause at
// the line of the reference; a reference inside quoted text is most likely
// an "&" meant as itself, and the cause says how to write one.
[[noreturn]] void refuseName(Job &job, const char *builtSoFar, const char *work, const SqlAmpersand &amp,
                             const char *name) {
  placeReference(job, name);
  if (amp.quoted && amp.nameLength > 0) {
    setCause(job, formatMessage(Msg::CauseQuotedAmpersand, static_cast<int>(amp.nameLength + 1), work + amp.offset));
  } else {
    setCause(job, variableNotDeclared(job, name));
  }
  failWith(job, Msg::VariableNameWrong, builtSoFar);
}

}  // namespace

// substituteVariables: each "&name" becomes a blank, the value text and a
// blank; NULL for a null variable, the quoted text or the number's text
// otherwise. Runs once per execution of an SQL macro, so it works in place
// over one stack copy; only a Text value's literal takes memory.
void substituteVariables(Job &job) {
  char *buffer = job.sql.sqlBuffer;
  char work[kSqlBufferSize];
  size_t length = std::strlen(buffer);   // at most 1,999: sqlBuffer is bounded
  std::memcpy(work, buffer, length + 1);

  SqlWriter writer{job, buffer};
  std::string literal;
  size_t rest = 0;
  for (const SqlAmpersand &amp : sqlAmpersands(work)) {
    writer.put(work + rest, static_cast<int>(amp.offset - rest));
    if (amp.literal) {
      writer.put('&');
      rest = amp.offset + 2;
      continue;
    }
    writer.put(' ');

    char name[kSqlBufferSize];
    std::memcpy(name, work + amp.offset + 1, amp.nameLength);
    name[amp.nameLength] = 0;
    foldUpper(name);
    int index = findVariable(job, name);
    if (index < 0) {
      buffer[writer.length] = 0;
      refuseName(job, buffer, work, amp, name);
    }

    const Variable &variable = job.vars.entries[index];
    if (variable.isNull) {
      writer.put("NULL", 4);
    } else if (variable.kind == VariableKind::Text) {
      writer.putQuoted(variable.textValue ? variable.textValue : "", literal);
    } else {
      if (!hasSqlValue(variable)) {
        placeReference(job, name);
        setCause(job, formatMessage(Msg::CauseNotFinite, variable.name));
        refuseNonFinite(job, variable);
      }
      char number[kNumberTextSize];
      numberText(variable, number);
      writer.put(number, static_cast<int>(std::strlen(number)));
    }
    writer.put(' ');
    rest = amp.offset + 1 + amp.nameLength;
  }
  writer.put(work + rest, static_cast<int>(length - rest));
  buffer[writer.length] = 0;
  job.sql.sqlLength = writer.length;
  mapToBackend(job);

  if (job.job.runFlags & kFlagTrace) std::fprintf(job.job.trace, "%s\n", buffer);
}
