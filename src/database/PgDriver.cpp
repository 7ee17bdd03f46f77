// The PostgreSQL driver: one libpq connection, the job's transaction begun
// with the first statement after each end, and result sets as server-side
// cursors (DECLARE ... NO SCROLL CURSOR WITH HOLD, so that a .COMMIT inside
// a report keeps its rows) read in batches of at most a thousand rows. A
// report holds at most two batches of each open query: the one being read
// and the next, asked for while the first is read, so that the server
// works while the report is formatted. Values are read straight from
// libpq's result text; nothing is allocated per row.
//
// Statements of the driver's own (BEGIN, CLOSE of a finished cursor) wait
// and go to the server in front of the next statement, in one message, so
// that a query costs one round trip.
#include "database/PgDriver.h"

#include <libpq-fe.h>
#include <strings.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/Messages.h"
#include "database/ClassLibrary.h"
#include "database/DriverLink.h"
#include "database/DateText.h"
#include "database/OracleSql.h"
#include "database/SqlText.h"

namespace {

// Type OIDs of the built-in types (fixed in PostgreSQL's catalog).
enum : unsigned {
  kOidBool = 16, kOidChar = 18, kOidName = 19, kOidInt8 = 20, kOidInt2 = 21, kOidInt4 = 23, kOidText = 25,
  kOidOid = 26, kOidFloat4 = 700, kOidFloat8 = 701, kOidUnknown = 705, kOidBpchar = 1042, kOidVarchar = 1043,
  kOidDate = 1082, kOidTimestamp = 1114, kOidTimestamptz = 1184, kOidNumeric = 1700,
};

constexpr char kCursorName[] = "kelvordantix_";   // followed by the cursor's number
constexpr char kProbeSavepoint[] = "kelvordantix_probe";
constexpr char kApplicationName[] = "kelvordantix";

// Set once per connection: dates in ISO text whatever the server's default
// (the order of day and month in date input stays the server's), and
// cursors planned for reading all their rows, as a report does.
constexpr char kSessionSql[] =
    "SET DateStyle = ISO; SET cursor_tuple_fraction = 1.0; SELECT to_regclass('dual') IS NOT NULL";

class PgCursor;

void ignoreNotice(void *, const char *) {}
double readReal(const char *text, int length);

// A live cursor's resources are its batches.
struct PgLink : DriverLink<PgCursor> {
  PGconn *conn = nullptr;
  PGcancel *cancel = nullptr;            // asks the server to stop the running statement
  bool hasDual = true;                   // the database has its own DUAL
  bool dualSysdate = true;               // ... with a SYSDATE column
  bool orafce = false;                   // orafce's schema is on the search path
  std::vector<unsigned> textTypes;       // orafce's VARCHAR2 and NVARCHAR2: text

  // The built-in type a column of type oid is read as.
  unsigned builtinOid(unsigned oid) const {
    return std::find(textTypes.begin(), textTypes.end(), oid) != textTypes.end() ? kOidVarchar : oid;
  }
  bool beginPending = false;             // BEGIN waits for the next statement
  bool inTransaction = false;            // BEGIN was sent and not yet ended
  unsigned long serial = 1;              // the transaction, counted from 1
  unsigned long cursorCount = 0;         // cursors declared; names their numbers
  struct PendingClose {
    unsigned long number;                // the cursor's number
    unsigned long serial;                // the transaction that declared it
  };
  std::vector<PendingClose> closes;      // cursors to close with the next statement
  PgCursor *inFlight = nullptr;          // cursor whose next batch is on its way
  int inFlightStatements = 0;            // statements of that message, the FETCH last
  std::string command;                   // text of the message being built
  long errorPosition = 0;                // the error's character in the text sent, from 1; 0: none
  // A server error as "[SQLSTATE] message", with its DETAIL and HINT as
  // cause lines and its position kept for placeError; an error of libpq
  // itself (the connection lost) as libpq words it.
  void recordError(const PGresult *result) {
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char *message = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    errorPosition = 0;
    if (state && message) {
      char text[kErrorTextSize];
      std::snprintf(text, sizeof text, "[%s] %s", state, message);
      setError(1, text);
      addCause(messageText(Msg::CauseDetail), PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL));
      addCause(messageText(Msg::CauseHint), PQresultErrorField(result, PG_DIAG_MESSAGE_HINT));
      const char *position = PQresultErrorField(result, PG_DIAG_STATEMENT_POSITION);
      if (position) errorPosition = std::atol(position);
    } else {
      const char *text = result ? PQresultErrorMessage(result) : "";
      setError(1, text && text[0] ? text : PQerrorMessage(conn));
    }
  }

