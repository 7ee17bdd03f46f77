// The MariaDB/MySQL driver: one Connector/C connection with autocommit off,
// the job's transaction begun with START TRANSACTION, and result sets as
// prepared statements whose rows stream from the server into buffers bound
// once per result set; values are read straight from those buffers, and
// nothing is allocated per row. The stream holds the connection: when
// another statement needs it while rows are still coming (a query run for
// each row of a report), the rest of the rows are first read into a
// temporary file, from which the result set goes on. So any number of
// result sets are open at once in bounded memory, and a report without
// nested queries reads its rows as fast as the server sends them.
//
// A second connection, opened beside the first, is kept for KILL QUERY:
// a stop request ends the running statement on the server.
#include "database/MyDriver.h"
#include "database/OracleSql.h"

#include <errmsg.h>
#include <mysql.h>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "database/ClassLibrary.h"
#include "database/DateText.h"
#include "database/DriverLink.h"
#include "driver/Messages.h"

namespace {

constexpr char kOptionGroup[] = "client";
constexpr unsigned kBinaryCharset = 63;   // the character set number of binary strings
constexpr unsigned kMyConnectTimeout = 30;

class MyCursor;

struct MyLink : DriverLink<MyCursor> {
  MYSQL *conn = nullptr;
  MYSQL *killer = nullptr;              // sends KILL QUERY for conn's statements
  unsigned long threadId = 0;           // conn's thread on the server, for KILL QUERY
  bool mariadb = true;                  // the server calls itself MariaDB
  MyCursor *streaming = nullptr;        // the result set whose rows are on the connection

  // The connection free for a statement: a stream's rest set aside.
  bool freeConnection();

  void recordError(unsigned number, const char *state, const char *message) {
    char text[kErrorTextSize];
    std::snprintf(text, sizeof text, "[%s] %s", state, message);
    setError(static_cast<long>(number), text);
  }
  void connError() { recordError(mysql_errno(conn), mysql_sqlstate(conn), mysql_error(conn)); }
};

// How a column is bound: integers and floating numbers in binary, dates as
// MYSQL_TIME, everything else as text.
enum class Binding { Integer, Float, Double, Date, Text };

struct Column {
  Binding binding = Binding::Text;
  enum_field_types bufferType = MYSQL_TYPE_STRING;
  short serverType = kServerTypeOther;
  std::vector<char> buffer;             // the bound value (text, or the binary number or date)
  unsigned long length = 0;             // bytes of the value
  my_bool null = 0;
  my_bool truncated = 0;
  my_bool isUnsigned = 0;
  std::string whole;                    // a text value longer than buffer, read on its own
  char text[kDateValueTextSize] = {};   // text of a number or a date
};

class MyCursor final : public DbCursor {
 public:
  explicit MyCursor(std::shared_ptr<MyLink> link) : link_(std::move(link)) { link_->attach(this); }
  ~MyCursor() override {
    release();
    link_->detach(this);
  }
  MyCursor(const MyCursor &) = delete;
  MyCursor &operator=(const MyCursor &) = delete;

  // Prepare and run the statement, and bind its columns; false on a server
  // error (the link holds it).
  bool start(const char *sql) {
    if (!link_->freeConnection()) return false;
    stmt_ = mysql_stmt_init(link_->conn);
    if (!stmt_) {
      link_->connError();
      return false;
    }
    if (mysql_stmt_prepare(stmt_, sql, std::strlen(sql)) != 0) return stmtError();
    if (!bindColumns()) return false;
    return execute();
  }

  // Let go of the statement and the set-aside rows; called by the cursor
  // itself or by the closing connection. Closing a statement whose rows
  // still come reads them to their end.
  void release() {
    closeSpill();
    if (link_->streaming == this) link_->streaming = nullptr;
    if (stmt_) mysql_stmt_close(stmt_);
    stmt_ = nullptr;
    onRow_ = false;
  }

