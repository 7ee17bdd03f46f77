// The SQLite driver: one connection to an existing database file, with
// result sets as prepared statements stepped forward (nothing of a result
// is held in memory), and the Oracle-style pieces the program's own SQL
// needs: a one-row DUAL with SYSDATE, and Oracle's functions
// (OracleFunctions.h).
#include <sqlite3.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "database/ClassLibrary.h"
#include "database/DriverLink.h"
#include "database/SqliteDriver.h"
#include "database/SqlText.h"
#include "driver/Messages.h"

namespace {

class SqliteCursor;

// Statements of closed cursors kept, reset, for a later query of the same
// text (a per-row query of a report runs the same text on every row).
constexpr size_t kIdleStatements = 8;

struct IdleStatement {
  std::string sql;                      // the text it was prepared from
  sqlite3_stmt *stmt = nullptr;
};

// A live cursor's resource is its statement.
struct SqliteLink : DriverLink<SqliteCursor> {
  sqlite3 *db = nullptr;
  std::vector<IdleStatement> idle;      // reset statements, the most recent last

  // The idle statement prepared from exactly this text, taken out of the
  // list; nullptr when there is none.
  sqlite3_stmt *takeIdle(const char *sql) {
    for (size_t i = idle.size(); i-- > 0;) {
      if (idle[i].sql != sql) continue;
      sqlite3_stmt *stmt = idle[i].stmt;
      idle.erase(idle.begin() + static_cast<std::ptrdiff_t>(i));
      return stmt;
    }
    return nullptr;
  }
  // Keep a statement for reuse once it is reset; one that cannot be reset
  // cleanly is finalized, as is the oldest when the list is full.
  void park(sqlite3_stmt *stmt, std::string sql) {
    if (!db || sqlite3_reset(stmt) != SQLITE_OK) {
      sqlite3_finalize(stmt);
      return;
    }
    if (idle.size() >= kIdleStatements) {
      sqlite3_finalize(idle.front().stmt);
      idle.erase(idle.begin());
    }
    idle.push_back({std::move(sql), stmt});
  }
  void finalizeIdle() {
    for (IdleStatement &entry : idle) sqlite3_finalize(entry.stmt);
    idle.clear();
  }

  // Keep the connection's latest error (its text is gone at the next call).
  void recordError(int code) {
    errorNumber = db ? sqlite3_extended_errcode(db) : code;
    if (errorNumber == 0) errorNumber = code;
    std::snprintf(errorText, sizeof errorText, "%s", db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
    errorCause.clear();
  }
  // A statement SQLite could not prepare: where in the whole text it found
  // the error, when it says, the statement prepared being the part of
  // whole from part on.
  void recordPrepareError(int code, const char *whole, const char *part) {
    recordError(code);
    int offset = db ? sqlite3_error_offset(db) : -1;
    if (offset >= 0) appendErrorPlace(errorCause, whole, static_cast<size_t>(part - whole + offset));
  }
};

// Column typing decided once per statement: a declared type's server type,
// or kByValue when the value of each row decides.
constexpr signed char kByValue = -1;

// Server type of an undeclared column from the value in the current row.
// Text in the exact ISO date shape is a date, so that SYSDATE and date
// expressions fetch like date columns.
short typeOfValue(sqlite3_stmt *stmt, int column) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      return kServerTypeNumber;
    case SQLITE_TEXT: {
      const char *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
      DateParts date;
      if (text && parseIsoDate(text, sqlite3_column_bytes(stmt, column), true, &date)) return kServerTypeDate;
      return kServerTypeChar;
    }
    case SQLITE_NULL:
      return kServerTypeChar;
    default:
      return kServerTypeOther;
  }
}