  void addCause(const char *label, const char *text) {
    if (!text || !text[0]) return;
    if (!errorCause.empty()) errorCause += '\n';
    errorCause += label;
    errorCause += text;
  }
  // The kept position shown under statement, which the server read after
  // charsBefore characters of the driver's own; the lines go first, as
  // psql shows them. A position outside the statement is not shown.
  void placeError(const char *statement, long charsBefore) {
    if (errorPosition <= 0) return;
    long offset = byteOffsetOfCharacter(statement, errorPosition - charsBefore);
    errorPosition = 0;
    if (offset < 0) return;
    std::string place;
    appendErrorPlace(place, statement, static_cast<size_t>(offset));
    if (!errorCause.empty()) place += '\n' + errorCause;
    errorCause = place;
  }

  // The driver's waiting statements, put in front of command; their number.
  int takePending() {
    int count = 0;
    if (beginPending) {
      command += "BEGIN;";
      beginPending = false;
      inTransaction = true;
      ++count;
    }
    for (const PendingClose &close : closes) {
      appendClose(close.number);
      ++count;
    }
    closes.clear();
    return count;
  }
  void appendClose(unsigned long number) {
    char text[64];
    std::snprintf(text, sizeof text, "CLOSE %s%lu;", kCursorName, number);
    command += text;
  }

  bool settle();
  PGresult *exchange(int statements, int keep);
  PGresult *receive(int statements, int keep);
};

// A result set: a server cursor read in batches. row_ is the current row
// of the batch; exhausted_ says the server has no rows after this batch.
class PgCursor final : public DbCursor {
 public:
  PgCursor(std::shared_ptr<PgLink> link, const char *sql, bool hold) : link_(std::move(link)), sql_(sql), hold_(hold) {
    link_->attach(this);
  }
  ~PgCursor() override {
    if (link_->inFlight == this) link_->settle();
    closeServerCursor();
    release();
    link_->detach(this);
  }
  PgCursor(const PgCursor &) = delete;
  PgCursor &operator=(const PgCursor &) = delete;

  // Declare the cursor and read its first batch, in one message after the
  // driver's waiting statements. A date probe runs inside a savepoint, so
  // that its failure (which the job tolerates) leaves the transaction
  // usable. false on a server error (the link holds it).
  bool declare(bool probe) {
    PgLink &link = *link_;
    if (!link.settle()) return false;
    link.command.clear();
    int before = link.takePending();
    probe = probe && link.inTransaction;
    if (probe) link.command += std::string("SAVEPOINT ") + kProbeSavepoint + ";";
    number_ = ++link.cursorCount;
    serial_ = link.serial;
    char name[64];
    std::snprintf(name, sizeof name, "%s%lu", kCursorName, number_);
    link.command += "DECLARE ";
    link.command += name;
    link.command += hold_ ? " NO SCROLL CURSOR WITH HOLD FOR " : " NO SCROLL CURSOR FOR ";
    sqlStart_ = static_cast<long>(link.command.size());   // the driver's text is ASCII: bytes are characters
    link.command += sql_;
    PGresult *result = nullptr;
    if (!probe && !sqlEndsInPlainText(sql_.c_str())) {
      // Quoted text or a comment left open would take in the FETCH and show
      // it in the server's error: the DECLARE goes alone.
      if (!(result = link.exchange(before + 1, before))) return false;
      PQclear(result);
      link.command.clear();
      appendFetch(kPgFirstBatchRows);
      result = link.exchange(1, 0);
    } else {
      // A line end first, so that a comment at the end of the query does
      // not swallow the FETCH.
      link.command += "\n;";
      appendFetch(kPgFirstBatchRows);
      if (probe) link.command += std::string(";RELEASE SAVEPOINT ") + kProbeSavepoint;
      int statements = before + (probe ? 4 : 2);
      result = link.exchange(statements, before + (probe ? 2 : 1));
    }
    if (!result) {
      if (probe) undoProbe();
      return false;
    }
    declared_ = true;
    takeBatch(result, kPgFirstBatchRows);
    firstBatch_ = true;
    describe();
    return true;
  }