  // The rows still to come, read from the connection into a temporary
  // file; the current row stays where it is. False when the server fails
  // meanwhile: the link holds the error, and the next step reports it.
  bool spill() {
    link_->streaming = nullptr;
    std::vector<Column> work = columns_;
    std::vector<MYSQL_BIND> binds(work.size());
    for (size_t i = 0; i < work.size(); ++i) bindTo(work[i], binds[i]);
    spill_ = std::tmpfile();
    bool ok = spill_ != nullptr && mysql_stmt_bind_result(stmt_, binds.data()) == 0;
    if (!spill_) link_->setError(-1, messageText(Msg::DriverNoSpill));
    for (int result = 0; ok;) {
      result = mysql_stmt_fetch(stmt_);
      if (result == MYSQL_NO_DATA) break;
      ok = result != 1 && writeRow(work);
    }
    if (!ok && spill_) stmtError();
    mysql_stmt_bind_result(stmt_, binds_.data());
    done_ = true;
    if (!ok || std::fflush(spill_) != 0 || std::fseek(spill_, 0, SEEK_SET) != 0) {
      closeSpill();
      failed_ = true;
      return false;
    }
    return true;
  }

  StepResult step() override {
    onRow_ = false;
    if (failed_) {
      failed_ = false;
      return StepResult::Error;
    }
    if (spill_) return readRow();
    if (!stmt_ || done_) return StepResult::Done;
    int result = mysql_stmt_fetch(stmt_);
    if (result == MYSQL_NO_DATA || result == 1) {
      done_ = true;
      if (link_->streaming == this) link_->streaming = nullptr;
      if (result == MYSQL_NO_DATA) return StepResult::Done;
      stmtError();
      return StepResult::Error;
    }
    if (!finishTexts()) return StepResult::Error;
    onRow_ = true;
    return StepResult::Row;
  }

  // The statement runs again; a failure shows at the next step.
  void rewind() override {
    if (!stmt_ || !link_->conn) return;
    closeSpill();
    if (link_->streaming == this) link_->streaming = nullptr;
    if (!link_->freeConnection() || !execute()) done_ = failed_ = true;
  }

  int columnCount() override { return static_cast<int>(columns_.size()); }
  short serverType(int column) override { return columns_[static_cast<size_t>(column)].serverType; }
  bool isNull(int column) override { return !onRow_ || columns_[static_cast<size_t>(column)].null; }

  const char *text(int column) override {
    if (isNull(column)) return "";
    Column &c = columns_[static_cast<size_t>(column)];
    switch (c.binding) {
      case Binding::Integer: {
        char *end = c.isUnsigned ? std::to_chars(c.text, c.text + 24, unsignedValue(c)).ptr
                                 : std::to_chars(c.text, c.text + 24, signedValue(c)).ptr;
        *end = 0;
        return c.text;
      }
      case Binding::Float:
        *std::to_chars(c.text, c.text + sizeof c.text - 1, floatValue(c)).ptr = 0;
        return c.text;
      case Binding::Double:
        *std::to_chars(c.text, c.text + sizeof c.text - 1, doubleValue(c)).ptr = 0;
        return c.text;
      case Binding::Date:
        formatDateText(dateParts(c), c.text);
        return c.text;
      case Binding::Text:
        return c.whole.empty() ? c.buffer.data() : c.whole.c_str();
    }
    return "";
  }

  double real(int column) override {
    if (isNull(column)) return 0.0;
    Column &c = columns_[static_cast<size_t>(column)];
    switch (c.binding) {
      case Binding::Integer:
        return c.isUnsigned ? static_cast<double>(unsignedValue(c)) : static_cast<double>(signedValue(c));
      case Binding::Float:
        return floatValue(c);
      case Binding::Double:
        return doubleValue(c);
      case Binding::Date:
        return 0.0;
      case Binding::Text:
        return readReal(text(column));
    }
    return 0.0;
  }

  // Numbers other than integers are cut towards zero and clamped to the
  // range of long.
  long integer(int column) override {
    if (isNull(column)) return 0;
    Column &c = columns_[static_cast<size_t>(column)];
    if (c.binding == Binding::Integer) {
      if (c.isUnsigned) return static_cast<long>(std::min<unsigned long long>(unsignedValue(c), LONG_MAX));
      return static_cast<long>(signedValue(c));
    }
    if (c.binding == Binding::Text) {
      const char *value = text(column);
      const char *end = value + std::strlen(value);
      long whole = 0;
      auto [stop, error] = std::from_chars(value, end, whole);
      if (error == std::errc() && stop == end) return whole;
    }
    double number = real(column);
    if (!(number == number)) return 0;
    if (number >= static_cast<double>(LONG_MAX)) return LONG_MAX;
    if (number <= static_cast<double>(LONG_MIN)) return LONG_MIN;
    return static_cast<long>(number);
  }

