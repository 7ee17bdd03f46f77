// The ODBC driver: one connection to a data source through unixODBC, with
// autocommit off so that the job's work is one chain of transactions ended
// by SQLEndTran. Result sets are statement handles fetched forward; each has
// a handle of its own, so the nested queries of a report stay open together
// on the one connection. Rows come in row arrays into bound buffers, many
// a call, where the driver allows it; a value too long for its buffer is
// read whole with SQLGetData. Whether rows stream from the server or arrive
// at once is the ODBC driver's affair (psqlODBC streams with UseDeclareFetch).
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "database/ClassLibrary.h"
#include "database/DriverLink.h"
#include "database/SqliteDriver.h"
#include "driver/Messages.h"

namespace {

// A piece of a character value read by one SQLGetData call; longer values
// are read in several pieces and kept whole.
constexpr SQLLEN kOdbcChunkSize = 4096;
// Seconds a connection attempt may take.
constexpr SQLULEN kOdbcLoginTimeoutSeconds = 30;
// Longest DSN, user or password passed to SQLConnect.
constexpr int kOdbcNameSize = 256;

// How a connection's cursors fetch, from what its driver allows for
// SQLGetData: with bound columns in a row array when a value too long for
// its buffer can still be read (SQL_GD_BLOCK and SQL_GD_BOUND); bound
// columns one row at a time with SQL_GD_BOUND alone; else one SQLGetData
// a value, which every driver allows.
enum class FetchMode { RowArray, BoundRow, GetData };

class OdbcCursor;

// A live cursor's resource is its statement handle.
struct OdbcLink : DriverLink<OdbcCursor> {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool connected = false;
  FetchMode fetchMode = FetchMode::GetData;
  char product[kOdbcNameSize] = "ODBC";  // SQL_DBMS_NAME in upper case
  LiteralForm literalForm = LiteralForm::Standard;  // how the product reads quoted text
  std::mutex busyLock;                   // held to set, clear or cancel busy
  SQLHSTMT busy = SQL_NULL_HSTMT;        // the statement of a call that may wait on the server
  bool lost = false;                    // the last error a connection exception (SQLSTATE 08...)

  // A call on stmt that a stop request may cancel (from another thread).
  template <class Call>
  SQLRETURN whileBusy(SQLHSTMT stmt, Call call) {
    setBusy(stmt);
    SQLRETURN rc = call();
    setBusy(SQL_NULL_HSTMT);
    return rc;
  }
  void setBusy(SQLHSTMT stmt) {
    std::lock_guard<std::mutex> hold(busyLock);
    busy = stmt;
  }
  void cancelBusy() {
    std::lock_guard<std::mutex> hold(busyLock);
    if (busy != SQL_NULL_HSTMT) SQLCancel(busy);
  }

  // Keep the diagnostic records of a handle: the native error number of the
  // first where the driver gives one, else 1 (ODBC errors without a server
  // number still count as errors), and each message after its SQLSTATE in
  // brackets, the first as the error's text and the others as its cause
  // lines. With all set every record goes into the text, one a line (a
  // failed connection's reason is often in the second).
  static constexpr SQLSMALLINT kMaxDiagRecords = 32;   // more would be a driver repeating itself
  void recordError(SQLSMALLINT type, SQLHANDLE handle, bool all = false) {
    errorNumber = 0;
    errorText[0] = 0;
    errorCause.clear();
    lost = false;
    size_t used = 0;
    for (SQLSMALLINT record = 1; record <= kMaxDiagRecords && used < sizeof errorText - 1; ++record) {
      SQLCHAR state[8] = {};
      SQLINTEGER native = 0;
      SQLCHAR message[kErrorTextSize] = {};
      SQLSMALLINT length = 0;
      SQLRETURN rc = SQLGetDiagRec(type, handle, record, state, &native, message, sizeof message, &length);
      if (!SQL_SUCCEEDED(rc)) break;
      if (record == 1) {
        errorNumber = native != 0 ? native : 1;
        lost = std::strncmp(reinterpret_cast<char *>(state), "08", 2) == 0;  // connection exceptions
      }
      char *text = reinterpret_cast<char *>(message);
      size_t n = std::strlen(text);
      while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) text[--n] = 0;
      if (record > 1 && !all) {
        if (!errorCause.empty()) errorCause += '\n';
        errorCause += '[' + std::string(reinterpret_cast<char *>(state)) + "] " + text;
        continue;
      }
      int written = std::snprintf(errorText + used, sizeof errorText - used, "%s[%s] %s", record == 1 ? "" : "\n",
                                  reinterpret_cast<char *>(state), text);
      if (written < 0) break;
      used = std::min(sizeof errorText - 1, used + static_cast<size_t>(written));
    }
    if (errorNumber == 0) setError(1, messageText(Msg::OdbcUnknownError));
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

// Rows fetched by one SQLFetch: enough to spread the cost of the call and of
// the driver's bookkeeping over many rows, few enough that the buffers of a
// wide row stay small.
constexpr SQLULEN kFirstRowArraySize = 8;
constexpr SQLULEN kMaxRowArraySize = 512;
constexpr size_t kRowArrayBytes = 256 * 1024;
// Bound buffer of one character value, its terminator included: character
// columns take four bytes a declared character (UTF-8), numbers their
// digits and room for sign, point and exponent. A value longer than its
// buffer is read again whole with SQLGetData.
constexpr SQLLEN kMaxBoundBytes = 256;
constexpr SQLLEN kMinBoundBytes = 32;

FetchMode fetchModeOf(SQLHDBC dbc) {
  SQLUINTEGER extensions = 0;
  if (!SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr))) {
    return FetchMode::GetData;
  }
  if (!(extensions & SQL_GD_BOUND)) return FetchMode::GetData;
  return (extensions & SQL_GD_BLOCK) ? FetchMode::RowArray : FetchMode::BoundRow;
}

