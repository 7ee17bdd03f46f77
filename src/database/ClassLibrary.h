// The database class library: the objects and operations the report
// language is built on (OStartup, ODatabase, OSession, ODynaset, OValue),
// implemented over a small driver interface with an SQLite, a PostgreSQL
// (libpq), a MariaDB/MySQL (Connector/C) and an ODBC driver. Calls return 0 for success where a result is defined; after a
// failure the database object holds the server's error number and text.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "database/DateText.h"
#include "database/OracleSql.h"

// Server types of a column, as GetFieldServerType reports them.
constexpr short kServerTypeChar = 1;
constexpr short kServerTypeFixedChar = 96;
constexpr short kServerTypeNumber = 2;
constexpr short kServerTypeDate = 12;
constexpr short kServerTypeOther = 0;   // anything the program does not convert
constexpr short kServerTypeByValue = -1; // describe: only the values will tell

constexpr int kSqlTextSize = 2000;      // statement text kept for GetSQL
constexpr int kErrorTextSize = 1024;    // server error text kept by a driver

// The ways of writing a Text value as one SQL literal that the server reads
// back as exactly the value's bytes.
enum class LiteralForm {
  Standard,         // 'text' with quotes doubled (SQLite, Oracle, standard SQL)
  PostgresEscape,   // E'text' with quotes and backslashes doubled once the value holds a
                    // backslash: the same reading whatever standard_conforming_strings says
  BackslashEscape,  // 'text' with quotes and backslashes doubled: MySQL and MariaDB read it
                    // exactly in their default sql_mode, and as one literal in any mode
};
// Append value to out as a literal of that form.
void appendLiteral(std::string &out, const char *value, LiteralForm form);

// Outcome of stepping a cursor.
enum class StepResult { Row, Done, Error };

// One open result set of a driver, stepped forward only. A cursor must stay
// safe to use and to destroy after its connection was closed or its driver
// destroyed (it then reports no row): the layer never orders those events.
class DbCursor {
 public:
  virtual ~DbCursor() = default;
  // Move to the next row. Error leaves the server's error with the driver.
  virtual StepResult step() = 0;
  // Go back before the first row (re-running the statement if need be).
  virtual void rewind() = 0;
  virtual int columnCount() = 0;
  // Server type of the column in the current row (a column without a
  // declared type is typed by its value).
  virtual short serverType(int column) = 0;
  virtual bool isNull(int column) = 0;
  // The value's text, never null (dates as "mm/dd/yyyy hh:mi:ss"); valid
  // until the next call on this cursor.
  virtual const char *text(int column) = 0;
  virtual double real(int column) = 0;
  virtual long integer(int column) = 0;
  // A date column's value as its parts, for a fetch that edits the date
  // itself; false when the cursor has none to give (text() then has the
  // value as text).
  virtual bool dateParts(int /*column*/, DateParts * /*date*/) { return false; }
};

// One connection of a driver. Columns are counted from 0 and the layer
// checks them before it asks; a driver need not.
class DbDriver {
 public:
  virtual ~DbDriver() = default;
  // 0 on success. The database name comes without its "sqlite:", "odbc:"
  // or "pg:". An empty user or password is not sent, so that the data
  // source's own credentials apply. After a failure errorText() is the
  // reason as a user can act on it, naming the database (file, data source
  // or server); it may hold several lines.
  virtual int connect(const char *database, const char *user, const char *password) = 0;
  virtual int execute(const char *sql) = 0;
  // Append value to out as one literal that the server reads as exactly
  // value's bytes, whatever the session's settings (a script may change
  // them between statements); false with the reason kept when it cannot
  // be written (a value invalid in the connection's encoding). A driver
  // whose server reads quotes in other ways (backslash escapes, character
  // sets of its own) writes literals with the server's rules or the client
  // library's own escaping.
  virtual bool quoteText(const char *value, std::string &out) {
    appendLiteral(out, value, LiteralForm::Standard);
    return true;
  }
  // A new cursor, before its first row; nullptr on a server error.
  virtual std::unique_ptr<DbCursor> open(const char *sql) = 0;
  // Prepare sql without running it (the check of a script): 0 with the
  // server type of each result column in columnTypes (none for a statement
  // that returns no rows; kServerTypeByValue where only the values will
  // tell), or non-zero with the server's error kept. Nothing is executed.
  virtual int describe(const char *sql, std::vector<short> *columnTypes) = 0;
  // Transactions. Commit and rollback with no transaction open succeed.
  virtual int begin() = 0;
  virtual int commit() = 0;
  virtual int rollback() = 0;
  // Ends the connection (an open transaction is rolled back); the driver's
  // cursors then report no row. Safe to call twice.
  virtual void close() = 0;
  virtual long errorNumber() = 0;
  virtual const char *errorText() = 0;
  // What the server said of the error besides its text, as lines to show
  // after the statement (where in the statement, its detail and hint,
  // further diagnostics); empty when it said nothing more.
  virtual const char *errorCause() { return ""; }
  // The last error was the end of the connection (the server gone or the
  // link broken), not the server refusing the statement.
  virtual bool connectionLost() { return false; }
  // Make the call in progress (or the next) fail soon; called from another
  // thread while the connection is open. A driver that cannot does nothing.
  virtual void interrupt() {}
  // The database product in upper case, as server error lines name it
  // ("SQLITE", "POSTGRESQL", "ORACLE"); asked only after a connect succeeded.
  virtual const char *productName() = 0;