 private:
  // The statement's error, or the connection's (an error met while rows
  // stream is the connection's).
  bool stmtError() {
    if (mysql_stmt_errno(stmt_) == 0 && link_->conn && mysql_errno(link_->conn) != 0) {
      link_->connError();
    } else {
      link_->recordError(mysql_stmt_errno(stmt_), mysql_stmt_sqlstate(stmt_), mysql_stmt_error(stmt_));
    }
    return false;
  }

  // The connection is free when this is called.
  bool execute() {
    done_ = onRow_ = false;
    if (mysql_stmt_execute(stmt_) != 0) return stmtError();
    // A statement that gives no rows has nothing to stream.
    if (columns_.empty()) {
      done_ = true;
    } else {
      link_->streaming = this;
    }
    return true;
  }

  // One row of the work columns into the temporary file: per column a null
  // mark, then the value's length and bytes.
  bool writeRow(std::vector<Column> &work) {
    for (size_t i = 0; i < work.size(); ++i) {
      Column &c = work[i];
      char null = c.null ? 1 : 0;
      if (std::fwrite(&null, 1, 1, spill_) != 1) return false;
      if (c.null) continue;
      const char *bytes = c.buffer.data();
      unsigned long length = c.binding == Binding::Text ? c.length : c.buffer.size();
      if (c.binding == Binding::Text && c.length >= c.buffer.size()) {
        c.whole.assign(c.length, '\0');
        MYSQL_BIND bind{};
        bind.buffer_type = MYSQL_TYPE_STRING;
        bind.buffer = c.whole.data();
        bind.buffer_length = c.length;
        if (mysql_stmt_fetch_column(stmt_, &bind, static_cast<unsigned>(i), 0) != 0) return false;
        bytes = c.whole.data();
      }
      if (std::fwrite(&length, sizeof length, 1, spill_) != 1 ||
          (length > 0 && std::fwrite(bytes, 1, length, spill_) != length))
        return false;
    }
    return true;
  }

  // The next set-aside row into the bound buffers.
  StepResult readRow() {
    char null = 0;
    if (std::fread(&null, 1, 1, spill_) != 1) {
      closeSpill();
      return StepResult::Done;
    }
    for (size_t i = 0; i < columns_.size(); ++i) {
      Column &c = columns_[i];
      if (i > 0 && std::fread(&null, 1, 1, spill_) != 1) return spillFault();
      c.null = null;
      if (null) continue;
      unsigned long length = 0;
      if (std::fread(&length, sizeof length, 1, spill_) != 1) return spillFault();
      c.length = length;
      bool inBuffer = c.binding != Binding::Text || length < c.buffer.size();
      if (!inBuffer) c.whole.resize(length);
      char *target = inBuffer ? c.buffer.data() : c.whole.data();
      if (length > c.buffer.size() && inBuffer) return spillFault();
      if (length > 0 && std::fread(target, 1, length, spill_) != length) return spillFault();
      if (c.binding == Binding::Text && inBuffer) {
        c.buffer[length] = 0;
        c.whole.clear();
      }
    }
    onRow_ = true;
    return StepResult::Row;
  }

  StepResult spillFault() {
    closeSpill();
    link_->setError(-1, messageText(Msg::DriverSpillUnreadable));
    return StepResult::Error;
  }

  void closeSpill() {
    if (spill_) std::fclose(spill_);
    spill_ = nullptr;
  }

  // Buffers for the columns the prepared statement describes.
  bool bindColumns() {
    MYSQL_RES *meta = mysql_stmt_result_metadata(stmt_);
    if (!meta) return mysql_stmt_errno(stmt_) == 0 || stmtError();
    unsigned count = mysql_num_fields(meta);
    MYSQL_FIELD *fields = mysql_fetch_fields(meta);
    columns_.resize(count);
    binds_.assign(count, MYSQL_BIND{});
    for (unsigned i = 0; i < count; ++i) bindColumn(fields[i], columns_[i], binds_[i]);
    mysql_free_result(meta);
    if (mysql_stmt_bind_result(stmt_, binds_.data()) != 0) return stmtError();
    return true;
  }