  // Let go of the batches; called by the cursor itself or by the closing
  // connection.
  void release() {
    if (batch_) PQclear(batch_);
    if (next_) PQclear(next_);
    batch_ = next_ = nullptr;
    rows_ = 0;
    row_ = -1;
    declared_ = false;
  }

  // The transaction that declared the cursor was rolled back: the server
  // cursor is gone.
  void lost(unsigned long serial) {
    if (serial_ == serial) declared_ = false;
  }

  // The batch asked for ahead arrives (nullptr: its FETCH failed).
  void acceptNext(PGresult *result) { next_ = result; }

  StepResult step() override {
    if (!batch_) return failed_ ? (failed_ = false, StepResult::Error) : StepResult::Done;
    if (row_ + 1 < rows_) {
      ++row_;
      if (row_ == 1) askAhead();
      return StepResult::Row;
    }
    if (exhausted_) {
      row_ = rows_;
      return StepResult::Done;
    }
    if (!nextBatch()) return StepResult::Error;
    if (rows_ == 0) return StepResult::Done;
    row_ = 0;
    return StepResult::Row;
  }

  // A result that came whole in its first batch is read again from memory
  // (it shows the rows as of its opening); otherwise the statement runs
  // again under a new cursor, and a failure shows at the next step.
  void rewind() override {
    if (!batch_ || !link_->conn) return;
    if (firstBatch_ && exhausted_) {
      row_ = -1;
      return;
    }
    if (link_->inFlight == this) link_->settle();
    closeServerCursor();
    release();
    if (!declare(false)) failed_ = true;
  }

  // Characters of the driver's own before the statement in the last
  // DECLARE's message.
  long sqlStart() const { return sqlStart_; }

  int columnCount() override { return static_cast<int>(types_.size()); }
  short serverType(int column) override { return types_[static_cast<size_t>(column)]; }

  bool isNull(int column) override { return !onRow() || PQgetisnull(batch_, row_, column); }

  const char *text(int column) override {
    if (!onRow()) return "";
    const char *value = PQgetvalue(batch_, row_, column);
    switch (oids_[static_cast<size_t>(column)]) {
      case kOidBool:
        return value[0] == 't' ? "1" : "0";
      case kOidDate:
      case kOidTimestamp:
      case kOidTimestamptz:
        return pgDateText(value, PQgetlength(batch_, row_, column), dateText_) ? dateText_ : value;
      default:
        return value;
    }
  }

  double real(int column) override {
    if (isNull(column)) return 0.0;
    const char *value = PQgetvalue(batch_, row_, column);
    if (oids_[static_cast<size_t>(column)] == kOidBool) return value[0] == 't' ? 1.0 : 0.0;
    return readReal(value, PQgetlength(batch_, row_, column));
  }

  // An integer's text is read exactly; other numbers are cut towards zero
  // and clamped to the range of long.
  long integer(int column) override {
    if (isNull(column)) return 0;
    const char *value = PQgetvalue(batch_, row_, column);
    if (oids_[static_cast<size_t>(column)] == kOidBool) return value[0] == 't' ? 1 : 0;
    int length = PQgetlength(batch_, row_, column);
    long whole = 0;
    auto [end, error] = std::from_chars(value, value + length, whole);
    if (error == std::errc() && end == value + length) return whole;
    double number = readReal(value, length);
    if (!(number == number)) return 0;
    if (number >= static_cast<double>(LONG_MAX)) return LONG_MAX;
    if (number <= static_cast<double>(LONG_MIN)) return LONG_MIN;
    return static_cast<long>(number);
  }

 private:
  bool onRow() const { return batch_ && row_ >= 0 && row_ < rows_; }

  void appendFetch(int rows) {
    char text[96];
    std::snprintf(text, sizeof text, "FETCH FORWARD %d FROM %s%lu", rows, kCursorName, number_);
    link_->command += text;
    asked_ = rows;
  }

