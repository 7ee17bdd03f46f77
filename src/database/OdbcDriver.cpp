// The ODBC driver: one connection to a data source through unixODBC, with
// autocommit off so that the job's work is one chain of transactions ended
// by SQLEndTran. Result sets are statement handles fetched forward; each has
// a handle of its own, so the nested queries of a report stay open together
// on the one connection. Whether rows stream from the server or arrive at
// once is the ODBC driver's affair (psqlODBC streams with UseDeclareFetch).
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "database/ClassLibrary.h"
#include "database/SqliteDriver.h"

namespace {

// A piece of a character value read by one SQLGetData call; longer values
// are read in several pieces and kept whole.
constexpr SQLLEN kOdbcChunkSize = 4096;
// Seconds a connection attempt may take.
constexpr SQLULEN kOdbcLoginTimeoutSeconds = 30;
// Longest DSN, user or password passed to SQLConnect.
constexpr int kOdbcNameSize = 256;

class OdbcCursor;

// The connection, shared by the driver and its cursors so that either may
// go first: closing frees every live statement handle, and a cursor
// outliving the connection finds no handle to fetch from.
struct OdbcLink {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool connected = false;
  std::vector<OdbcCursor *> live;       // cursors whose statement handle is allocated
  long errorNumber = 0;
  char errorText[kErrorTextSize] = {};

  // Keep the first diagnostic record of a handle: the native error number
  // where the driver gives one, else 1 (ODBC errors without a server number
  // still count as errors), and the message without trailing line ends.
  void recordError(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[8] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[kErrorTextSize] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
    if (!SQL_SUCCEEDED(rc)) {
      setError(1, "unknown ODBC error");
      return;
    }
    errorNumber = native != 0 ? native : 1;
    std::snprintf(errorText, sizeof errorText, "%s", reinterpret_cast<char *>(message));
    size_t n = std::strlen(errorText);
    while (n > 0 && (errorText[n - 1] == '\n' || errorText[n - 1] == '\r')) errorText[--n] = 0;
  }
  void setError(long number, const char *text) {
    errorNumber = number;
    std::snprintf(errorText, sizeof errorText, "%s", text);
  }
  void clearError() {
    errorNumber = 0;
    errorText[0] = 0;
  }
};

// The server type of an ODBC SQL type.
short serverTypeOfSqlType(SQLSMALLINT type) {
  switch (type) {
    case SQL_CHAR:
    case SQL_WCHAR:
      return kServerTypeFixedChar;
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return kServerTypeChar;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
    case SQL_BIT:
      return kServerTypeNumber;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP:
      return kServerTypeDate;
    default:
      return kServerTypeOther;
  }
}

// One column of the current row, read when the row is fetched: its text
// (dates already as "mm/dd/yyyy hh:mi:ss") and whether it is null. The
// buffer keeps its capacity from row to row.
struct OdbcColumn {
  short serverType = kServerTypeOther;
  bool null = true;
  std::string text;
};

class OdbcCursor final : public DbCursor {
 public:
  OdbcCursor(std::shared_ptr<OdbcLink> link, SQLHSTMT stmt, const char *sql)
      : link_(std::move(link)), stmt_(stmt), sql_(sql) {
    link_->live.push_back(this);
    describe();
  }
  ~OdbcCursor() override {
    release();
    auto &live = link_->live;
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
  }
  OdbcCursor(const OdbcCursor &) = delete;
  OdbcCursor &operator=(const OdbcCursor &) = delete;