  static void bindColumn(const MYSQL_FIELD &field, Column &c, MYSQL_BIND &bind) {
    c.serverType = myServerType(field.type, field.flags, field.charsetnr);
    c.isUnsigned = (field.flags & UNSIGNED_FLAG) != 0;
    switch (static_cast<int>(field.type)) {
      case MYSQL_TYPE_TINY: case MYSQL_TYPE_SHORT: case MYSQL_TYPE_INT24: case MYSQL_TYPE_LONG:
      case MYSQL_TYPE_LONGLONG: case MYSQL_TYPE_YEAR:
        c.binding = Binding::Integer;
        bind.buffer_type = MYSQL_TYPE_LONGLONG;
        c.buffer.resize(sizeof(long long));
        break;
      case MYSQL_TYPE_FLOAT:
        c.binding = Binding::Float;
        bind.buffer_type = MYSQL_TYPE_FLOAT;
        c.buffer.resize(sizeof(float));
        break;
      case MYSQL_TYPE_DOUBLE:
        c.binding = Binding::Double;
        bind.buffer_type = MYSQL_TYPE_DOUBLE;
        c.buffer.resize(sizeof(double));
        break;
      case MYSQL_TYPE_DATE: case MYSQL_TYPE_NEWDATE: case MYSQL_TYPE_DATETIME: case MYSQL_TYPE_TIMESTAMP:
        c.binding = Binding::Date;
        bind.buffer_type = MYSQL_TYPE_DATETIME;
        c.buffer.resize(sizeof(MYSQL_TIME));
        break;
      default:
        c.binding = Binding::Text;
        bind.buffer_type = MYSQL_TYPE_STRING;
        c.buffer.resize(std::min<unsigned long>(std::max<unsigned long>(field.length, 64), kMyInlineBytes) + 1);
        break;
    }
    c.bufferType = bind.buffer_type;
    bindTo(c, bind);
  }

  static void bindTo(Column &c, MYSQL_BIND &bind) {
    bind = MYSQL_BIND{};
    bind.buffer_type = c.bufferType;
    bind.buffer = c.buffer.data();
    // Room for the terminator the library writes after text.
    bind.buffer_length = static_cast<unsigned long>(c.buffer.size()) - (c.binding == Binding::Text ? 1 : 0);
    bind.length = &c.length;
    bind.is_null = &c.null;
    bind.error = &c.truncated;
    bind.is_unsigned = c.isUnsigned;
  }

  // Text values end at their length; one longer than its buffer is read
  // whole on its own (the string keeps its room for the next long one).
  bool finishTexts() {
    for (size_t i = 0; i < columns_.size(); ++i) {
      Column &c = columns_[i];
      if (c.binding != Binding::Text || c.null) continue;
      if (c.length < c.buffer.size()) {
        c.whole.clear();
        c.buffer[c.length] = 0;
        continue;
      }
      c.whole.assign(c.length, '\0');
      MYSQL_BIND bind{};
      bind.buffer_type = MYSQL_TYPE_STRING;
      bind.buffer = c.whole.data();
      bind.buffer_length = c.length;
      if (mysql_stmt_fetch_column(stmt_, &bind, static_cast<unsigned>(i), 0) != 0) return stmtError();
    }
    return true;
  }