// Bytes of one bound character value of a column of that SQL type and size.
SQLLEN boundBytes(short serverType, SQLULEN size) {
  SQLLEN bytes = kMaxBoundBytes;
  if (size > 0 && size < static_cast<SQLULEN>(kMaxBoundBytes)) {
    bytes = static_cast<SQLLEN>(size) * (serverType == kServerTypeNumber ? 1 : 4) + 8;
  }
  return std::clamp(bytes, kMinBoundBytes, kMaxBoundBytes);
}

// One column of the result: its bound buffers (one value a row of the row
// array) and the value of the current row, found when the row is stepped
// to. The text of a date, or of a value longer than its buffer, is made in
// text; any other text is read in place from the buffer.
struct OdbcColumn {
  short serverType = kServerTypeOther;
  SQLLEN declaredBytes = 0;              // bound buffer bytes a value would take
  bool bound = false;
  SQLLEN width = 0;                      // bytes of one value in values
  std::vector<char> values;              // row array of character values or timestamps
  std::vector<SQLLEN> indicators;        // length or SQL_NULL_DATA, a row each
  bool null = true;
  const char *current = "";              // text of the current row
  std::string text;
};

class OdbcCursor final : public DbCursor {
 public:
  OdbcCursor(std::shared_ptr<OdbcLink> link, SQLHSTMT stmt, const char *sql)
      : link_(std::move(link)), stmt_(stmt), sql_(sql) {
    link_->attach(this);
    describe();
    if (link_->fetchMode != FetchMode::GetData && !columns_.empty() && !bindColumns(nextRowArraySize())) {
      unbindColumns();
    }
  }
  ~OdbcCursor() override {
    release();
    link_->detach(this);
  }
  OdbcCursor(const OdbcCursor &) = delete;
  OdbcCursor &operator=(const OdbcCursor &) = delete;

  // Free the statement handle; called by the cursor itself or by the
  // closing connection (before the connection's own handles go).
  void release() {
    if (stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = SQL_NULL_HSTMT;
  }

  // The next row of the row array, fetching the next array when this one is
  // used up. A fetch that fails after some rows of its array still gives
  // those rows first, as a fetch of one row at a time would.
  StepResult step() override {
    if (stmt_ == SQL_NULL_HSTMT || columns_.empty()) return StepResult::Done;
    if (failedRewind_) {
      failedRewind_ = false;
      return StepResult::Error;
    }
    if (++row_ >= rowsFetched_) {
      if (ending_ != Ending::None) return endStep();
      if (!fetchRowArray()) return endStep();
    }
    if (!readRow(row_)) {
      link_->recordError(SQL_HANDLE_STMT, stmt_);
      return StepResult::Error;
    }
    return StepResult::Row;
  }

  // A forward-only result is rewound by running its statement again; a
  // failure then shows at the next step. Bindings and the row array stay.
  void rewind() override {
    if (stmt_ == SQL_NULL_HSTMT) return;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    row_ = rowsFetched_ = 0;
    ending_ = Ending::None;
    SQLRETURN rc = link_->whileBusy(stmt_, [this] { return SQLExecDirect(stmt_, sqlText(), SQL_NTS); });
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
      link_->recordError(SQL_HANDLE_STMT, stmt_);
      failedRewind_ = true;
    }
  }