  // Oracle compatibility, on unless the job asks for the backend's own SQL:
  // set before connect, which applies it to the session (orafce's schema on
  // PostgreSQL's path, ORACLE in MariaDB's sql_mode).
  void setOracleSql(bool on) { oracleSql_ = on; }
  bool oracleSql() const { return oracleSql_; }
  // What the rewrites of Oracle's SQL need to know of the connected database.
  virtual bool hasOrafce() { return false; }
  virtual bool dualHasSysdate() { return true; }

 protected:
  bool oracleSql_ = true;
};

// ODatabase::Open options: statements and session settings exactly as the
// script wrote them, no Oracle compatibility.
constexpr long kOpenNativeSql = 1;

// Interrupt every open connection (from any thread): a job that was asked
// to stop comes back from a long query. Interrupt.cpp.
void interruptDatabases();
void watchForInterrupt(DbDriver *driver);
void unwatchForInterrupt(DbDriver *driver);

// Passwords kept out of every text a job shows (Passwords.cpp). In text,
// the values of PWD= and password= (any case) and the password of a URI's
// user:password@ become "***".
void maskPasswords(std::string &text);
// Every occurrence of secret in text becomes "***".
void maskSecret(std::string &text, const std::string &secret);
// The passwords a connect string holds, as maskPasswords finds them.
std::vector<std::string> findPasswords(const char *text);

// The driver a connect string's database name selects, or nullptr when the
// name is empty or the driver's module is missing or does not load (the
// reason in *why):
//   "sqlite:NAME", or NAME ending in .db, .sqlite, .sqlite3: SQLite
//   "postgresql://..." or "postgres://..." (a libpq URI), or "pg:" and a
//   libpq keyword/value string or nothing: PostgreSQL through libpq
//   "mariadb://..." or "mysql://..." (a URI), or "my:" and option-file
//   style key=value words or nothing: MariaDB or MySQL through Connector/C
//   "odbc:NAME", or any other NAME: ODBC data source
std::unique_ptr<DbDriver> selectDriver(const char *database, std::string *why = nullptr);
// Whether a text is a database name by its form alone (a driver's prefix,
// or a file name SQLite takes), so that it needs no "user/password@".
bool namesDatabaseByForm(const char *text);
// False for a driver that has no use for a password (SQLite).
bool driverTakesPassword(const char *database);
// The database name a driver connects to: the name without "sqlite:",
// "odbc:", "pg:" or "my:" in front (a URI stays whole).
const char *driverDatabaseName(const char *database);

std::unique_ptr<DbDriver> makeSqliteDriver();
// The server drivers, each loaded from its module (kelvordantix-odbc.so,
// kelvordantix-pg.so, kelvordantix-mariadb.so; driver/Modules.h); nullptr
// with the reason in *why when the module is missing or does not load.
std::unique_ptr<DbDriver> makeOdbcDriver(std::string *why);
std::unique_ptr<DbDriver> makePgDriver(std::string *why);
std::unique_ptr<DbDriver> makeMyDriver(std::string *why);

void OStartup(int mode);

class ODatabase;

// A handle on the transaction of a database; a copy refers to the same
// connection. After the database is closed its calls fail harmlessly.
class OSession {
 public:
  int BeginTransaction();
  int Commit(int startNew);
  int Rollback(int startNew);