  static long long signedValue(const Column &c) {
    long long value;
    std::memcpy(&value, c.buffer.data(), sizeof value);
    return value;
  }
  static unsigned long long unsignedValue(const Column &c) {
    unsigned long long value;
    std::memcpy(&value, c.buffer.data(), sizeof value);
    return value;
  }
  static float floatValue(const Column &c) {
    float value;
    std::memcpy(&value, c.buffer.data(), sizeof value);
    return value;
  }
  static double doubleValue(const Column &c) {
    double value;
    std::memcpy(&value, c.buffer.data(), sizeof value);
    return value;
  }
  static DateParts dateParts(const Column &c) {
    MYSQL_TIME time;
    std::memcpy(&time, c.buffer.data(), sizeof time);
    DateParts date;
    date.year = static_cast<int>(time.year);
    date.month = static_cast<int>(time.month);
    date.day = static_cast<int>(time.day);
    date.hour = static_cast<int>(time.hour);
    date.minute = static_cast<int>(time.minute);
    date.second = static_cast<int>(time.second);
    return date;
  }
  static double readReal(const char *text) {
    double number = 0.0;
    const char *end = text + std::strlen(text);
    auto [stop, error] = std::from_chars(text, end, number);
    if (error == std::errc() && stop == end) return number;
    return std::strtod(text, nullptr);
  }

  std::shared_ptr<MyLink> link_;
  MYSQL_STMT *stmt_ = nullptr;
  std::vector<Column> columns_;
  std::vector<MYSQL_BIND> binds_;       // one per column, pointing into columns_
  std::FILE *spill_ = nullptr;          // the rows set aside, read from here on
  bool onRow_ = false;                  // the bound buffers hold a row
  bool done_ = false;                   // no rows after the current one
  bool failed_ = false;                 // a failed rewind or spill, reported by the next step
};

bool MyLink::freeConnection() { return streaming == nullptr || streaming->spill(); }

// The option file as a memory file the library reads by its /proc path;
// -1 when the system gives none.
int writeOptionFile(const std::string &text, char *path, size_t size) {
  int fd = memfd_create("kelvordantix-my.cnf", MFD_CLOEXEC);
  if (fd < 0) return -1;
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    ::close(fd);
    return -1;
  }
  std::snprintf(path, size, "/proc/self/fd/%d", fd);
  return fd;
}

// Empty strings are not given, so that the option files' values apply.
const char *given(const std::string &text) { return text.empty() ? nullptr : text.c_str(); }