// Whether a result column without an alias is one whole TO_CHAR(x, format)
// call (SQLite names such a column by its expression): its values are text
// even when they read like an ISO date (TO_CHAR(d, 'YYYY-MM-DD')), as the
// format made them. TO_CHAR(d) without a format gives the date's own ISO
// text, which stays a date by its shape.
bool isToCharColumn(const char *name) {
  if (!name || sqlite3_strnicmp(name, "TO_CHAR", 7) != 0) return false;
  const char *p = name + 7;
  while (*p == ' ') ++p;
  if (*p != '(') return false;
  int depth = 0;
  char quote = 0;
  bool format = false;
  for (; *p; ++p) {
    if (quote) {
      if (*p == quote) quote = 0;
    } else if (*p == '\'' || *p == '"') {
      quote = *p;
    } else if (*p == ',' && depth == 1) {
      format = true;
    } else if (*p == '(') {
      ++depth;
    } else if (*p == ')' && --depth == 0) {
      ++p;
      break;
    }
  }
  while (*p == ' ') ++p;
  return format && depth == 0 && *p == 0;
}

// The typing of a result column: its declared type's, text for a TO_CHAR
// call, else kByValue.
short columnServerType(sqlite3_stmt *stmt, int column) {
  short declared = serverTypeOfDeclared(sqlite3_column_decltype(stmt, column));
  if (declared == kByValue && isToCharColumn(sqlite3_column_name(stmt, column))) return kServerTypeChar;
  return declared;
}

// One value of a row read ahead into memory, as the statement gave it.
struct HeldValue {
  int type = SQLITE_NULL;
  sqlite3_int64 integer = 0;
  double real = 0.0;
  std::string text;                     // the value's text; empty for NULL
};

// The server type of an undeclared column from a value held in memory; the
// same rule as typeOfValue.
short typeOfHeldValue(const HeldValue &value) {
  switch (value.type) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      return kServerTypeNumber;
    case SQLITE_TEXT: {
      DateParts date;
      if (parseIsoDate(value.text.c_str(), static_cast<int>(value.text.size()), true, &date)) return kServerTypeDate;
      return kServerTypeChar;
    }
    case SQLITE_NULL:
      return kServerTypeChar;
    default:
      return kServerTypeOther;
  }
}

// A result set. It steps its statement forward, holding nothing; but SQLite
// lets a statement see rows its own connection writes while it is open (a
// report whose body inserts into the table it reads would never end), so
// before the connection writes, the statement is read to its end into
// memory and the cursor goes on from there: a result set sees the rows as
// they were when it was opened.
class SqliteCursor final : public DbCursor {
 public:
  SqliteCursor(std::shared_ptr<SqliteLink> link, sqlite3_stmt *stmt, const char *sql)
      : link_(std::move(link)), stmt_(stmt), sql_(sql) {
    link_->attach(this);
    columns_ = sqlite3_column_count(stmt_);
    types_.resize(static_cast<size_t>(columns_));
    for (int i = 0; i < columns_; ++i) {
      types_[static_cast<size_t>(i)] = static_cast<signed char>(columnServerType(stmt_, i));
    }
  }
  // A cursor closed on an open connection leaves its statement for reuse.
  ~SqliteCursor() override {
    if (stmt_) link_->park(stmt_, std::move(sql_));
    stmt_ = nullptr;
    link_->detach(this);
  }
  SqliteCursor(const SqliteCursor &) = delete;
  SqliteCursor &operator=(const SqliteCursor &) = delete;

  // Finalize the statement and drop held rows; called by the cursor itself
  // or by the closing connection.
  void release() {
    if (stmt_) sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    held_ = false;
    rows_.clear();
  }

