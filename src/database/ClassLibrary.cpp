// The class library layer: connection, session, result sets and field
// values over whichever driver the database name selects. The layer keeps
// the caller's view (a result set stands on a row or at its end, a field
// value reads the row the set stands on); the drivers do the server work.
#include "database/ClassLibrary.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "driver/Messages.h"
#include "driver/Modules.h"

namespace {

constexpr const char kSqlitePrefix[] = "sqlite:";
constexpr const char kOdbcPrefix[] = "odbc:";
constexpr const char kPgPrefix[] = "pg:";
constexpr const char *kPgUriPrefixes[] = {"postgresql://", "postgres://"};
constexpr const char kMyPrefix[] = "my:";
constexpr const char *kMyUriPrefixes[] = {"mariadb://", "mysql://"};
constexpr const char *kSqliteSuffixes[] = {".db", ".sqlite", ".sqlite3"};

bool startsWith(const char *text, const char *prefix) {
  return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

bool endsWith(const char *text, const char *suffix) {
  size_t length = std::strlen(text), suffixLength = std::strlen(suffix);
  return length >= suffixLength && strcasecmp(text + length - suffixLength, suffix) == 0;
}

bool namesSqlite(const char *database) {
  if (startsWith(database, kSqlitePrefix)) return true;
  if (startsWith(database, kOdbcPrefix)) return false;
  for (const char *suffix : kSqliteSuffixes) {
    if (endsWith(database, suffix)) return true;
  }
  return false;
}

bool namesPostgres(const char *database) {
  if (startsWith(database, kPgPrefix)) return true;
  for (const char *prefix : kPgUriPrefixes) {
    if (startsWith(database, prefix)) return true;
  }
  return false;
}

bool namesMariadb(const char *database) {
  if (startsWith(database, kMyPrefix)) return true;
  for (const char *prefix : kMyUriPrefixes) {
    if (startsWith(database, prefix)) return true;
  }
  return false;
}

}  // namespace

// --- Driver choice ------------------------------------------------------------

std::unique_ptr<DbDriver> selectDriver(const char *database, std::string *why) {
  std::string ignored;
  if (why == nullptr) why = &ignored;
  if (database == nullptr || database[0] == 0) return nullptr;
  if (namesSqlite(database)) return makeSqliteDriver();
  if (namesPostgres(database)) return makePgDriver(why);
  if (namesMariadb(database)) return makeMyDriver(why);
  return makeOdbcDriver(why);
}

// The server drivers are modules (their client libraries are large): a job
// that does not connect to a server never maps them.
static std::unique_ptr<DbDriver> loadDriver(const char *what, const char *file, const char *entry,
                                            std::string *why) {
  using Make = DbDriver *(*)();
  auto make = reinterpret_cast<Make>(moduleEntry(what, file, entry, why));
  return std::unique_ptr<DbDriver>(make ? make() : nullptr);
}

std::unique_ptr<DbDriver> makePgDriver(std::string *why) {
  return loadDriver("PostgreSQL", "kelvordantix-pg.so", "kelvordantixMakePgDriver", why);
}

std::unique_ptr<DbDriver> makeMyDriver(std::string *why) {
  return loadDriver("MariaDB", "kelvordantix-mariadb.so", "kelvordantixMakeMyDriver", why);
}

std::unique_ptr<DbDriver> makeOdbcDriver(std::string *why) {
  return loadDriver("ODBC", "kelvordantix-odbc.so", "kelvordantixMakeOdbcDriver", why);
}

bool namesDatabaseByForm(const char *text) {
  if (text == nullptr) return false;
  if (startsWith(text, kSqlitePrefix) || startsWith(text, kOdbcPrefix)) return true;
  if (namesPostgres(text) || namesMariadb(text)) return true;
  // A file name: user@x.db is still a user and a database.
  return namesSqlite(text) && std::strchr(text, '@') == nullptr;
}

bool driverTakesPassword(const char *database) { return database == nullptr || !namesSqlite(database); }

const char *driverDatabaseName(const char *database) {
  if (database == nullptr) return "";
  if (startsWith(database, kSqlitePrefix)) return database + std::strlen(kSqlitePrefix);
  if (startsWith(database, kOdbcPrefix)) return database + std::strlen(kOdbcPrefix);
  if (startsWith(database, kPgPrefix)) return database + std::strlen(kPgPrefix);
  if (startsWith(database, kMyPrefix)) return database + std::strlen(kMyPrefix);
  return database;
}

void appendLiteral(std::string &out, const char *value, LiteralForm form) {
  bool doubleBackslash = form == LiteralForm::BackslashEscape ||
                         (form == LiteralForm::PostgresEscape && std::strchr(value, '\\') != nullptr);
  if (doubleBackslash && form == LiteralForm::PostgresEscape) out += 'E';
  out += '\'';
  for (const char *p = value; *p; ++p) {
    if (*p == '\'' || (doubleBackslash && *p == '\\')) out += *p;
    out += *p;
  }
  out += '\'';
}

// The library needs no start-up of its own; the call is kept for its place
// in the job's order.
void OStartup(int) {}

// --- OSession -------------------------------------------------------------------

int OSession::BeginTransaction() {
  std::shared_ptr<DbDriver> driver = driver_.lock();
  return driver ? driver->begin() : 1;
}

int OSession::Commit(int startNew) {
  std::shared_ptr<DbDriver> driver = driver_.lock();
  if (!driver) return 1;
  int result = driver->commit();
  if (startNew) driver->begin();
  return result;
}

int OSession::Rollback(int startNew) {
  std::shared_ptr<DbDriver> driver = driver_.lock();
  if (!driver) return 1;
  int result = driver->rollback();
  if (startNew) driver->begin();
  return result;
}

// --- ODatabase ------------------------------------------------------------------

// Why a connection failed, without the passwords of the attempt: the one
// given and those written in the database name, wherever the text shows
// them (a client library may quote a piece of a URI on its own).
void ODatabase::keepConnectError(long number, const char *text, const char *database, const char *password) {
  std::string shown = text;
  maskSecret(shown, password ? password : "");
  for (const std::string &written : findPasswords(database)) maskSecret(shown, written);
  maskPasswords(shown);
  connectErrorNumber_ = number;
  std::snprintf(connectErrorText_, sizeof connectErrorText_, "%s", shown.c_str());
  explicit_bzero(shown.data(), shown.size());
}

// Connect with the driver the name selects. A failure keeps the driver's
// reason for ServerErrorNumber and GetServerErrorText.
int ODatabase::Open(const char *database, const char *user, const char *password, long options) {
  Close();
  connectErrorNumber_ = 0;
  connectErrorText_[0] = 0;
  std::string why;
  std::unique_ptr<DbDriver> driver = selectDriver(database, &why);
  if (!driver) {
    // No name, or a driver whose module is missing or does not load.
    keepConnectError(-1, why.empty() ? messageText(Msg::ConnectNoDatabaseNamed) : why.c_str(), database, password);
    return 1;
  }
  return Open(std::move(driver), driverDatabaseName(database), user, password, options);
}

int ODatabase::Open(std::unique_ptr<DbDriver> driver, const char *database, const char *user, const char *password,
                    long options) {
  Close();
  connectErrorNumber_ = 0;
  connectErrorText_[0] = 0;
  driver->setOracleSql((options & kOpenNativeSql) == 0);
  if (driver->connect(database, user ? user : "", password ? password : "") != 0) {
    keepConnectError(driver->errorNumber(), driver->errorText(), database, password);
    driver->close();
    return 1;
  }
  driver_ = std::move(driver);
  watchForInterrupt(driver_.get());
  return 0;
}

// A connection that outlives its object is never interrupted.
ODatabase::~ODatabase() {
  if (driver_) unwatchForInterrupt(driver_.get());
}

int ODatabase::ExecuteSQL(const char *sql) {
  if (!driver_) return 1;
  return driver_->execute(sql ? sql : "");
}

bool ODatabase::QuoteText(const char *value, std::string &out) {
  if (driver_) return driver_->quoteText(value, out);
  appendLiteral(out, value, LiteralForm::Standard);
  return true;
}

OSession ODatabase::GetSession() {
  OSession session;
  session.driver_ = driver_;
  return session;
}

// The driver closes its cursors with the connection, so result sets left
// open are harmless; sessions lose their connection with the driver.
void ODatabase::Close() {
  if (!driver_) return;
  unwatchForInterrupt(driver_.get());
  driver_->close();
  driver_.reset();
}

long ODatabase::ServerErrorNumber() const {
  return driver_ ? driver_->errorNumber() : connectErrorNumber_;
}

const char *ODatabase::GetServerErrorText() const {
  if (!driver_) return connectErrorText_;
  shownError_ = driver_->errorText();
  maskPasswords(shownError_);
  return shownError_.c_str();
}

const char *ODatabase::GetServerErrorCause() const {
  if (!driver_) return "";
  shownCause_ = driver_->errorCause();
  maskPasswords(shownCause_);
  return shownCause_.c_str();
}

const char *ODatabase::ProductName() const { return driver_ ? driver_->productName() : "ORACLE"; }

SqlDialect ODatabase::Dialect() const {
  SqlDialect dialect;
  if (!driver_ || !driver_->oracleSql()) return dialect;
  dialect.backend = backendOf(driver_->productName());
  dialect.orafce = driver_->hasOrafce();
  dialect.dualHasSysdate = driver_->dualHasSysdate();
  return dialect;
}

// --- ODynaset -------------------------------------------------------------------

// Step onto the next row; a failing row ends the rows and is reported.
int ODynaset::step() {
  switch (cursor_->step()) {
    case StepResult::Row:
      eof_ = false;
      return 0;
    case StepResult::Done:
      eof_ = true;
      return 0;
    case StepResult::Error:
      eof_ = true;
      return 1;
  }
  return 1;
}

// Step onto the first row after an open or a rewind.
int ODynaset::stepFirst() {
  onFirst_ = true;
  return step();
}

int ODynaset::Open(ODatabase &database, const char *sql, long) {
  Close();
  std::snprintf(sql_, sizeof sql_, "%s", sql ? sql : "");
  if (!database.driver()) return 1;
  cursor_ = database.driver()->open(sql ? sql : "");
  if (!cursor_) return 1;
  columnCount_ = cursor_->columnCount();
  // Executing at once lets a statement that fails at run time fail here,
  // where the caller reports server errors.
  if (stepFirst() != 0) {
    cursor_.reset();
    columnCount_ = 0;
    return 1;
  }
  return 0;
}

int ODynaset::MoveFirst() {
  if (!cursor_) return 1;
  if (onFirst_) return 0;
  cursor_->rewind();
  return stepFirst();
}

int ODynaset::MoveNext(int) {
  if (!cursor_) return 1;
  if (eof_) return 0;
  onFirst_ = false;
  return step();
}

int ODynaset::IsEOF() const { return (!cursor_ || eof_) ? 1 : 0; }

void ODynaset::Close() {
  ++generation_;
  cursor_.reset();
  columnCount_ = 0;
  eof_ = true;
  onFirst_ = false;
}

int ODynaset::GetFieldCount() { return columnCount_; }

ODynaset::~ODynaset() {
  if (self_) *self_ = nullptr;
}

// Binds the value to a column; it reads whatever row the set stands on.
// Binding again to the same set (the row path) copies no handle.
int ODynaset::GetFieldValue(int column, OValue *value) {
  if (value == nullptr) return 1;
  if (!self_) self_ = std::make_shared<ODynaset *>(this);
  if (value->set_ != self_) value->set_ = self_;
  value->generation_ = generation_;
  value->column_ = column;
  if (!cursor_ || column < 0 || column >= columnCount_) {
    ++value->generation_;               // reads as null until bound again
    return 1;
  }
  return 0;
}

short ODynaset::GetFieldServerType(int column) {
  if (!cursor_ || eof_ || column < 0 || column >= columnCount_) return kServerTypeOther;
  return cursor_->serverType(column);
}

long ODynaset::GetRecordCount() {
  if (!cursor_) return 0;
  if (onFirst_ && eof_) return 0;
  cursor_->rewind();
  long count = 0;
  while (cursor_->step() == StepResult::Row) ++count;
  cursor_->rewind();
  stepFirst();
  return count;
}

const char *ODynaset::GetSQL() const { return sql_; }

// --- OValue ---------------------------------------------------------------------

// The cursor the value reads, or nullptr when its set has moved on to
// another statement, been closed or destroyed, or stands at its end.
DbCursor *OValue::cursor() const {
  const ODynaset *set = set_ ? *set_ : nullptr;
  if (set == nullptr || set->generation_ != generation_ || set->eof_) return nullptr;
  return set->cursor_.get();
}

int OValue::IsNull() const {
  DbCursor *cursor = this->cursor();
  return (cursor == nullptr || cursor->isNull(column_)) ? 1 : 0;
}

OValue::operator const char *() const {
  DbCursor *cursor = this->cursor();
  return cursor ? cursor->text(column_) : "";
}

OValue::operator double() const {
  DbCursor *cursor = this->cursor();
  return cursor ? cursor->real(column_) : 0.0;
}

OValue::operator long() const {
  DbCursor *cursor = this->cursor();
  return cursor ? cursor->integer(column_) : 0;
}