// A connection by the settings, with the option file at optionPath; false
// with the library's error on handle.
bool openConnection(MYSQL *handle, const MyConnectSettings &s, const char *optionPath) {
  mysql_optionsv(handle, MYSQL_READ_DEFAULT_FILE, optionPath);
  mysql_optionsv(handle, MYSQL_READ_DEFAULT_GROUP, kOptionGroup);
  mysql_optionsv(handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  mysql_optionsv(handle, MYSQL_OPT_CONNECT_TIMEOUT, &kMyConnectTimeout);
  return mysql_real_connect(handle, given(s.host), given(s.user), given(s.password), given(s.database), s.port,
                            given(s.socket), CLIENT_MULTI_RESULTS) != nullptr;
}

class MyDriver final : public DbDriver {
 public:
  MyDriver() : link_(std::make_shared<MyLink>()) {}
  ~MyDriver() override { close(); }
  MyDriver(const MyDriver &) = delete;
  MyDriver &operator=(const MyDriver &) = delete;

  // The user and password given win over the connect string's; without
  // them the option files apply. A failure reads as the mariadb client
  // prints it: "ERROR number (state): message".
  int connect(const char *database, const char *user, const char *password) override {
    close();
    MyLink &link = *link_;
    link.clearError();
    MyConnectSettings settings;
    std::string reason;
    if (!parseMyConnect(database, &settings, &reason)) {
      link.setError(-1, reason.c_str());
      return 1;
    }
    if (user && user[0]) settings.user = user;
    if (password && password[0]) settings.password = password;
    char path[64];
    int fd = writeOptionFile(myOptionFileText(settings), path, sizeof path);
    if (fd < 0) {
      link.setError(-1, messageText(Msg::DriverOptions));
      return 1;
    }
    bool ok = connectBoth(settings, path);
    ::close(fd);
    explicit_bzero(settings.password.data(), settings.password.size());
    if (!ok) {
      close();
      return 1;
    }
    const char *version = mysql_get_server_info(link.conn);
    link.mariadb = version && strcasestr(version, "mariadb");
    if (mysql_autocommit(link.conn, 0) != 0 || !run(mySessionSql(oracleSql_).c_str())) {
      close();
      return 1;
    }
    return 0;
  }

  // Text protocol; results of the statement (a CALL may give several) are
  // read and dropped.
  int execute(const char *sql) override { return run(sql) ? 0 : 1; }

  std::unique_ptr<DbCursor> open(const char *sql) override {
    if (!link_->conn) {
      notConnected();
      return nullptr;
    }
    auto cursor = std::make_unique<MyCursor>(link_);
    if (!cursor->start(myStatementText(sql, oracleSql_).c_str())) return nullptr;
    return cursor;
  }

  // Prepared, never executed; the columns from the statement's metadata.
  int describe(const char *sql, std::vector<short> *columnTypes) override {
    columnTypes->clear();
    MyLink &link = *link_;
    if (!link.conn) return notConnected();
    if (!link.freeConnection()) return 1;
    MYSQL_STMT *stmt = mysql_stmt_init(link.conn);
    if (!stmt) {
      link.connError();
      return 1;
    }
    std::string text = myStatementText(sql, oracleSql_);
    bool ok = mysql_stmt_prepare(stmt, text.c_str(), text.size()) == 0;
    MYSQL_RES *meta = ok ? mysql_stmt_result_metadata(stmt) : nullptr;
    if (meta) {
      MYSQL_FIELD *fields = mysql_fetch_fields(meta);
      for (unsigned i = 0; i < mysql_num_fields(meta); ++i)
        columnTypes->push_back(myServerType(fields[i].type, fields[i].flags, fields[i].charsetnr));
      mysql_free_result(meta);
    }
    if (!ok || mysql_stmt_errno(stmt) != 0)
      link.recordError(mysql_stmt_errno(stmt), mysql_stmt_sqlstate(stmt), mysql_stmt_error(stmt));
    mysql_stmt_close(stmt);
    return link.errorNumber != 0 ? 1 : 0;
  }

  int begin() override { return link_->conn ? (run("START TRANSACTION") ? 0 : 1) : notConnected(); }

  // A commit the server refuses (a cluster's certification, a lost
  // connection) is a failure with the server's error.
  int commit() override {
    MyLink &link = *link_;
    if (!link.conn) return notConnected();
    link.clearError();
    if (!link.freeConnection()) return 1;
    if (mysql_commit(link.conn) != 0) {
      link.connError();
      return 1;
    }
    return 0;
  }

  int rollback() override {
    MyLink &link = *link_;
    if (!link.conn) return notConnected();
    link.clearError();
    if (!link.freeConnection()) return 1;
    if (mysql_rollback(link.conn) != 0) {
      link.connError();
      return 1;
    }
    return 0;
  }

  // What is open is rolled back before the connection ends, so that no
  // other session meets the job's locks after it (the server would roll
  // back too, once it notices the connection gone). Rows still streaming
  // are not read to their end: the connection is closed under them, and
  // the server then rolls back.
  void close() override {
    MyLink &link = *link_;
    bool streaming = link.streaming != nullptr;
    link.streaming = nullptr;
    if (!streaming) {
      link.releaseCursors();
      if (link.conn) mysql_rollback(link.conn);
    }
    if (link.killer) mysql_close(link.killer);
    if (link.conn) mysql_close(link.conn);
    link.killer = link.conn = nullptr;
    link.releaseCursors();
  }

  long errorNumber() override { return link_->errorNumber; }
  const char *errorText() override { return link_->errorText; }
  const char *errorCause() override { return link_->errorCause.c_str(); }
  bool connectionLost() override {
    return link_->errorNumber == CR_SERVER_GONE_ERROR || link_->errorNumber == CR_SERVER_LOST;
  }
  const char *productName() override { return link_->mariadb ? "MARIADB" : "MYSQL"; }

  // KILL QUERY over the second connection: the running statement fails
  // with the server's "interrupted", the connection stays usable.
  void interrupt() override {
    MyLink &link = *link_;
    if (!link.killer || !link.conn) return;
    char sql[64];
    std::snprintf(sql, sizeof sql, "KILL QUERY %lu", link.threadId);
    if (mysql_query(link.killer, sql) == 0) return;
    // The second connection failed: cutting the first one ends the statement too.
    mariadb_cancel(link.conn);
  }

 private:
  // The job's connection, then the one for KILL QUERY while the password
  // is at hand; without the second a stop cuts the first.
  bool connectBoth(const MyConnectSettings &settings, const char *path) {
    MyLink &link = *link_;
    link.conn = mysql_init(nullptr);
    if (!link.conn) {
      link.setError(-1, messageText(Msg::DriverOutOfMemory));
      return false;
    }
    if (!openConnection(link.conn, settings, path)) {
      char text[kErrorTextSize];
      std::snprintf(text, sizeof text, "ERROR %u (%s): %s", mysql_errno(link.conn), mysql_sqlstate(link.conn),
                    mysql_error(link.conn));
      link.setError(static_cast<long>(mysql_errno(link.conn)), text);
      return false;
    }
    link.threadId = mysql_thread_id(link.conn);
    link.killer = mysql_init(nullptr);
    if (link.killer && !openConnection(link.killer, settings, path)) {
      mysql_close(link.killer);
      link.killer = nullptr;
    }
    return true;
  }

  // One statement over the text protocol; false with the server's error.
  bool run(const char *sql) {
    MyLink &link = *link_;
    link.clearError();
    if (!link.conn) return notConnected() == 0;
    if (!link.freeConnection()) return false;
    if (mysql_real_query(link.conn, sql, std::strlen(sql)) != 0) {
      link.connError();
      return false;
    }
    for (;;) {
      if (MYSQL_RES *result = mysql_store_result(link.conn)) mysql_free_result(result);
      if (mysql_errno(link.conn) != 0) {
        link.connError();
        return false;
      }
      int more = mysql_next_result(link.conn);
      if (more == -1) return true;
      if (more > 0) {
        link.connError();
        return false;
      }
    }
  }

  int notConnected() {
    link_->setError(-1, messageText(Msg::DriverNotConnected));
    return 1;
  }

  std::shared_ptr<MyLink> link_;
};

bool startsWith(const char *text, const char *prefix) { return strncasecmp(text, prefix, std::strlen(prefix)) == 0; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Percent escapes decoded; false for a broken one.
bool decode(const std::string &text, std::string *out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *out += text[i];
      continue;
    }
    if (i + 2 >= text.size() || hexValue(text[i + 1]) < 0 || hexValue(text[i + 2]) < 0) return false;
    *out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
    i += 2;
  }
  return true;
}