 private:
  friend class ODatabase;
  std::weak_ptr<DbDriver> driver_;
};

class ODatabase {
 public:
  ODatabase() = default;
  ~ODatabase();
  ODatabase(const ODatabase &) = delete;
  ODatabase &operator=(const ODatabase &) = delete;
  int Open(const char *database, const char *user, const char *password, long options);
  // Connect through a driver the caller made (the tests' in-memory driver):
  // as Open, with database handed to the driver whole.
  int Open(std::unique_ptr<DbDriver> driver, const char *database, const char *user, const char *password,
           long options);
  int ExecuteSQL(const char *sql);
  // A Text value as the connected server's literal (DbDriver::quoteText);
  // standard quoting when not connected.
  bool QuoteText(const char *value, std::string &out);
  OSession GetSession();
  // Rolls back an open transaction; result sets still open report no row.
  void Close();
  bool IsOpen() const { return driver_ != nullptr; }
  long ServerErrorNumber() const;
  // The driver's text with any password in it masked (maskPasswords).
  const char *GetServerErrorText() const;
  // The lines the server added to its error (DbDriver::errorCause), masked
  // the same way; empty when not connected.
  const char *GetServerErrorCause() const;
  // The last error ended the connection (DbDriver::connectionLost).
  bool ConnectionLost() const { return driver_ && driver_->connectionLost(); }
  // The connected database's product name ("ORACLE" when not connected).
  const char *ProductName() const;
  // The connection's SQL as the rewrites of Oracle's SQL see it; backend
  // Other (nothing rewritten) when not connected or with kOpenNativeSql.
  SqlDialect Dialect() const;
  DbDriver *driver() const { return driver_.get(); }

 private:
  void keepConnectError(long number, const char *text, const char *database, const char *password);

  std::shared_ptr<DbDriver> driver_;
  long connectErrorNumber_ = 0;          // why the last Open failed
  char connectErrorText_[kErrorTextSize] = {};  // masked, the passwords of the Open too
  mutable std::string shownError_;       // the last text GetServerErrorText gave
  mutable std::string shownCause_;       // the last lines GetServerErrorCause gave
};

class OValue;

// A result set. Open executes the query and stands on its first row, so
// field values may be read at once; MoveFirst then keeps that row.
class ODynaset {
 public:
  ODynaset() = default;
  ~ODynaset();
  ODynaset(const ODynaset &) = delete;
  ODynaset &operator=(const ODynaset &) = delete;

  int Open(ODatabase &database, const char *sql, long options);
  int MoveFirst();
  // 0 on a row or at the end; non-zero on a server error (the database
  // holds it), or when the set is not open.
  int MoveNext(int dummy = 1);
  int IsEOF() const;
  void Close();
  bool IsOpen() const { return cursor_ != nullptr; }
  int GetFieldCount();
  int GetFieldValue(int column, OValue *value);
  short GetFieldServerType(int column);
  // The number of rows of the query (it is run again to count them); the
  // set stands on its first row afterwards.
  long GetRecordCount();
  const char *GetSQL() const;
  // The cursor of the row the set stands on, for the row path of a fetch
  // (its columns read directly); nullptr when the set is closed or at its
  // end.
  DbCursor *RowCursor() const { return eof_ ? nullptr : cursor_.get(); }

 private:
  friend class OValue;
  int step();
  int stepFirst();

  std::unique_ptr<DbCursor> cursor_;
  std::shared_ptr<ODynaset *> self_;    // shared with bound OValues; null once destroyed
  unsigned long generation_ = 0;        // raised by Open and Close, so stale OValues read null
  int columnCount_ = 0;
  bool eof_ = true;
  bool onFirst_ = false;                // standing on the first row (or no row)
  char sql_[kSqlTextSize] = {};         // statement text, for GetSQL
};

// A field value: a view of one column of the current row of a result set.
// Once the set is closed, reopened or destroyed the value reads as null.
class OValue {
 public:
  int IsNull() const;
  operator const char *() const;
  operator double() const;
  operator long() const;

 private:
  friend class ODynaset;
  DbCursor *cursor() const;

  std::shared_ptr<ODynaset *> set_;     // the set's own handle, rebound only on a change of set
  unsigned long generation_ = 0;
  int column_ = 0;
};