  // Types from the first batch's description, which every batch shares.
  void describe() {
    int count = PQnfields(batch_);
    oids_.resize(static_cast<size_t>(count));
    types_.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      oids_[static_cast<size_t>(i)] = link_->builtinOid(PQftype(batch_, i));
      types_[static_cast<size_t>(i)] = pgServerTypeOfOid(oids_[static_cast<size_t>(i)]);
    }
  }

  // A new batch replaces the last; a batch shorter than asked is the last,
  // and the server cursor is then closed at once (a commit need not keep
  // it; a rewind declares a new one).
  void takeBatch(PGresult *result, int asked) {
    if (batch_) PQclear(batch_);
    batch_ = result;
    rows_ = PQntuples(result);
    row_ = -1;
    firstBatch_ = false;
    exhausted_ = rows_ < asked;
    if (exhausted_) closeServerCursor();
    long bytes = 0;
    int columns = PQnfields(result);
    for (int r = 0; r < rows_; ++r) {
      for (int c = 0; c < columns; ++c) bytes += PQgetlength(result, r, c) + 8;
    }
    nextRows_ = pgNextBatchRows(rows_, bytes);
  }

  // The next batch: the one asked for ahead, or a FETCH now.
  bool nextBatch() {
    PgLink &link = *link_;
    if (!next_ && link.inFlight == this && !link.settle()) return false;
    if (!next_) {
      if (!link.settle()) return false;
      link.command.clear();
      int before = link.takePending();
      appendFetch(nextRows_);
      next_ = link.exchange(before + 1, before);
      if (!next_) return false;
    }
    PGresult *result = next_;
    next_ = nullptr;
    takeBatch(result, asked_);
    return true;
  }

  // Ask for the next batch while this one is read, when the connection is
  // free; the driver's waiting statements go with it.
  void askAhead() {
    PgLink &link = *link_;
    if (exhausted_ || next_ || !declared_ || link.inFlight || !link.conn) return;
    link.command.clear();
    int before = link.takePending();
    appendFetch(nextRows_);
    if (!PQsendQuery(link.conn, link.command.c_str())) return;   // the next FETCH meets the fault
    link.inFlight = this;
    link.inFlightStatements = before + 1;
  }

  // The server cursor is closed with the next statement of the link; one
  // lost with its transaction needs no closing.
  void closeServerCursor() {
    if (declared_ && link_->conn) link_->closes.push_back({number_, serial_});
    declared_ = false;
  }

  // A failed date probe: back to the savepoint, keeping the probe's error.
  void undoProbe() {
    PgLink &link = *link_;
    KeptError probe = link.keepError();
    link.command = std::string("ROLLBACK TO SAVEPOINT ") + kProbeSavepoint + ";RELEASE SAVEPOINT " + kProbeSavepoint;
    PGresult *result = link.exchange(2, 1);
    if (result) PQclear(result);
    link.restoreError(probe);
  }

  std::shared_ptr<PgLink> link_;
  std::string sql_;                      // declared again by rewind
  bool hold_;                            // declared WITH HOLD
  long sqlStart_ = 0;                    // where sql_ began in the DECLARE's message
  unsigned long number_ = 0;             // names the server cursor
  unsigned long serial_ = 0;             // the transaction that declared it
  bool declared_ = false;                // the server cursor is open
  PGresult *batch_ = nullptr;            // the rows being read
  PGresult *next_ = nullptr;             // the next batch, when it came ahead
  int rows_ = 0;                         // rows of batch_
  int row_ = -1;                         // current row of batch_
  int asked_ = 0;                        // rows asked by the last FETCH
  int nextRows_ = kPgBatchRows;          // rows to ask next
  bool firstBatch_ = false;              // batch_ is the first of the result
  bool exhausted_ = false;               // no rows after batch_
  bool failed_ = false;                  // a failed rewind, reported by the next step
  std::vector<unsigned> oids_;           // per column: type OID
  std::vector<short> types_;             // per column: server type
  char dateText_[kDateValueTextSize] = {};
};

// The batch in flight, received for its cursor; false when it failed (the
// link holds the error).
bool PgLink::settle() {
  if (!inFlight) return true;
  PgCursor *owner = inFlight;
  inFlight = nullptr;
  PGresult *result = receive(inFlightStatements, inFlightStatements - 1);
  owner->acceptNext(result);
  return result != nullptr;
}

