// SQL statements of macros: the substitution of variables into the collected
// text, sending a statement that is not a query, and the report of a server
// error.
#include <cstdio>
#include <cstring>
#include <string>

#include "database/SqlText.h"
#include "driver/Job.h"

// Refused when substitution would pass the 1,999 characters of sqlBuffer.
static const char kTooLongMessage[] = "SQL statement too long\n";

// An SQL statement other than a query, substituted: sent to the server.
void executeStatement(Job &job) {
  if (job.db.database.ExecuteSQL(job.sql.sqlBuffer) != 0) reportServerError(job);
}

// --- Substitution -------------------------------------------------------------

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
    failWith(job, kTooLongMessage, out);
  }
};

// Oracle's syntax that the backend lacks becomes its own before the
// statement is traced and sent (nothing changes with --sql=native).
void mapToBackend(Job &job) {
  SqlDialect dialect = job.db.database.Dialect();
  if (dialect.backend == SqlBackend::Other) return;
  std::string mapped = mapOracleSql(job.sql.sqlBuffer, dialect);
  if (mapped.size() > kSqlBufferSize - 1) failWith(job, kTooLongMessage, job.sql.sqlBuffer);
  std::memcpy(job.sql.sqlBuffer, mapped.c_str(), mapped.size() + 1);
  job.sql.sqlLength = static_cast<int>(mapped.size());
}

bool isNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '#';
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
  const char *rest = work;
  while (const char *amp = std::strchr(rest, '&')) {
    writer.put(rest, static_cast<int>(amp - rest));
    writer.put(' ');

    const char *nameStart = amp + 1;
    const char *nameEnd = nameStart;
    while (isNameChar(*nameEnd)) ++nameEnd;
    char name[kSqlBufferSize];
    int nameLength = static_cast<int>(nameEnd - nameStart);
    std::memcpy(name, nameStart, nameLength);
    name[nameLength] = 0;
    foldUpper(name);
    int index = findVariable(job, name);
    if (index < 0) {
      buffer[writer.length] = 0;
      failWith(job, "Variable name Wrong\n", buffer);
    }

    const Variable &variable = job.vars.entries[index];
    if (variable.isNull) {
      writer.put("NULL", 4);
    } else if (variable.kind == VariableKind::Text) {
      writer.putQuoted(variable.textValue ? variable.textValue : "", literal);
    } else {
      if (!hasSqlValue(variable)) refuseNonFinite(job, variable);
      char number[kNumberTextSize];
      numberText(variable, number);
      writer.put(number, static_cast<int>(std::strlen(number)));
    }
    writer.put(' ');
    rest = nameEnd;
  }
  writer.put(rest, static_cast<int>(std::strlen(rest)));
  buffer[writer.length] = 0;
  job.sql.sqlLength = writer.length;
  mapToBackend(job);

  if (job.job.runFlags & kFlagTrace) std::fprintf(job.job.trace, "%s\n", buffer);
}

// reportServerError: the three lines, then the transaction is rolled back
// and the link closed. The link is marked closed so that abortJob does not
// roll back a second time.
void reportServerError(Job &job) {
  ODatabase &database = job.db.database;
  printServerError(job, job.sql.sqlBuffer);
  closeAllQueries(job);
  if (database.IsOpen()) {
    job.db.session.Rollback(0);
    database.Close();
  }
  job.db.connected = false;
  abortJob(job, JobFailure::Server);
}