bool readPort(const std::string &text, unsigned *port) {
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535) return false;
  *port = value;
  return true;
}

// mariadb://[user[:password]@][host][:port][/database][?key=value&...]
bool parseUri(const std::string &uri, MyConnectSettings *s, std::string *reason) {
  std::string rest = uri.substr(uri.find("://") + 3), query;
  size_t mark = rest.find('?');
  if (mark != std::string::npos) {
    query = rest.substr(mark + 1);
    rest.erase(mark);
  }
  size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash), path = slash == std::string::npos ? "" : rest.substr(slash + 1);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    std::string who = authority.substr(0, at);
    authority.erase(0, at + 1);
    size_t colon = who.find(':');
    if (!decode(who.substr(0, colon), &s->user) ||
        (colon != std::string::npos && !decode(who.substr(colon + 1), &s->password))) {
      *reason = messageText(Msg::DriverUriEscape);
      return false;
    }
  }
  std::string host = authority, port;
  size_t close = authority.rfind(']');
  size_t colon = authority.rfind(':');
  if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  std::string decodedHost;
  if (!decode(host, &decodedHost) || !decode(path, &s->database)) {
    *reason = messageText(Msg::DriverUriEscape);
    return false;
  }
  if (!decodedHost.empty() && decodedHost.front() == '/') {
    s->socket = decodedHost;
  } else {
    s->host = decodedHost;
  }
  if (!port.empty() && !readPort(port, &s->port)) {
    *reason = std::string(messageText(Msg::DriverUriPort)) + port;
    return false;
  }
  size_t from = 0;
  while (from <= query.size() && !query.empty()) {
    size_t amp = query.find('&', from);
    std::string pair = query.substr(from, amp == std::string::npos ? std::string::npos : amp - from), line;
    if (!pair.empty()) {
      if (!decode(pair, &line) || line.find('\n') != std::string::npos) {
        *reason = std::string(messageText(Msg::DriverUriParameter)) + pair;
        return false;
      }
      s->options.push_back(line);
    }
    if (amp == std::string::npos) break;
    from = amp + 1;
  }
  return true;
}