  // Free the statement handle; called by the cursor itself or by the
  // closing connection (before the connection's own handles go).
  void release() {
    if (stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = SQL_NULL_HSTMT;
  }

  StepResult step() override {
    if (stmt_ == SQL_NULL_HSTMT || columns_.empty()) return StepResult::Done;
    if (failedRewind_) {
      failedRewind_ = false;
      return StepResult::Error;
    }
    SQLRETURN rc = SQLFetch(stmt_);
    if (rc == SQL_NO_DATA) return StepResult::Done;
    if (!SQL_SUCCEEDED(rc) || !readRow()) {
      link_->recordError(SQL_HANDLE_STMT, stmt_);
      return StepResult::Error;
    }
    return StepResult::Row;
  }

  // A forward-only result is rewound by running its statement again; a
  // failure then shows at the next step.
  void rewind() override {
    if (stmt_ == SQL_NULL_HSTMT) return;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLRETURN rc = SQLExecDirect(stmt_, sqlText(), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
      link_->recordError(SQL_HANDLE_STMT, stmt_);
      failedRewind_ = true;
    }
  }

  int columnCount() override { return static_cast<int>(columns_.size()); }
  short serverType(int column) override { return columns_[static_cast<size_t>(column)].serverType; }
  bool isNull(int column) override { return stmt_ == SQL_NULL_HSTMT || columns_[static_cast<size_t>(column)].null; }

  const char *text(int column) override {
    const OdbcColumn &c = columns_[static_cast<size_t>(column)];
    return stmt_ == SQL_NULL_HSTMT || c.null ? "" : c.text.c_str();
  }

  double real(int column) override {
    if (isNull(column)) return 0.0;
    return std::strtod(columns_[static_cast<size_t>(column)].text.c_str(), nullptr);
  }

  // An integer's text is read exactly; other numbers are cut towards zero
  // and clamped to the range of long.
  long integer(int column) override {
    if (isNull(column)) return 0;
    const char *text = columns_[static_cast<size_t>(column)].text.c_str();
    char *end = nullptr;
    errno = 0;
    long long whole = std::strtoll(text, &end, 10);
    if (errno == 0 && end != text && *end == 0) return static_cast<long>(whole);
    double value = std::strtod(text, nullptr);
    if (!(value == value)) return 0;
    if (value >= static_cast<double>(LONG_MAX)) return LONG_MAX;
    if (value <= static_cast<double>(LONG_MIN)) return LONG_MIN;
    return static_cast<long>(value);
  }

 private:
  SQLCHAR *sqlText() { return reinterpret_cast<SQLCHAR *>(sql_.data()); }

  // Column types are those the driver describes; a statement that returns
  // no result set has no columns and so no rows.
  void describe() {
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(stmt_, &count)) || count < 0) count = 0;
    columns_.resize(static_cast<size_t>(count));
    for (SQLSMALLINT i = 0; i < count; ++i) {
      SQLCHAR name[2];
      SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLRETURN rc = SQLDescribeCol(stmt_, static_cast<SQLUSMALLINT>(i + 1), name, sizeof name, &nameLength, &type,
                                    &size, &digits, &nullable);
      columns_[static_cast<size_t>(i)].serverType = SQL_SUCCEEDED(rc) ? serverTypeOfSqlType(type) : kServerTypeOther;
    }
  }

  // Every column of the fetched row, in order (drivers need not allow
  // SQLGetData out of order).
  bool readRow() {
    for (size_t i = 0; i < columns_.size(); ++i) {
      OdbcColumn &column = columns_[i];
      auto number = static_cast<SQLUSMALLINT>(i + 1);
      bool ok = column.serverType == kServerTypeDate ? readDate(number, column) : readText(number, column);
      if (!ok) return false;
    }
    return true;
  }