// Send command and return the result of statement number keep (counted
// from 0) of the given number of statements; nullptr when one failed or
// when the text held another number of statements (the link holds the
// error).
PGresult *PgLink::exchange(int statements, int keep) {
  clearError();
  errorPosition = 0;
  if (!conn) {
    setError(1, messageText(Msg::DriverNotConnected));
    return nullptr;
  }
  if (!PQsendQuery(conn, command.c_str())) {
    setError(1, PQerrorMessage(conn));
    return nullptr;
  }
  return receive(statements, keep);
}

// Every result of the message sent, until libpq has no more; keep < 0
// keeps the last.
PGresult *PgLink::receive(int statements, int keep) {
  PGresult *kept = nullptr;
  bool failed = false;
  int count = 0;
  while (PGresult *result = PQgetResult(conn)) {
    ExecStatusType status = PQresultStatus(result);
    bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY;
    if (!ok && !failed) {
      recordError(result);
      failed = true;
    }
    if (ok && !failed && (keep < 0 || count == keep)) {
      if (kept) PQclear(kept);
      kept = result;
    } else {
      PQclear(result);
    }
    ++count;
  }
  if (!failed && statements >= 0 && count != statements) {
    setError(1, messageText(Msg::DriverOneStatement));
    failed = true;
  }
  if (!failed && !kept) {
    setError(1, PQstatus(conn) == CONNECTION_OK ? messageText(Msg::DriverNoResult) : PQerrorMessage(conn));
    failed = true;
  }
  if (failed && kept) {
    PQclear(kept);
    kept = nullptr;
  }
  return kept;
}

class PgDriver final : public DbDriver {
 public:
  PgDriver() : link_(std::make_shared<PgLink>()) {}
  ~PgDriver() override { close(); }
  PgDriver(const PgDriver &) = delete;
  PgDriver &operator=(const PgDriver &) = delete;

  // database is a libpq URI or keyword/value string, or empty (everything
  // from the environment). The user and password are passed only when
  // given, so that PGUSER, PGPASSWORD, ~/.pgpass and service files apply
  // otherwise; given ones win over the string's.
  int connect(const char *database, const char *user, const char *password) override {
    close();
    PgLink &link = *link_;
    link.clearError();
    const char *keywords[6], *values[6];
    int n = 0;
    // Text goes both ways as UTF-8, unless the user chose otherwise.
    if (std::getenv("PGCLIENTENCODING") == nullptr) {
      keywords[n] = "client_encoding";
      values[n++] = "UTF8";
    }
    keywords[n] = "dbname";
    values[n++] = database ? database : "";
    if (user && user[0]) {
      keywords[n] = "user";
      values[n++] = user;
    }
    if (password && password[0]) {
      keywords[n] = "password";
      values[n++] = password;
    }
    keywords[n] = "fallback_application_name";
    values[n++] = kApplicationName;
    keywords[n] = values[n] = nullptr;
    link.conn = PQconnectdbParams(keywords, values, 1);
    if (link.conn == nullptr || PQstatus(link.conn) != CONNECTION_OK) {
      link.setError(1, link.conn ? PQerrorMessage(link.conn) : messageText(Msg::DriverOutOfMemory));
      close();
      return 1;
    }
    // Notices and warnings of the server are not the job's messages.
    PQsetNoticeProcessor(link.conn, ignoreNotice, nullptr);
    if (oracleSql_) link.orafce = queryFlag(orafceSearchPathSql());
    if (link.orafce) readOrafceTextTypes();
    PGresult *result = PQexec(link.conn, kSessionSql);
    bool ok = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
    if (ok) link.hasDual = PQgetvalue(result, 0, 0)[0] == 't';
    if (!ok) link.recordError(result);
    PQclear(result);
    if (!ok) {
      close();
      return 1;
    }
    // The program's own statements on a DUAL without SYSDATE (orafce's)
    // read the inline one instead.
    link.dualSysdate = link.hasDual && queryFlag(pgDualSysdateSql());
    link.cancel = PQgetCancel(link.conn);
    return 0;
  }

  // The text goes to the server as it is (several statements allowed).
  int execute(const char *sql) override {
    PgLink &link = *link_;
    if (!link.conn) return notConnected();
    if (!link.settle()) return 1;
    link.command.clear();
    link.takePending();
    long before = static_cast<long>(link.command.size());
    link.command += sql;
    PGresult *result = link.exchange(-1, -1);
    if (result) PQclear(result);
    link.placeError(sql, before);
    return link.errorNumber != 0 ? 1 : 0;
  }