bool fileExists(const std::string &path) { return access(path.c_str(), R_OK) == 0; }

const char *kDateProbes[] = {
    "select to_char(sysdate,'dd/mm/yy') as today from dual",
    "select to_char(sysdate,'hh24:mi:ss') as now from dual",
};

}  // namespace

// The module's entry (the program loads it when a job connects).
extern "C" DbDriver *kelvordantixMakeMyDriver() { return new MyDriver(); }

bool parseMyConnect(const char *text, MyConnectSettings *settings, std::string *reason) {
  *settings = MyConnectSettings{};
  if (startsWith(text, "mariadb://") || startsWith(text, "mysql://")) return parseUri(text, settings, reason);
  const char *p = text;
  while (*p) {
    while (*p == ' ' || *p == '\t') ++p;
    const char *start = p;
    while (*p && *p != ' ' && *p != '\t') ++p;
    if (p == start) break;
    std::string word(start, p);
    if (word.front() == '=') {
      *reason = std::string(messageText(Msg::DriverOptionNoName)) + word;
      return false;
    }
    settings->options.push_back(word);
  }
  return true;
}

std::string myOptionFileText(const MyConnectSettings &settings) {
  std::string text = "[client]\n";
  if (const char *host = std::getenv("MYSQL_HOST"); host && host[0] && !std::strchr(host, '\n'))
    text += std::string("host=") + host + "\n";
  std::vector<std::string> files = {"/etc/my.cnf", "/etc/mysql/my.cnf"};
  const char *home = std::getenv("MARIADB_HOME");
  if (!home) home = std::getenv("MYSQL_HOME");
  if (home && home[0]) files.push_back(std::string(home) + "/my.cnf");
  if (const char *user = std::getenv("HOME"); user && user[0]) files.push_back(std::string(user) + "/.my.cnf");
  for (const std::string &file : files)
    if (fileExists(file)) text += "!include " + file + "\n";
  text += "[client]\n";
  for (const std::string &line : settings.options) text += line + "\n";
  return text;
}

short myServerType(int fieldType, unsigned flags, unsigned charsetNumber) {
  switch (fieldType) {
    case MYSQL_TYPE_STRING:
      if (flags & (ENUM_FLAG | SET_FLAG)) return kServerTypeChar;
      return charsetNumber == kBinaryCharset ? kServerTypeOther : kServerTypeFixedChar;
    case MYSQL_TYPE_VAR_STRING: case MYSQL_TYPE_VARCHAR: case MYSQL_TYPE_TINY_BLOB: case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB: case MYSQL_TYPE_BLOB:
      return charsetNumber == kBinaryCharset ? kServerTypeOther : kServerTypeChar;
    case MYSQL_TYPE_ENUM: case MYSQL_TYPE_SET: case MYSQL_TYPE_JSON: case MYSQL_TYPE_NULL:
      return kServerTypeChar;
    case MYSQL_TYPE_TINY: case MYSQL_TYPE_SHORT: case MYSQL_TYPE_INT24: case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_LONGLONG: case MYSQL_TYPE_YEAR: case MYSQL_TYPE_FLOAT: case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_DECIMAL: case MYSQL_TYPE_NEWDECIMAL:
      return kServerTypeNumber;
    case MYSQL_TYPE_DATE: case MYSQL_TYPE_NEWDATE: case MYSQL_TYPE_DATETIME: case MYSQL_TYPE_TIMESTAMP:
      return kServerTypeDate;
    default:
      return kServerTypeOther;
  }
}

std::string mySessionSql(bool oracle) { return mariaDbSessionModeSql(oracle, true); }

std::string myStatementText(const char *sql, bool oracle) {
  std::string text = sql;
  if (oracle) return text;
  for (const char *probe : kDateProbes) {
    if (strcasecmp(sql, probe) == 0) {
      size_t at = text.find("sysdate") + 7;
      text.insert(at, "()");
    }
  }
  return text;
}