  bool readDate(SQLUSMALLINT number, OdbcColumn &column) {
    SQL_TIMESTAMP_STRUCT stamp = {};
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt_, number, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, &indicator);
    if (!SQL_SUCCEEDED(rc)) return false;
    column.null = indicator == SQL_NULL_DATA;
    if (column.null) return true;
    DateParts date;
    date.year = stamp.year;
    date.month = stamp.month;
    date.day = stamp.day;
    date.hour = stamp.hour;
    date.minute = stamp.minute;
    date.second = stamp.second;
    char text[kSqliteDateTextSize];
    formatDateText(date, text);
    column.text.assign(text);
    return true;
  }

  // Character data piece by piece until the driver has given it all.
  bool readText(SQLUSMALLINT number, OdbcColumn &column) {
    column.text.clear();
    column.null = false;
    char piece[kOdbcChunkSize];
    for (;;) {
      SQLLEN indicator = 0;
      SQLRETURN rc = SQLGetData(stmt_, number, SQL_C_CHAR, piece, sizeof piece, &indicator);
      if (rc == SQL_NO_DATA) return true;
      if (!SQL_SUCCEEDED(rc)) return false;
      if (indicator == SQL_NULL_DATA) {
        column.null = true;
        return true;
      }
      // A length that fits is the whole rest; otherwise a warning means the
      // piece was cut (its terminator takes the last byte) and more follows.
      bool fits = indicator >= 0 && indicator < static_cast<SQLLEN>(sizeof piece);
      size_t length = fits ? static_cast<size_t>(indicator)
                      : rc == SQL_SUCCESS_WITH_INFO ? sizeof piece - 1
                                                    : strnlen(piece, sizeof piece - 1);
      column.text.append(piece, length);
      if (fits || rc == SQL_SUCCESS) return true;
    }
  }

  std::shared_ptr<OdbcLink> link_;
  SQLHSTMT stmt_;
  std::string sql_;                      // run again by rewind
  std::vector<OdbcColumn> columns_;
  bool failedRewind_ = false;            // the re-run failed: the next step reports it
};

// A connect-string value in braces when it holds characters that would end
// or break the attribute.
void appendAttribute(std::string &out, const char *key, const char *value) {
  out += key;
  out += '=';
  if (std::strpbrk(value, ";{}=") == nullptr && value[0] != ' ') {
    out += value;
  } else {
    out += '{';
    for (const char *p = value; *p; ++p) {
      if (*p == '}') out += '}';
      out += *p;
    }
    out += '}';
  }
  out += ';';
}

class OdbcDriver final : public DbDriver {
 public:
  OdbcDriver() : link_(std::make_shared<OdbcLink>()) {}
  ~OdbcDriver() override { close(); }
  OdbcDriver(const OdbcDriver &) = delete;
  OdbcDriver &operator=(const OdbcDriver &) = delete;