  // The connection is about to write: read the whole result into memory,
  // from its first row (the rows are those of the opening, nothing having
  // been written since), and stand where the statement stood.
  void holdRows() {
    if (!stmt_ || finished_) return;
    sqlite3_reset(stmt_);
    int rc;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) rows_.push_back(readRow());
    if (rc != SQLITE_DONE) {
      failed_ = {true, sqlite3_extended_errcode(sqlite3_db_handle(stmt_)), sqlite3_errmsg(sqlite3_db_handle(stmt_)), {}};
    }
    link_->park(stmt_, std::move(sql_));
    stmt_ = nullptr;
    held_ = true;
  }

  StepResult step() override {
    if (held_) return stepHeld();
    if (!stmt_) return StepResult::Done;
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
      ++position_;
      return StepResult::Row;
    }
    finished_ = true;
    if (rc == SQLITE_DONE) return StepResult::Done;
    link_->recordError(rc);
    return StepResult::Error;
  }

  void rewind() override {
    position_ = 0;
    finished_ = false;
    if (stmt_) sqlite3_reset(stmt_);
  }

  int columnCount() override { return columns_; }

  short serverType(int column) override {
    signed char declared = types_[static_cast<size_t>(column)];
    if (declared != kByValue) return declared;
    if (held_) return typeOfHeldValue(heldValue(column));
    return stmt_ ? typeOfValue(stmt_, column) : kServerTypeOther;
  }

  bool isNull(int column) override { return valueType(column) == SQLITE_NULL; }

  // ISO text of a date column is given as "mm/dd/yyyy hh:mi:ss" from the
  // cursor's one date buffer; anything else as SQLite's text of the value.
  const char *text(int column) override {
    int length = 0;
    const char *value = valueText(column, &length);
    if (!value) return "";
    DateParts date;
    if (!readDate(column, value, length, &date)) return value;
    formatDateText(date, dateText_);
    return dateText_;
  }

  bool dateParts(int column, DateParts *date) override {
    int length = 0;
    const char *value = valueText(column, &length);
    return value != nullptr && readDate(column, value, length, date);
  }

  double real(int column) override {
    if (held_) return heldValue(column).real;
    return stmt_ ? sqlite3_column_double(stmt_, column) : 0.0;
  }
  long integer(int column) override {
    if (held_) return static_cast<long>(heldValue(column).integer);
    return stmt_ ? static_cast<long>(sqlite3_column_int64(stmt_, column)) : 0;
  }

 private:
  // The date that the text of a column's value holds: ISO text of a date
  // column, or of an undeclared one in the exact date shapes.
  bool readDate(int column, const char *value, int length, DateParts *date) {
    signed char declared = types_[static_cast<size_t>(column)];
    if (declared != kServerTypeDate && declared != kByValue) return false;
    if (valueType(column) != SQLITE_TEXT) return false;
    return parseIsoDate(value, length, declared == kByValue, date);
  }

  std::vector<HeldValue> readRow() {
    std::vector<HeldValue> row(static_cast<size_t>(columns_));
    for (int i = 0; i < columns_; ++i) {
      HeldValue &value = row[static_cast<size_t>(i)];
      value.type = sqlite3_column_type(stmt_, i);   // before any conversion
      if (value.type == SQLITE_NULL) continue;
      value.integer = sqlite3_column_int64(stmt_, i);
      value.real = sqlite3_column_double(stmt_, i);
      const char *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, i));
      if (text) value.text.assign(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, i)));
    }
    return row;
  }

  StepResult stepHeld() {
    if (position_ < rows_.size()) {
      ++position_;
      return StepResult::Row;
    }
    if (position_ == rows_.size() && failed_.held) {
      ++position_;                      // the failing row is reported once
      link_->restoreError(failed_);
      return StepResult::Error;
    }
    return StepResult::Done;
  }

  // The row the cursor stands on, held in memory; position_ is at least 1
  // whenever the layer reads a value.
  const HeldValue &heldValue(int column) const {
    static const HeldValue kNull;
    if (position_ == 0 || position_ > rows_.size()) return kNull;
    return rows_[position_ - 1][static_cast<size_t>(column)];
  }

  int valueType(int column) {
    if (held_) return heldValue(column).type;
    return stmt_ ? sqlite3_column_type(stmt_, column) : SQLITE_NULL;
  }

  const char *valueText(int column, int *length) {
    if (held_) {
      const HeldValue &value = heldValue(column);
      *length = static_cast<int>(value.text.size());
      return value.type == SQLITE_NULL ? nullptr : value.text.c_str();
    }
    if (!stmt_) return nullptr;
    const char *value = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, column));
    *length = sqlite3_column_bytes(stmt_, column);
    return value;
  }

  std::shared_ptr<SqliteLink> link_;
  sqlite3_stmt *stmt_;
  std::string sql_;                     // the text stmt_ was prepared from
  int columns_ = 0;
  std::vector<signed char> types_;      // per column: server type, or kByValue
  char dateText_[kSqliteDateTextSize] = {};
  size_t position_ = 0;                 // rows stepped onto since the start
  bool finished_ = false;               // the statement has given its last row
  bool held_ = false;                   // the rows are in rows_, the statement is gone
  std::vector<std::vector<HeldValue>> rows_;
  KeptError failed_;                    // reading ahead ended in an error, reported after the rows
};

