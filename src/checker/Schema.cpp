// The SQL against the real schema: every SQL macro and every .IF condition
// is prepared, never executed, with its "&" references replaced by
// placeholders of the variables' kinds, inside a transaction that is always
// rolled back. The server's refusal, an INTO list of the wrong length and a
// column that cannot be fetched into its variable are reported.
#include <cstring>

#include "checker/Checker.h"
#include "database/SqlText.h"
#include "driver/Job.h"
#include "interpreter/Interpreter.h"

namespace {

constexpr int kTypedPasswordSize = 256; // a password typed at the terminal
constexpr char kConditionQuery[] = "SELECT 1 AS QORVENTILE FROM DUAL WHERE ";

// The placeholder of a variable's kind: numbers as a number, text as NULL,
// which the server types from where it stands (a text literal would be
// read as a date where a date is compared, and fail).
const char *placeholder(VariableKind kind) {
  switch (kind) {
    case VariableKind::Integer:
      return "0";
    case VariableKind::Real:
      return "0.0";
    case VariableKind::Text:
      return "NULL";
  }
  return "NULL";
}

// The text with its references replaced as the run substitutes values (a
// blank, the value, a blank); false when a name is not declared (already
// reported).
bool substitute(Job &job, const std::string &text, std::string *out) {
  size_t from = 0;
  out->clear();
  for (const SqlAmpersand &a : sqlAmpersands(text.c_str())) {
    out->append(text, from, a.offset - from);
    from = a.offset + (a.literal ? 2 : 1 + a.nameLength);
    if (a.literal) {
      *out += '&';
      continue;
    }
    std::string name = text.substr(a.offset + 1, a.nameLength);
    foldUpper(name.data());
    int v = findVariable(job, name.c_str());
    if (v < 0) return false;
    *out += ' ';
    *out += placeholder(job.vars.entries[v].kind);
    *out += ' ';
  }
  out->append(text, from, std::string::npos);
  return true;
}

struct SchemaCheck {
  Checker &c;
  DbDriver *driver;
  SqlDialect dialect;                   // the rewrites a run makes
  std::vector<short> columns;

  // Prepare sql; a refusal is reported at the line and column given, and
  // the transaction begun afresh (a server may refuse all else after an
  // error in it).
  bool prepare(const std::string &sql, int lineIndex, int column) {
    std::string sent = mapOracleSql(sql.c_str(), dialect, kSqlBufferSize - 1);  // as a run sends it
    if (driver->describe(sent.c_str(), &columns) == 0) return true;
    std::string text = c.job.db.database.GetServerErrorText();  // one diagnostic is one line
    for (char &ch : text)
      if (ch == '\n' || ch == '\r') ch = ' ';
    c.error(lineIndex, column, formatMessage(Msg::CheckServerRefuses, text.c_str(), static_cast<int>(driver->errorNumber())));
    driver->rollback();
    driver->begin();
    return false;
  }

  void macro(int slot);
  void condition(const CheckLine &l);
};

// The SELECT's columns against its INTO list.
void SchemaCheck::macro(int slot) {
  const CheckMacro &m = c.macros[slot];
  std::string collected, sql;
  for (const CheckLine &l : c.lines)
    if (l.owner == slot && l.kind == LineKind::Sql)
      collected += l.text.substr(0, static_cast<size_t>(sqlLineLength(collected.c_str(), l.text.c_str()))) + " ";
  if (!substitute(c.job, collected, &sql) || !prepare(sql, m.sqlLine, 1) || !m.query) return;

  size_t into = m.intoVariables.size();
  if (into != columns.size()) {
    int given = static_cast<int>(columns.size()), named = static_cast<int>(into);
    const char *givenPlural = given == 1 ? "" : "s";
    if (m.intoLine < 0) {
      c.error(m.sqlLine, 1, formatMessage(Msg::CheckNoIntoList, given, givenPlural) + stops(Msg::IntoFieldsWrong));
    } else {
      c.error(m.intoLine, 1,
              formatMessage(Msg::CauseIntoCount, named, named == 1 ? "" : "s", given, givenPlural) +
                  stops(Msg::IntoFieldsWrong));
    }
    return;
  }
  for (size_t i = 0; i < into; ++i) {
    if (m.intoVariables[i] < 0) continue;
    const Variable &v = c.job.vars.entries[m.intoVariables[i]];
    short type = columns[i];
    int column = static_cast<int>(i + 1);
    if (type == kServerTypeOther) {
      c.warning(m.intoLine, m.intoColumns[i],
                formatMessage(Msg::CheckColumnType, column, v.name) + stops(Msg::InvalidDatabaseType));
    } else if (type == kServerTypeDate && v.kind != VariableKind::Text) {
      c.warning(m.intoLine, m.intoColumns[i],
                formatMessage(Msg::CheckColumnDate, column, v.name) + stops(Msg::InvalidDatabaseType));
    }
  }
}

// .IF "condition" ...: the query the run sends.
void SchemaCheck::condition(const CheckLine &l) {
  size_t open = l.text.find('"');
  size_t close = open == std::string::npos ? open : l.text.find('"', open + 1);
  if (close == std::string::npos) return;
  std::string sql;
  if (substitute(c.job, kConditionQuery + l.text.substr(open + 1, close - open - 1), &sql))
    prepare(sql, l.number - 1, static_cast<int>(open) + 2);
}

}  // namespace

void checkSchema(Checker &c, const char *connectString) {
  Job &job = c.job;
  char copy[kTokenBufferSize];
  if (std::strlen(connectString) >= sizeof copy) {
    c.error(-1, 0, messageText(Msg::CheckConnectTooLong));
    return;
  }
  std::strcpy(copy, connectString);
  ConnectParts parts = splitConnectString(copy);
  char typed[kTypedPasswordSize] = {};  // the password as a run takes it
  const char *password = nullptr;
  const char *written = driverTakesPassword(parts.database) ? parts.password : nullptr;  // none for SQLite
  if (!resolvePassword(written, parts.user, typed, sizeof typed, &password)) {
    c.error(-1, 0, formatMessage(Msg::CheckCannotConnectReason, typed) + stops(Msg::ConnectFail));
    return;
  }
  OStartup(1);
  ODatabase &database = job.db.database;
  int failed = database.Open(parts.database, parts.user, password, job.job.options.nativeSql ? kOpenNativeSql : 0);
  explicit_bzero(typed, sizeof typed);
  if (failed != 0) {
    const char *reason = database.GetServerErrorText();
    std::string text = reason && reason[0] ? formatMessage(Msg::CheckCannotConnectReason, reason)
                                           : std::string(messageText(Msg::CheckCannotConnect));
    c.error(-1, 0, text + stops(Msg::ConnectFail));
    return;
  }
  c.backendKnown = true;
  c.backend = backendOf(database.ProductName());
  OSession session = database.GetSession();
  session.BeginTransaction();
  SchemaCheck check{c, database.driver(), database.Dialect(), {}};
  for (size_t slot = 1; slot < c.macros.size(); ++slot)
    if (c.macros[slot].sql) check.macro(static_cast<int>(slot));
  for (const CheckLine &l : c.lines)
    if (l.kind == LineKind::Statement && std::strcmp(kStatements[l.statement].word, ".IF") == 0) check.condition(l);
  session.Rollback(0);                  // nothing of the check stays
  database.Close();
}