  // A data source name connects with the user and password given; a name
  // holding "=" is a whole ODBC connect string (DRIVER=...;DATABASE=...),
  // to which the user and password are added when given.
  int connect(const char *database, const char *user, const char *password) override {
    close();
    OdbcLink &link = *link_;
    link.clearError();
    if (database == nullptr || database[0] == 0) {
      link.setError(1, "no data source name");
      return 1;
    }
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &link.env))) {
      link.env = SQL_NULL_HENV;
      link.setError(1, "ODBC environment not available");
      return 1;
    }
    SQLSetEnvAttr(link.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, link.env, &link.dbc))) {
      link.recordError(SQL_HANDLE_ENV, link.env);
      link.dbc = SQL_NULL_HDBC;
      close();
      return 1;
    }

    // A server that never answers must not hold the job for ever.
    SQLSetConnectAttr(link.dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(kOdbcLoginTimeoutSeconds), 0);
    SQLRETURN rc;
    if (std::strchr(database, '=') != nullptr) {
      std::string text(database);
      if (!text.empty() && text.back() != ';') text += ';';
      if (user[0]) appendAttribute(text, "UID", user);
      if (password[0]) appendAttribute(text, "PWD", password);
      SQLSMALLINT outLength = 0;
      rc = SQLDriverConnect(link.dbc, nullptr, reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS, nullptr, 0,
                            &outLength, SQL_DRIVER_NOPROMPT);
    } else {
      if (std::strlen(database) >= kOdbcNameSize || std::strlen(user) >= kOdbcNameSize ||
          std::strlen(password) >= kOdbcNameSize) {
        link.setError(1, "data source name, user or password too long");
        close();
        return 1;
      }
      char dsn[kOdbcNameSize], uid[kOdbcNameSize], pwd[kOdbcNameSize];
      std::snprintf(dsn, sizeof dsn, "%s", database);
      std::snprintf(uid, sizeof uid, "%s", user);
      std::snprintf(pwd, sizeof pwd, "%s", password);
      rc = SQLConnect(link.dbc, reinterpret_cast<SQLCHAR *>(dsn), SQL_NTS, reinterpret_cast<SQLCHAR *>(uid), SQL_NTS,
                      reinterpret_cast<SQLCHAR *>(pwd), SQL_NTS);
    }
    if (!SQL_SUCCEEDED(rc)) {
      link.recordError(SQL_HANDLE_DBC, link.dbc);
      close();
      return 1;
    }
    link.connected = true;
    rc = SQLSetConnectAttr(link.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    if (!SQL_SUCCEEDED(rc)) {
      link.recordError(SQL_HANDLE_DBC, link.dbc);
      close();
      return 1;
    }
    return 0;
  }

  // The text goes to the server as it is; a searched UPDATE or DELETE that
  // touches no row is no error.
  int execute(const char *sql) override {
    SQLHSTMT stmt = runStatement(sql);
    if (stmt == SQL_NULL_HSTMT) return 1;
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return 0;
  }

  std::unique_ptr<DbCursor> open(const char *sql) override {
    SQLHSTMT stmt = runStatement(sql);
    if (stmt == SQL_NULL_HSTMT) return nullptr;
    return std::make_unique<OdbcCursor>(link_, stmt, sql);
  }

  // With autocommit off the driver begins a transaction with the first
  // statement after each end, so there is nothing to send here.
  int begin() override { return link_->connected ? 0 : notConnected(); }
  int commit() override { return endTransaction(SQL_COMMIT); }
  int rollback() override { return endTransaction(SQL_ROLLBACK); }

  // Statements first, then the transaction is rolled back (ODBC refuses to
  // disconnect inside one), then the connection and the environment.
  void close() override {
    OdbcLink &link = *link_;
    std::vector<OdbcCursor *> live;
    live.swap(link.live);
    for (OdbcCursor *cursor : live) cursor->release();
    if (link.connected) {
      SQLEndTran(SQL_HANDLE_DBC, link.dbc, SQL_ROLLBACK);
      SQLDisconnect(link.dbc);
      link.connected = false;
    }
    if (link.dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, link.dbc);
    if (link.env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, link.env);
    link.dbc = SQL_NULL_HDBC;
    link.env = SQL_NULL_HENV;
  }

  long errorNumber() override { return link_->errorNumber; }
  const char *errorText() override { return link_->errorText; }

 private:
  // A statement handle on which sql was executed, or SQL_NULL_HSTMT with
  // the error kept.
  SQLHSTMT runStatement(const char *sql) {
    OdbcLink &link = *link_;
    if (!link.connected) {
      notConnected();
      return SQL_NULL_HSTMT;
    }
    link.clearError();
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, link.dbc, &stmt))) {
      link.recordError(SQL_HANDLE_DBC, link.dbc);
      return SQL_NULL_HSTMT;
    }
    std::string text(sql);
    SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
      link.recordError(SQL_HANDLE_STMT, stmt);
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      return SQL_NULL_HSTMT;
    }
    return stmt;
  }

  int endTransaction(SQLSMALLINT completion) {
    OdbcLink &link = *link_;
    if (!link.connected) return notConnected();
    link.clearError();
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, link.dbc, completion))) {
      link.recordError(SQL_HANDLE_DBC, link.dbc);
      return 1;
    }
    return 0;
  }

  int notConnected() {
    link_->setError(1, "not connected");
    return 1;
  }

  std::shared_ptr<OdbcLink> link_;
};

}  // namespace

std::unique_ptr<DbDriver> makeOdbcDriver() { return std::make_unique<OdbcDriver>(); }