  int columnCount() override { return static_cast<int>(columns_.size()); }
  short serverType(int column) override { return columns_[static_cast<size_t>(column)].serverType; }
  bool isNull(int column) override { return stmt_ == SQL_NULL_HSTMT || columns_[static_cast<size_t>(column)].null; }

  const char *text(int column) override { return isNull(column) ? "" : columns_[static_cast<size_t>(column)].current; }

  double real(int column) override {
    if (isNull(column)) return 0.0;
    return std::strtod(columns_[static_cast<size_t>(column)].current, nullptr);
  }

  // An integer's text is read exactly; other numbers are cut towards zero
  // and clamped to the range of long.
  long integer(int column) override {
    if (isNull(column)) return 0;
    const char *text = columns_[static_cast<size_t>(column)].current;
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
  // How the rows of the result end once the fetched ones are given.
  enum class Ending { None, Done, Error };

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
      OdbcColumn &column = columns_[static_cast<size_t>(i)];
      column.serverType = SQL_SUCCEEDED(rc) ? serverTypeOfSqlType(type) : kServerTypeOther;
      column.declaredBytes = column.serverType == kServerTypeDate ? static_cast<SQLLEN>(sizeof(SQL_TIMESTAMP_STRUCT))
                                                                  : boundBytes(column.serverType, size);
    }
  }

  // Buffers for a row array of so many rows, bound column by column, with
  // the count of rows each fetch gives and their status; false when the
  // driver refuses any of it. Called again to grow the array.
  bool bindColumns(SQLULEN rows) {
    if (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0)) ||
        !SQL_SUCCEEDED(SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr)) || rows < 1) {
      return false;
    }
    rowStatus_.assign(rows, SQL_ROW_NOROW);
    if (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, rowStatus_.data(), 0)) ||
        !SQL_SUCCEEDED(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &rowsFetched_, 0))) {
      return false;
    }
    for (size_t i = 0; i < columns_.size(); ++i) {
      OdbcColumn &column = columns_[i];
      column.width = column.declaredBytes;
      column.values.resize(rows * static_cast<size_t>(column.width));
      column.indicators.resize(rows);
      SQLSMALLINT type = column.serverType == kServerTypeDate ? SQL_C_TYPE_TIMESTAMP : SQL_C_CHAR;
      if (!SQL_SUCCEEDED(SQLBindCol(stmt_, static_cast<SQLUSMALLINT>(i + 1), type, column.values.data(), column.width,
                                    column.indicators.data()))) {
        return false;
      }
      column.bound = true;
    }
    bound_ = true;
    return true;
  }

  // The row array a fetch should use: a few rows at first (most results of
  // .IF and of nested lookups have one row), then eight times more a fetch
  // up to what the bytes of a row allow.
  SQLULEN nextRowArraySize() const {
    if (link_->fetchMode != FetchMode::RowArray) return 1;
    size_t rowBytes = 0;
    for (const OdbcColumn &column : columns_) rowBytes += static_cast<size_t>(column.declaredBytes) + sizeof(SQLLEN);
    SQLULEN largest = std::clamp<SQLULEN>(kRowArrayBytes / rowBytes, 1, kMaxRowArraySize);
    SQLULEN now = bound_ ? rowStatus_.size() : kFirstRowArraySize / 8;
    return std::min(largest, now * 8);
  }

  // Back to one row a fetch and one SQLGetData a value.
  void unbindColumns() {
    SQLFreeStmt(stmt_, SQL_UNBIND);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(1)), 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    rowStatus_.assign(1, SQL_ROW_SUCCESS);
    bound_ = false;
    for (OdbcColumn &column : columns_) {
      column.bound = false;
      column.values.clear();
      column.indicators.clear();
    }
  }

  // The next row array; false when none follows (the end, or an error that
  // came with no row, kept in ending_). A fetch that fails part way marks
  // the rows it did read as such (psqlODBC does, counting none): those are
  // given, then the error.
  bool fetchRowArray() {
    row_ = 0;
    rowsFetched_ = 0;
    if (bound_ && rowStatus_.size() < nextRowArraySize() && !bindColumns(nextRowArraySize())) {
      keepError();
      ending_ = Ending::Error;
      return false;
    }
    std::fill(rowStatus_.begin(), rowStatus_.end(), static_cast<SQLUSMALLINT>(SQL_ROW_NOROW));
    SQLRETURN rc = link_->whileBusy(stmt_, [this] { return SQLFetch(stmt_); });
    if (rc == SQL_NO_DATA) {
      ending_ = Ending::Done;
      return false;
    }
    SQLULEN good = 0;
    if (!bound_) {
      good = SQL_SUCCEEDED(rc) ? 1 : 0;
    } else {
      while (good < rowStatus_.size() &&
             (rowStatus_[good] == SQL_ROW_SUCCESS || rowStatus_[good] == SQL_ROW_SUCCESS_WITH_INFO)) {
        ++good;
      }
      // A driver that leaves the statuses alone is taken at its count.
      if (SQL_SUCCEEDED(rc) && (good > rowsFetched_ || rowStatus_[0] == SQL_ROW_NOROW)) good = rowsFetched_;
    }
    if (!SQL_SUCCEEDED(rc) || (bound_ && good < rowsFetched_)) {
      keepError();
      ending_ = Ending::Error;
    }
    rowsFetched_ = good;
    return rowsFetched_ > 0;
  }

  // The error of a failed fetch, kept until the rows before it are given.
  void keepError() {
    link_->recordError(SQL_HANDLE_STMT, stmt_);
    kept_ = link_->keepError();
  }

  StepResult endStep() {
    if (ending_ != Ending::Error) return StepResult::Done;
    link_->restoreError(kept_);
    return StepResult::Error;
  }

  // Every column of a fetched row, in order (drivers need not allow
  // SQLGetData out of order).
  bool readRow(SQLULEN row) {
    for (size_t i = 0; i < columns_.size(); ++i) {
      OdbcColumn &column = columns_[i];
      auto number = static_cast<SQLUSMALLINT>(i + 1);
      bool ok = column.bound                             ? readBound(number, row, column)
                : column.serverType == kServerTypeDate ? readDate(number, column)
                                                       : readText(number, column);
      if (!ok) return false;
    }
    return true;
  }

  // A value from its bound buffer; a character value the buffer cut short
  // is read again whole.
  bool readBound(SQLUSMALLINT number, SQLULEN row, OdbcColumn &column) {
    SQLLEN indicator = column.indicators[row];
    column.null = indicator == SQL_NULL_DATA;
    if (column.null) return true;
    char *value = column.values.data() + row * static_cast<size_t>(column.width);
    if (column.serverType == kServerTypeDate) {
      SQL_TIMESTAMP_STRUCT stamp;
      std::memcpy(&stamp, value, sizeof stamp);
      setDate(stamp, column);
      return true;
    }
    if (indicator != SQL_NO_TOTAL && indicator < column.width) {
      column.current = value;
      return true;
    }
    return readLong(number, row, column, indicator);
  }

  // A character value longer than its buffer, by SQLGetData on its row. A
  // driver that goes on after the bound piece instead of starting afresh
  // (the rest is shorter than the whole by that piece) gets the piece put
  // back in front.
  bool readLong(SQLUSMALLINT number, SQLULEN row, OdbcColumn &column, SQLLEN whole) {
    if (rowStatus_.size() > 1 &&
        !SQL_SUCCEEDED(SQLSetPos(stmt_, static_cast<SQLSETPOSIROW>(row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE))) {
      return false;
    }
    if (!readText(number, column)) return false;
    size_t piece = static_cast<size_t>(column.width - 1);
    if (whole >= 0 && column.text.size() + piece == static_cast<size_t>(whole)) {
      column.text.insert(0, column.values.data() + row * static_cast<size_t>(column.width), piece);
    }
    column.current = column.text.c_str();
    return true;
  }

  bool readDate(SQLUSMALLINT number, OdbcColumn &column) {
    SQL_TIMESTAMP_STRUCT stamp = {};
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt_, number, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, &indicator);
    if (!SQL_SUCCEEDED(rc)) return false;
    column.null = indicator == SQL_NULL_DATA;
    if (!column.null) setDate(stamp, column);
    return true;
  }

  static void setDate(const SQL_TIMESTAMP_STRUCT &stamp, OdbcColumn &column) {
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
    column.current = column.text.c_str();
  }

  // Character data piece by piece until the driver has given it all.
  bool readText(SQLUSMALLINT number, OdbcColumn &column) {
    column.text.clear();
    column.null = false;
    column.current = "";
    char piece[kOdbcChunkSize];
    for (;;) {
      SQLLEN indicator = 0;
      SQLRETURN rc = SQLGetData(stmt_, number, SQL_C_CHAR, piece, sizeof piece, &indicator);
      if (rc == SQL_NO_DATA) break;
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
      if (fits || rc == SQL_SUCCESS) break;
    }
    column.current = column.text.c_str();
    return true;
  }

  std::shared_ptr<OdbcLink> link_;
  SQLHSTMT stmt_;
  std::string sql_;                      // run again by rewind
  std::vector<OdbcColumn> columns_;
  bool bound_ = false;                   // columns bound: a row array of rowStatus_.size() rows
  std::vector<SQLUSMALLINT> rowStatus_ = std::vector<SQLUSMALLINT>(1, SQL_ROW_SUCCESS);  // a status a row
  SQLULEN rowsFetched_ = 0;              // rows the last fetch gave
  SQLULEN row_ = 0;                      // the current row in the array
  Ending ending_ = Ending::None;          // set when the last fetch ended the rows
  KeptError kept_;                       // the error of that fetch
  bool failedRewind_ = false;            // the re-run failed: the next step reports it
};