// DUAL for a database without its own: one row, DUMMY 'X' and SYSDATE the
// local date and time when the statement runs.
constexpr const char kHasDualSql[] =
    "SELECT 1 FROM sqlite_master WHERE type IN ('table','view') AND name = 'dual' COLLATE NOCASE";
constexpr const char kDualViewSql[] =
    "CREATE TEMP VIEW dual AS SELECT 'X' AS DUMMY, datetime('now','localtime') AS SYSDATE";

constexpr const char kDualSysdateSql[] =
    "SELECT 1 FROM pragma_table_info('dual') WHERE name = 'sysdate' COLLATE NOCASE";

class SqliteDriver final : public DbDriver {
 public:
  SqliteDriver() : link_(std::make_shared<SqliteLink>()) {}
  ~SqliteDriver() override { close(); }
  SqliteDriver(const SqliteDriver &) = delete;
  SqliteDriver &operator=(const SqliteDriver &) = delete;

  // Open an existing file read-write; a missing file is a failed
  // connection, never a new empty database. Reading the schema (for DUAL)
  // also refuses a file that is no database.
  int connect(const char *database, const char *, const char *) override {
    close();
    link_->clearError();
    if (database == nullptr || database[0] == 0) {
      link_->setError(SQLITE_CANTOPEN, messageText(Msg::DriverNoDatabaseName));
      return 1;
    }
    // One thread uses the connection: SQLite's own mutex would only cost.
    int rc = sqlite3_open_v2(database, &link_->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) rc = prepareConnection();
    if (rc == SQLITE_OK) dualHasSysdate_ = readDualHasSysdate();
    if (rc != SQLITE_OK) {
      link_->recordError(rc);
      nameConnectFailure(database);
      close();
      return 1;
    }
    return 0;
  }

  // The reason a connection failed, with the file it was for and the
  // system's word on it: "x.db: unable to open database file (No such
  // file or directory)".
  void nameConnectFailure(const char *database) {
    std::string reason = std::string(database) + ": " + link_->errorText;
    int system = link_->db ? sqlite3_system_errno(link_->db) : 0;
    if (system != 0) reason += std::string(" (") + std::strerror(system) + ")";
    std::snprintf(link_->errorText, sizeof link_->errorText, "%s", reason.c_str());
  }

