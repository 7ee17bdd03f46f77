// The database class library: the objects and operations the report
// language is built on (OStartup, ODatabase, OSession, ODynaset, OValue),
// implemented over a small driver interface with an SQLite and an ODBC
// driver. Calls return 0 for success where a result is defined.
#pragma once

#include <memory>

// Server types of a column, as GetFieldServerType reports them.
constexpr short kServerTypeChar = 1;
constexpr short kServerTypeFixedChar = 96;
constexpr short kServerTypeNumber = 2;
constexpr short kServerTypeDate = 12;
constexpr short kServerTypeOther = 0;   // anything the program does not convert

// One open result set of a driver, stepped forward only.
class DbCursor {
 public:
  virtual ~DbCursor() = default;
  // Move to the next row; false when there is none (or on an error).
  virtual bool step() = 0;
  // Go back before the first row (re-running the statement if need be).
  virtual void rewind() = 0;
  virtual int columnCount() = 0;
  virtual short serverType(int column) = 0;
  virtual bool isNull(int column) = 0;
  // The value's text (dates as "mm/dd/yyyy hh:mi:ss"); valid until the next
  // call on this cursor.
  virtual const char *text(int column) = 0;
  virtual double real(int column) = 0;
  virtual long integer(int column) = 0;
};

// One connection of a driver.
class DbDriver {
 public:
  virtual ~DbDriver() = default;
  // 0 on success.
  virtual int connect(const char *database, const char *user, const char *password) = 0;
  virtual int execute(const char *sql) = 0;
  // A new cursor, before its first row; nullptr on a server error.
  virtual std::unique_ptr<DbCursor> open(const char *sql) = 0;
  virtual int begin() = 0;
  virtual int commit() = 0;
  virtual int rollback() = 0;
  virtual void close() = 0;
  virtual long errorNumber() = 0;
  virtual const char *errorText() = 0;
};

// The driver a connect string's database name selects, or nullptr when that
// driver is not built in.
std::unique_ptr<DbDriver> selectDriver(const char *database);

void OStartup(int mode);

class ODatabase;

class OSession {
 public:
  int BeginTransaction();
  int Commit(int startNew);
  int Rollback(int startNew);

 private:
  friend class ODatabase;
  DbDriver *driver_ = nullptr;
};

class ODatabase {
 public:
  int Open(const char *database, const char *user, const char *password, long options);
  int ExecuteSQL(const char *sql);
  OSession GetSession();
  void Close();
  bool IsOpen() const { return driver_ != nullptr; }
  long ServerErrorNumber() const;
  const char *GetServerErrorText() const;
  DbDriver *driver() const { return driver_.get(); }

 private:
  std::unique_ptr<DbDriver> driver_;
};

class OValue;

class ODynaset {
 public:
  int Open(ODatabase &database, const char *sql, long options);
  int MoveFirst();
  int MoveNext(int dummy = 1);
  int IsEOF() const;
  void Close();
  bool IsOpen() const { return cursor_ != nullptr; }
  int GetFieldCount();
  int GetFieldValue(int column, OValue *value);
  short GetFieldServerType(int column);
  long GetRecordCount();
  const char *GetSQL() const;

 private:
  std::unique_ptr<DbCursor> cursor_;
  bool eof_ = true;
  bool positioned_ = false;             // MoveFirst has run
  char sql_[2000] = {};                 // statement text, for GetSQL
};

// A field value: a view of one column of the current row of a result set.
class OValue {
 public:
  int IsNull() const;
  operator const char *() const;
  operator double() const;
  operator long() const;

 private:
  friend class ODynaset;
  DbCursor *cursor_ = nullptr;
  int column_ = 0;
};