  // libpq's own escaping, which knows the connection's character set:
  // quotes and backslashes doubled, in the E'' form when the value holds a
  // backslash, so that the literal reads the same whether the session's
  // standard_conforming_strings is on or off (a role, a database or the
  // script itself may turn it off).
  bool quoteText(const char *value, std::string &out) override {
    PgLink &link = *link_;
    if (!link.conn) {
      appendLiteral(out, value, LiteralForm::PostgresEscape);
      return true;
    }
    char *literal = PQescapeLiteral(link.conn, value, std::strlen(value));
    if (literal == nullptr) {
      link.setError(1, PQerrorMessage(link.conn));
      return false;
    }
    out += literal[0] == ' ' ? literal + 1 : literal;   // " E'...'": the blank is the caller's
    PQfreemem(literal);
    return true;
  }

  std::unique_ptr<DbCursor> open(const char *sql) override {
    PgLink &link = *link_;
    if (!link.conn) {
      notConnected();
      return nullptr;
    }
    DualForm form = dualForm(sql);
    std::string text;
    if (!link.dualSysdate && form != DualForm::None) {
      rewriteDual(sql, text);
    } else {
      text = sql;
    }
    // The server's own clock, asked when DUAL gives no date, is a probe too:
    // its failure must not end the job's transaction either.
    bool probe = form == DualForm::DateProbe || std::strcmp(sql, currentTimeQuery(SqlBackend::Postgres, false)) == 0 ||
                 std::strcmp(sql, currentTimeQuery(SqlBackend::Postgres, true)) == 0;
    auto cursor = std::make_unique<PgCursor>(link_, text.c_str(), !locksRows(sql));
    if (!cursor->declare(probe)) {
      link.placeError(sql, cursor->sqlStart() + rewrittenBefore(sql, text, link.errorPosition - cursor->sqlStart()));
      return nullptr;
    }
    return cursor;
  }

  // Prepared as the unnamed statement, never executed; the columns by
  // their type OIDs. The driver's waiting statements go first, so that the
  // statement is prepared inside the transaction.
  int describe(const char *sql, std::vector<short> *columnTypes) override {
    columnTypes->clear();
    PgLink &link = *link_;
    if (!link.conn) return notConnected();
    if (!link.settle()) return 1;
    link.command.clear();
    int before = link.takePending();
    if (before > 0) {
      PGresult *result = link.exchange(before, before - 1);
      if (!result) return 1;
      PQclear(result);
    }
    link.clearError();
    std::string text;
    if (!link.dualSysdate && dualForm(sql) != DualForm::None) {
      rewriteDual(sql, text);
    } else {
      text = sql;
    }
    PGresult *prepared = PQprepare(link.conn, "", text.c_str(), 0, nullptr);
    bool ok = PQresultStatus(prepared) == PGRES_COMMAND_OK;
    if (!ok) link.recordError(prepared);
    PQclear(prepared);
    if (!ok) {
      link.placeError(sql, rewrittenBefore(sql, text, link.errorPosition));
      return 1;
    }
    PGresult *described = PQdescribePrepared(link.conn, "");
    ok = PQresultStatus(described) == PGRES_COMMAND_OK;
    if (!ok) link.recordError(described);
    for (int i = 0; ok && i < PQnfields(described); ++i) columnTypes->push_back(pgServerTypeOfOid(link_->builtinOid(PQftype(described, i))));
    PQclear(described);
    return ok ? 0 : 1;
  }

  // The transaction begins with the next statement sent.
  int begin() override {
    if (!link_->conn) return notConnected();
    if (!link_->inTransaction) link_->beginPending = true;
    return 0;
  }

  // A transaction the server ended in a rollback (after a failed
  // statement) is no commit: that is reported as a failure.
  int commit() override {
    PgLink &link = *link_;
    if (!link.conn) return notConnected();
    link.clearError();
    bool settled = link.settle();
    link.beginPending = false;
    if (!link.inTransaction) return settled ? 0 : 1;
    if (!settled) return 1;
    link.command.clear();
    int before = link.takePending();
    link.command += "COMMIT";
    PGresult *result = link.exchange(before + 1, before);
    endTransaction();
    if (!result) return 1;
    bool committed = std::strcmp(PQcmdStatus(result), "COMMIT") == 0;
    PQclear(result);
    if (!committed) {
      link.setError(1, messageText(Msg::DriverRolledBack));
      return 1;
    }
    return 0;
  }