  // Every statement of the text in turn; rows a statement returns are
  // passed over. A text of one statement keeps it for the next run of the
  // same text.
  int execute(const char *sql) override {
    if (!link_->db) return notConnected();
    link_->clearError();
    if (sqlite3_stmt *kept = link_->takeIdle(sql)) return runToEnd(kept, sql);
    const char *rest = sql;
    while (*rest) {
      sqlite3_stmt *stmt = nullptr;
      const char *tail = nullptr;
      int rc = sqlite3_prepare_v2(link_->db, rest, -1, &stmt, &tail);
      if (rc != SQLITE_OK) {
        link_->recordPrepareError(rc, sql, rest);
        return 1;
      }
      if (!stmt) break;                  // only blanks or comments left
      if (!sqlite3_stmt_readonly(stmt)) holdOpenResults();
      if (rest == sql && !hasAnotherStatement(tail)) return runToEnd(stmt, sql);
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      }
      if (rc != SQLITE_DONE) {
        link_->recordError(rc);
        sqlite3_finalize(stmt);
        return 1;
      }
      sqlite3_finalize(stmt);
      rest = tail;
    }
    return 0;
  }

  // A query is one statement: text after it would silently not run.
  std::unique_ptr<DbCursor> open(const char *sql) override {
    if (!link_->db) {
      notConnected();
      return nullptr;
    }
    link_->clearError();
    if (sqlite3_stmt *kept = link_->takeIdle(sql)) return newCursor(kept, sql);
    sqlite3_stmt *stmt = nullptr;
    const char *tail = nullptr;
    int rc = sqlite3_prepare_v2(link_->db, sql, -1, &stmt, &tail);
    if (rc != SQLITE_OK) {
      link_->recordPrepareError(rc, sql, sql);
      return nullptr;
    }
    if (!stmt) {
      link_->setError(SQLITE_ERROR, messageText(Msg::DriverNoStatement));
      return nullptr;
    }
    if (hasAnotherStatement(tail)) {
      sqlite3_finalize(stmt);
      link_->setError(SQLITE_ERROR, messageText(Msg::DriverOneStatement));
      return nullptr;
    }
    return newCursor(stmt, sql);
  }

  // Every statement of the text is prepared; the first one's columns are
  // described by their declared types.
  int describe(const char *sql, std::vector<short> *columnTypes) override {
    columnTypes->clear();
    if (!link_->db) return notConnected();
    link_->clearError();
    bool first = true;
    for (const char *rest = sql; *rest;) {
      sqlite3_stmt *stmt = nullptr;
      const char *part = rest;
      int rc = sqlite3_prepare_v2(link_->db, part, -1, &stmt, &rest);
      if (rc != SQLITE_OK) {
        link_->recordPrepareError(rc, sql, part);
        return 1;
      }
      if (!stmt) break;                  // only blanks or comments left
      for (int i = 0; first && i < sqlite3_column_count(stmt); ++i)
        columnTypes->push_back(columnServerType(stmt, i));
      first = false;
      sqlite3_finalize(stmt);
    }
    return 0;
  }

  int begin() override { return run("BEGIN"); }

  // With no transaction open (never begun, or ended by SQLite itself after
  // an error) there is nothing to end, and the last error stays readable.
  int commit() override {
    if (!link_->db) return notConnected();
    if (sqlite3_get_autocommit(link_->db)) return 0;
    return run("COMMIT");
  }
  int rollback() override {
    if (!link_->db) return notConnected();
    if (sqlite3_get_autocommit(link_->db)) return 0;
    return run("ROLLBACK");
  }

  // Statements first, then the connection; SQLite rolls back what is open.
  void close() override {
    link_->releaseCursors();
    link_->finalizeIdle();
    if (link_->db) sqlite3_close_v2(link_->db);
    link_->db = nullptr;
  }

  long errorNumber() override { return link_->errorNumber; }
  const char *errorText() override { return link_->errorText; }
  const char *errorCause() override { return link_->errorCause.c_str(); }
  const char *productName() override { return "SQLITE"; }
  bool dualHasSysdate() override { return dualHasSysdate_; }

  // sqlite3_interrupt may be called from any thread while the connection
  // is open.
  void interrupt() override {
    if (link_->db) sqlite3_interrupt(link_->db);
  }

 private:
  // A result set of a statement; one that writes (INSERT ... RETURNING)
  // first has the open result sets keep their rows.
  std::unique_ptr<DbCursor> newCursor(sqlite3_stmt *stmt, const char *sql) {
    if (!sqlite3_stmt_readonly(stmt)) holdOpenResults();
    return std::make_unique<SqliteCursor>(link_, stmt, sql);
  }

  // Before a statement that writes: the open result sets keep the rows of
  // their opening.
  void holdOpenResults() {
    for (SqliteCursor *cursor : link_->live) cursor->holdRows();
  }

  int prepareConnection() {
    sqlite3 *db = link_->db;
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kSqliteBusyTimeoutMs);
    int rc = registerOracleFunctions(db, oracleSql_);   // native SQL keeps SQLite's own built-ins
    if (rc != SQLITE_OK) return rc;
    sqlite3_stmt *stmt = nullptr;
    rc = sqlite3_prepare_v2(db, kHasDualSql, -1, &stmt, nullptr);
    if (rc != SQLITE_OK) return rc;
    rc = sqlite3_step(stmt);
    bool hasDual = rc == SQLITE_ROW;
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return rc;
    if (hasDual) return SQLITE_OK;
    return sqlite3_exec(db, kDualViewSql, nullptr, nullptr, nullptr);
  }

  // Whether DUAL (the database's or the driver's) has a SYSDATE column.
  bool readDualHasSysdate() {
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(link_->db, kDualSysdateSql, -1, &stmt, nullptr) != SQLITE_OK) return false;
    bool found = sqlite3_step(stmt) == SQLITE_ROW;
    sqlite3_finalize(stmt);
    return found;
  }

  // Whether SQL text follows the first statement (blanks, semicolons and
  // comments do not count).
  bool hasAnotherStatement(const char *tail) {
    while (*tail == ' ' || *tail == '\t' || *tail == '\n' || *tail == '\r' || *tail == ';') ++tail;
    if (*tail == 0) return false;
    sqlite3_stmt *next = nullptr;
    if (sqlite3_prepare_v2(link_->db, tail, -1, &next, nullptr) != SQLITE_OK) return true;
    bool found = next != nullptr;
    sqlite3_finalize(next);
    return found;
  }

  int run(const char *sql) {
    if (!link_->db) return notConnected();
    link_->clearError();
    int rc = sqlite3_exec(link_->db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      link_->recordError(rc);
      return 1;
    }
    return 0;
  }

  // Step a statement of the whole text sql to its end, then keep it.
  int runToEnd(sqlite3_stmt *stmt, const char *sql) {
    if (!sqlite3_stmt_readonly(stmt)) holdOpenResults();
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
      link_->recordError(rc);
      sqlite3_finalize(stmt);
      return 1;
    }
    link_->park(stmt, sql);
    return 0;
  }

  int notConnected() {
    link_->setError(SQLITE_MISUSE, messageText(Msg::DriverNotConnected));
    return 1;
  }

  std::shared_ptr<SqliteLink> link_;
  bool dualHasSysdate_ = true;           // DUAL has a SYSDATE column
};

}  // namespace