// Servers that read a backslash in quoted text as an escape, at least in
// some of their settings; any other keeps to standard SQL.
LiteralForm literalFormOf(const char *product) {
  if (std::strstr(product, "POSTGRESQL")) return LiteralForm::PostgresEscape;
  if (std::strstr(product, "MYSQL") || std::strstr(product, "MARIADB")) return LiteralForm::BackslashEscape;
  return LiteralForm::Standard;
}

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
      link.setError(1, messageText(Msg::OdbcNoDataSource));
      return 1;
    }
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &link.env))) {
      link.env = SQL_NULL_HENV;
      link.setError(1, messageText(Msg::OdbcNoEnvironment));
      return 1;
    }
    SQLSetEnvAttr(link.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, link.env, &link.dbc))) {
      link.recordError(SQL_HANDLE_ENV, link.env, true);
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
        link.setError(1, messageText(Msg::OdbcNamesTooLong));
        close();
        return 1;
      }
      char dsn[kOdbcNameSize], uid[kOdbcNameSize], pwd[kOdbcNameSize];
      std::snprintf(dsn, sizeof dsn, "%s", database);
      std::snprintf(uid, sizeof uid, "%s", user);
      std::snprintf(pwd, sizeof pwd, "%s", password);
      // An empty user or password is not sent, so that the data source's
      // stored one (or the driver's own sources, like PGPASSWORD) applies.
      rc = SQLConnect(link.dbc, reinterpret_cast<SQLCHAR *>(dsn), SQL_NTS, uid[0] ? reinterpret_cast<SQLCHAR *>(uid) : nullptr,
                      uid[0] ? SQL_NTS : 0, pwd[0] ? reinterpret_cast<SQLCHAR *>(pwd) : nullptr, pwd[0] ? SQL_NTS : 0);
      explicit_bzero(pwd, sizeof pwd);
    }
    if (!SQL_SUCCEEDED(rc)) {
      link.recordError(SQL_HANDLE_DBC, link.dbc, true);
      close();
      return 1;
    }
    link.connected = true;
    readProductName();
    if (oracleSql_) setOracleSession();
    link.fetchMode = fetchModeOf(link.dbc);
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

  // ODBC has no escaping call: literals follow the rules of the product
  // behind the driver.
  bool quoteText(const char *value, std::string &out) override {
    appendLiteral(out, value, link_->literalForm);
    return true;
  }

  std::unique_ptr<DbCursor> open(const char *sql) override {
    SQLHSTMT stmt = runStatement(sql);
    if (stmt == SQL_NULL_HSTMT) return nullptr;
    return std::make_unique<OdbcCursor>(link_, stmt, sql);
  }

  // Prepared, never executed; the columns as the driver describes them.
  int describe(const char *sql, std::vector<short> *columnTypes) override {
    columnTypes->clear();
    OdbcLink &link = *link_;
    if (!link.connected) return notConnected();
    link.clearError();
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, link.dbc, &stmt))) {
      link.recordError(SQL_HANDLE_DBC, link.dbc);
      return 1;
    }
    std::string text(sql);
    SQLSMALLINT count = 0;
    bool ok = SQL_SUCCEEDED(SQLPrepare(stmt, reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS)) &&
              SQL_SUCCEEDED(SQLNumResultCols(stmt, &count));
    for (SQLSMALLINT i = 1; ok && i <= count; ++i) {
      SQLCHAR name[2];
      SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      ok = SQL_SUCCEEDED(SQLDescribeCol(stmt, static_cast<SQLUSMALLINT>(i), name, sizeof name, &nameLength, &type,
                                        &size, &digits, &nullable));
      columnTypes->push_back(serverTypeOfSqlType(type));
    }
    if (!ok) link.recordError(SQL_HANDLE_STMT, stmt);
    SQLFreeStmt(stmt, SQL_CLOSE);        // psqlODBC keeps a described result until closed
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok ? 0 : 1;
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
    link.releaseCursors();
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
  const char *errorCause() override { return link_->errorCause.c_str(); }
  // A connection exception, or a connection the driver knows is dead (a
  // server shut down mid-statement gives psqlODBC's 57P01, not an 08 state).
  bool connectionLost() override {
    if (link_->lost) return true;
    SQLUINTEGER dead = SQL_CD_FALSE;
    return link_->dbc != SQL_NULL_HDBC &&
           SQL_SUCCEEDED(SQLGetConnectAttr(link_->dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
           dead == SQL_CD_TRUE;
  }
  // SQLCancel of the statement in a call, from the stopping thread.
  void interrupt() override { link_->cancelBusy(); }
  const char *productName() override { return link_->product; }
  bool hasOrafce() override { return orafce_; }
  bool dualHasSysdate() override { return dualSysdate_; }

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
    SQLRETURN rc = link.whileBusy(stmt, [&] { return SQLExecDirect(stmt, reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS); });
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
    // psqlODBC's cursors are held over a commit, but it tells the driver
    // manager that they close, and unixODBC then refuses the next fetch of
    // a report whose body commits (HY010). Ended as SQL, the transaction
    // leaves the manager's statements as they are.
    if (backendOf(link.product) == SqlBackend::Postgres && !link.live.empty()) {
      SQLHSTMT stmt = runStatement(completion == SQL_COMMIT ? "COMMIT" : "ROLLBACK");
      if (stmt == SQL_NULL_HSTMT) return 1;
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      return 0;
    }
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, link.dbc, completion))) {
      link.recordError(SQL_HANDLE_DBC, link.dbc);
      return 1;
    }
    return 0;
  }

  // Oracle compatibility of the session, set while autocommit makes each
  // setting last: orafce's schema on PostgreSQL's path, ORACLE in MariaDB's
  // sql_mode (a server without it keeps its own).
  void setOracleSession() {
    switch (backendOf(link_->product)) {
      case SqlBackend::Postgres:
        orafce_ = queryFlag(orafceSearchPathSql());
        dualSysdate_ = queryFlag(pgDualSysdateSql());
        break;
      case SqlBackend::MariaDb:
        if (SQLHSTMT stmt = runStatement(mariaDbSessionModeSql(true, false).c_str())) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        dualSysdate_ = false;           // its DUAL has no columns
        break;
      case SqlBackend::Sqlite:
      case SqlBackend::Other:
        break;
    }
    link_->clearError();
  }

  // The one 0 or 1 of a set-up query; false when it fails.
  bool queryFlag(const char *sql) {
    SQLHSTMT stmt = runStatement(sql);
    if (stmt == SQL_NULL_HSTMT) return false;
    char value[8] = {};
    SQLLEN indicator = 0;
    bool flag = SQL_SUCCEEDED(SQLFetch(stmt)) &&
                SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_CHAR, value, sizeof value, &indicator)) && value[0] == '1';
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return flag;
  }

  // The server's product name as the driver reports it, in upper case.
  void readProductName() {
    OdbcLink &link = *link_;
    SQLCHAR name[kOdbcNameSize] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(link.dbc, SQL_DBMS_NAME, name, sizeof name, &length)) || name[0] == 0) return;
    int i = 0;
    for (; i < kOdbcNameSize - 1 && name[i]; ++i) link.product[i] = static_cast<char>(std::toupper(name[i]));
    link.product[i] = 0;
    link.literalForm = literalFormOf(link.product);
  }

  int notConnected() {
    link_->setError(1, messageText(Msg::DriverNotConnected));
    return 1;
  }

  std::shared_ptr<OdbcLink> link_;
  bool orafce_ = false;                 // orafce's schema is on PostgreSQL's path
  bool dualSysdate_ = true;             // DUAL has a SYSDATE column
};

}  // namespace

// The module's entry (the program loads it when a job connects).
extern "C" DbDriver *kelvordantixMakeOdbcDriver() { return new OdbcDriver(); }