  // Cursors of the rolled-back transaction are gone with it; those held
  // from earlier ones are closed after the rollback.
  int rollback() override {
    PgLink &link = *link_;
    if (!link.conn) return notConnected();
    link.settle();
    link.clearError();
    link.beginPending = false;
    if (!link.inTransaction) return 0;
    auto &closes = link.closes;
    unsigned long serial = link.serial;
    closes.erase(std::remove_if(closes.begin(), closes.end(),
                                [serial](const PgLink::PendingClose &c) { return c.serial == serial; }),
                 closes.end());
    for (PgCursor *cursor : link.live) cursor->lost(serial);
    link.command = "ROLLBACK;";
    int statements = 1 + static_cast<int>(closes.size());
    for (const PgLink::PendingClose &close : closes) link.appendClose(close.number);
    closes.clear();
    PGresult *result = link.exchange(statements, 0);
    endTransaction();
    if (!result) return 1;
    PQclear(result);
    return 0;
  }

  // The server rolls back what is open when the connection ends.
  void close() override {
    PgLink &link = *link_;
    link.inFlight = nullptr;
    link.releaseCursors();
    if (link.cancel) PQfreeCancel(link.cancel);
    link.cancel = nullptr;
    if (link.conn) PQfinish(link.conn);
    link.conn = nullptr;
    link.closes.clear();
    link.beginPending = link.inTransaction = false;
  }

  long errorNumber() override { return link_->errorNumber; }
  const char *errorText() override { return link_->errorText; }
  const char *errorCause() override { return link_->errorCause.c_str(); }
  bool connectionLost() override { return link_->conn != nullptr && PQstatus(link_->conn) == CONNECTION_BAD; }
  const char *productName() override { return "POSTGRESQL"; }
  bool hasOrafce() override { return link_->orafce; }
  bool dualHasSysdate() override { return link_->dualSysdate; }

  // A cancel request on a connection of its own (PQcancel may be called
  // from any thread); the statement then fails and the job ends.
  void interrupt() override {
    char reason[256];
    if (link_->cancel) PQcancel(link_->cancel, reason, sizeof reason);
  }

 private:
  // The one 0 or 1 of a set-up query; false when it fails.
  // orafce's text types, so that a VARCHAR2 column reads as text.
  void readOrafceTextTypes() {
    PGresult *result = PQexec(link_->conn,
                              "SELECT oid FROM pg_type WHERE typnamespace = to_regnamespace('oracle')"
                              " AND typname IN ('varchar2', 'nvarchar2')");
    if (PQresultStatus(result) == PGRES_TUPLES_OK) {
      for (int i = 0; i < PQntuples(result); ++i)
        link_->textTypes.push_back(static_cast<unsigned>(std::strtoul(PQgetvalue(result, i, 0), nullptr, 10)));
    }
    PQclear(result);
  }

  bool queryFlag(const char *sql) {
    PGresult *result = PQexec(link_->conn, sql);
    bool flag = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1 && PQgetvalue(result, 0, 0)[0] == '1';
    PQclear(result);
    return flag;
  }

  void endTransaction() {
    link_->inTransaction = false;
    ++link_->serial;
  }

  int notConnected() {
    link_->setError(1, messageText(Msg::DriverNotConnected));
    return 1;
  }

  // How many more characters than sql's the rewritten text sent holds
  // before its character position: the inline DUAL's, for a place after
  // it; a place inside it lands before the statement and is not shown.
  static long rewrittenBefore(const char *sql, const std::string &text, long position) {
    size_t common = 0;
    while (sql[common] && sql[common] == text[common]) ++common;
    long added = static_cast<long>(text.size() - std::strlen(sql));
    if (added == 0 || position <= static_cast<long>(common)) return 0;
    return position > static_cast<long>(common) + added ? added : position;
  }

  std::shared_ptr<PgLink> link_;
};

// The server's text of a number (it writes no leading blank or "+"):
// exactly as from_chars reads it, else as strtod does.
double readReal(const char *text, int length) {
  double number = 0.0;
  auto [end, error] = std::from_chars(text, text + length, number);
  if (error == std::errc() && end == text + length) return number;
  return std::strtod(text, nullptr);
}