std::unique_ptr<DbDriver> makeSqliteDriver() { return std::make_unique<SqliteDriver>(); }

// --- Column types ----------------------------------------------------------------

// Declared types by name first (CHAR is the fixed-width character type),
// then by SQLite's affinity words for the many spellings of the others.
short serverTypeOfDeclared(const char *declared) {
  if (declared == nullptr) return -1;
  while (*declared == ' ') ++declared;
  if (*declared == 0) return -1;
  char name[64];
  int n = 0;
  for (const char *p = declared; *p && *p != '(' && n < static_cast<int>(sizeof name) - 1; ++p) {
    name[n++] = static_cast<char>((*p >= 'a' && *p <= 'z') ? *p - 'a' + 'A' : *p);
  }
  while (n > 0 && name[n - 1] == ' ') --n;
  name[n] = 0;

  static const struct {
    const char *name;
    short type;
  } kNamed[] = {
      {"CHAR", kServerTypeFixedChar}, {"CHARACTER", kServerTypeFixedChar}, {"NCHAR", kServerTypeFixedChar},
      {"DATE", kServerTypeDate},      {"DATETIME", kServerTypeDate},       {"TIMESTAMP", kServerTypeDate},
      {"NUMBER", kServerTypeNumber},  {"NUMERIC", kServerTypeNumber},      {"DECIMAL", kServerTypeNumber},
      {"BOOLEAN", kServerTypeNumber},
  };
  for (const auto &entry : kNamed) {
    if (std::strcmp(name, entry.name) == 0) return entry.type;
  }
  if (std::strncmp(name, "TIMESTAMP ", 10) == 0) return kServerTypeDate;   // WITH TIME ZONE
  if (std::strstr(name, "INT")) return kServerTypeNumber;
  if (std::strstr(name, "CHAR") || std::strstr(name, "CLOB") || std::strstr(name, "TEXT") ||
      std::strcmp(name, "STRING") == 0) {
    return kServerTypeChar;
  }
  if (std::strstr(name, "REAL") || std::strstr(name, "FLOA") || std::strstr(name, "DOUB") ||
      std::strstr(name, "DEC") || std::strstr(name, "NUM")) {
    return kServerTypeNumber;
  }
  return kServerTypeOther;
}