// The text's length without a time zone offset at its end (+01, -05:30).
int withoutZone(const char *text, int length) {
  for (int i = length - 1; i >= 19 && i >= length - 6; --i) {
    if (text[i] == '+' || text[i] == '-') return i;
  }
  return length;
}

// Whether text at p starts with word (ASCII letters, any case) as a whole
// word.
bool isWord(const char *p, const char *word) {
  size_t n = std::strlen(word);
  if (strncasecmp(p, word, n) != 0) return false;
  char after = p[n];
  return !((after >= 'A' && after <= 'Z') || (after >= 'a' && after <= 'z') || after == '_');
}

struct KnownDualForm {
  const char *text;                      // the statement, or its beginning
  bool whole;                            // text is the whole statement
  DualForm form;
};
constexpr KnownDualForm kDualForms[] = {
    {"select to_char(sysdate,'dd/mm/yy') as today from dual", true, DualForm::DateProbe},
    {"select to_char(sysdate,'hh24:mi:ss') as now from dual", true, DualForm::DateProbe},
    {"SELECT 1 AS QORVENTILE FROM DUAL WHERE ", false, DualForm::Condition},
};

// DUAL as a table expression: one row, and SYSDATE the local date and
// time to the second when the statement runs, as on Oracle.
constexpr char kInlineDual[] =
    "(SELECT 'X'::varchar(1) AS dummy, date_trunc('second', clock_timestamp()::timestamp) AS sysdate) AS dual";

const KnownDualForm *findDualForm(const char *sql) {
  for (const KnownDualForm &known : kDualForms) {
    size_t n = std::strlen(known.text);
    if (strncasecmp(sql, known.text, n) == 0 && (!known.whole || sql[n] == 0)) return &known;
  }
  return nullptr;
}

}  // namespace

// The module's entry (the program loads it when a job connects).
extern "C" DbDriver *kelvordantixMakePgDriver() { return new PgDriver(); }

short pgServerTypeOfOid(unsigned oid) {
  switch (oid) {
    case kOidBpchar:
      return kServerTypeFixedChar;
    case kOidText:
    case kOidVarchar:
    case kOidChar:
    case kOidName:
    case kOidUnknown:
      return kServerTypeChar;
    case kOidInt2:
    case kOidInt4:
    case kOidInt8:
    case kOidOid:
    case kOidFloat4:
    case kOidFloat8:
    case kOidNumeric:
    case kOidBool:
      return kServerTypeNumber;
    case kOidDate:
    case kOidTimestamp:
    case kOidTimestamptz:
      return kServerTypeDate;
    default:
      return kServerTypeOther;
  }
}

bool pgDateText(const char *text, int length, char *out) {
  DateParts date;
  if (!parseIsoDate(text, withoutZone(text, length), false, &date)) return false;
  formatDateText(date, out);
  return true;
}

int pgNextBatchRows(int rows, long bytes) {
  if (rows <= 0 || bytes <= 0) return kPgBatchRows;
  long fitting = kPgBatchBytes * rows / bytes;
  return static_cast<int>(std::clamp(fitting, 1L, static_cast<long>(kPgBatchRows)));
}

DualForm dualForm(const char *sql) {
  const KnownDualForm *known = findDualForm(sql);
  return known ? known->form : DualForm::None;
}

void rewriteDual(const char *sql, std::string &out) {
  const KnownDualForm *known = findDualForm(sql);
  if (!known) {
    out = sql;
    return;
  }
  const char *dual = strcasestr(known->text, "from dual") + 5;
  size_t at = static_cast<size_t>(dual - known->text);
  out.assign(sql, at);
  out += kInlineDual;
  out += sql + at + 4;
}

bool locksRows(const char *sql) {
  static const char *const kLocks[] = {"UPDATE", "SHARE", "NO", "KEY"};
  for (const char *p = sql; *p; ++p) {
    bool start = p == sql || !((p[-1] >= 'A' && p[-1] <= 'Z') || (p[-1] >= 'a' && p[-1] <= 'z') || p[-1] == '_');
    if (!start || !isWord(p, "FOR")) continue;
    const char *next = p + 3;
    while (*next == ' ' || *next == '\t' || *next == '\n' || *next == '\r') ++next;
    for (const char *lock : kLocks) {
      if (isWord(next, lock)) return true;
    }
  }
  return false;
}
