// What every driver promises the class library, one test body run on each
// backend: values and their server types, nulls and dates, long values,
// several result sets at once on one connection, transactions seen from a
// second connection and ended in the middle of a result set, errors kept
// and cleared, a row failing after others, an interrupted query, and
// objects outliving their connection.
//
// SQLite runs always, SQLite through its ODBC driver when libsqliteodbc is
// installed. The server backends run when the environment names their
// database (contract_servers.sh starts throwaway servers and sets it):
//   KELVORDANTIX_TEST_PG          PostgreSQL through libpq (a connect name)
//   KELVORDANTIX_TEST_PG_ODBC     PostgreSQL through psqlODBC ("odbc:DSN")
//   KELVORDANTIX_TEST_MY          MariaDB through Connector/C
//   KELVORDANTIX_TEST_MY_ODBC     MariaDB through Connector/ODBC
// each with user scott, password tiger. Where drivers legitimately differ,
// the difference is a field of the backend's row in kBackends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "database/ClassLibrary.h"

namespace {

enum class Reach { SqliteFile, SqliteOdbc, Environment };

struct Backend {
  const char *name;
  Reach reach;
  const char *variable;                 // Environment: the variable naming the database
  bool built;                           // the driver is part of this build
  const char *product;                  // ProductName once connected
  // Column types written in the table definitions.
  const char *timestampType;
  // CHAR(5) holding 'ab': its server type and its text.
  short charType;
  const char *charText;
  // The server's error number for a table that does not exist (0: any
  // non-zero number), and how its text starts ("" : anyhow).
  long missingTableNumber;
  const char *errorStart;
  // Over kc_e (k = 1, 2, 3 in this order) a query whose row k = 3 fails
  // while the statement runs.
  const char *failingRowQuery;
  // A query that runs until it is interrupted.
  const char *longQuery;
};

#ifdef KELVORDANTIX_HAVE_ODBC
constexpr bool kOdbc = true;
#else
constexpr bool kOdbc = false;
#endif
#ifdef KELVORDANTIX_HAVE_LIBPQ
constexpr bool kLibpq = true;
#else
constexpr bool kLibpq = false;
#endif
#ifdef KELVORDANTIX_HAVE_MARIADB
constexpr bool kMariadb = true;
#else
constexpr bool kMariadb = false;
#endif

constexpr const char kSqliteFailingRow[] =
    "SELECT CASE WHEN k = 3 THEN abs(-9223372036854775805 - k) ELSE k END FROM kc_e ORDER BY k";
constexpr const char kSqliteLong[] =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 500000000) SELECT count(*) FROM c";
constexpr const char kPgFailingRow[] = "SELECT 10 / (k - 3) FROM kc_e";
constexpr const char kMyFailingRow[] = "SELECT CASE WHEN k = 3 THEN (SELECT 1 UNION SELECT 2) ELSE k END FROM kc_e";
constexpr const char kMyLong[] = "SELECT sum(a.seq * b.seq) FROM seq_1_to_100000 a, seq_1_to_100000 b";

const Backend kBackends[] = {
    {"Sqlite", Reach::SqliteFile, nullptr, true, "SQLITE", "TIMESTAMP", kServerTypeFixedChar, "ab", 1,
     "no such table", kSqliteFailingRow, kSqliteLong},
    // libsqliteodbc describes CHAR(n) as VARCHAR.
    {"SqliteOdbc", Reach::SqliteOdbc, nullptr, kOdbc, "SQLITE", "TIMESTAMP", kServerTypeChar, "ab", 1, "[",
     kSqliteFailingRow, kSqliteLong},
    {"PgLibpq", Reach::Environment, "KELVORDANTIX_TEST_PG", kLibpq, "POSTGRESQL", "TIMESTAMP",
     kServerTypeFixedChar, "ab   ", 1, "", kPgFailingRow, "SELECT pg_sleep(60)"},
    {"PgOdbc", Reach::Environment, "KELVORDANTIX_TEST_PG_ODBC", kOdbc, "POSTGRESQL", "TIMESTAMP",
     kServerTypeFixedChar, "ab   ", 0, "[", kPgFailingRow, "SELECT pg_sleep(60)"},
    {"MariadbNative", Reach::Environment, "KELVORDANTIX_TEST_MY", kMariadb, "MARIADB", "DATETIME",
     kServerTypeFixedChar, "ab", 1146, "", kMyFailingRow, kMyLong},
    {"MariadbOdbc", Reach::Environment, "KELVORDANTIX_TEST_MY_ODBC", kOdbc, "MARIADB", "DATETIME",
     kServerTypeFixedChar, "ab", 1146, "[", kMyFailingRow, kMyLong},
};

const char *sqliteOdbcDriver() {
  static const char *const kPaths[] = {
      "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so", "/usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so",
      "/usr/lib/odbc/libsqlite3odbc.so", "/usr/lib64/libsqlite3odbc.so"};
  for (const char *path : kPaths) {
    if (access(path, R_OK) == 0) return path;
  }
  return nullptr;
}

void PrintTo(const Backend &backend, std::ostream *out) { *out << backend.name; }

class DriverContract : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    const Backend &b = GetParam();
    if (!b.built) GTEST_SKIP() << b.name << ": driver not built";
    if (b.reach == Reach::Environment) {
      const char *name = std::getenv(b.variable);
      if (!name || !*name) GTEST_SKIP() << b.variable << " names no database (contract_servers.sh sets it)";
      name_ = name;
      user_ = "scott";
      password_ = "tiger";
      return;
    }
    char pattern[] = "/tmp/kelvordantix_contract_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::string path = dir_ + "/contract.db";
    if (b.reach == Reach::SqliteFile) {
      name_ = "sqlite:" + path;
      // The driver opens existing files only.
      FILE *f = std::fopen(path.c_str(), "w");
      ASSERT_NE(f, nullptr);
      std::fclose(f);
    } else {
      const char *driver = sqliteOdbcDriver();
      if (!driver) GTEST_SKIP() << "SQLite ODBC driver (libsqliteodbc) not installed";
      name_ = std::string("odbc:DRIVER=") + driver + ";Database=" + path;
    }
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf " + dir_).c_str());
  }

  void connect(ODatabase &db) {
    ASSERT_EQ(db.Open(name_.c_str(), user_.c_str(), password_.c_str(), 0), 0) << db.GetServerErrorText();
  }
  void run(ODatabase &db, const std::string &sql) {
    ASSERT_EQ(db.ExecuteSQL(sql.c_str()), 0) << sql << ": " << db.GetServerErrorText();
  }
  // Tables made afresh and committed (the server backends share one
  // database between the tests).
  void tables(ODatabase &db, std::vector<std::string> definitions) {
    for (const std::string &definition : definitions) {
      std::string name = definition.substr(13, definition.find(' ', 13) - 13);
      run(db, "DROP TABLE IF EXISTS " + name);
      run(db, definition);
    }
    ASSERT_EQ(db.GetSession().Commit(0), 0) << db.GetServerErrorText();
  }
  // The first column of the first row as text ("<error> ...", "<none>",
  // "<null>"); the reading connection's transaction ends after it, so that
  // it sees the latest committed state next time.
  std::string first(ODatabase &db, const std::string &sql) {
    std::string text;
    {
      ODynaset set;
      OValue value;
      if (set.Open(db, sql.c_str(), 0) != 0) {
        text = std::string("<error> ") + db.GetServerErrorText();
      } else if (set.IsEOF()) {
        text = "<none>";
      } else {
        set.GetFieldValue(0, &value);
        text = value.IsNull() ? "<null>" : static_cast<const char *>(value);
      }
    }
    db.GetSession().Rollback(0);
    return text;
  }
  long count(ODatabase &db, const char *table) {
    return std::atol(first(db, std::string("SELECT count(*) FROM ") + table).c_str());
  }

  std::string dir_, name_, user_, password_;
};

TEST_P(DriverContract, ServerTypesValuesNullsAndDates) {
  const Backend &b = GetParam();
  ODatabase db;
  connect(db);
  EXPECT_STREQ(db.ProductName(), b.product);
  tables(db, {std::string("CREATE TABLE kc_v (c CHAR(5), vc VARCHAR(10), num NUMERIC(7,2), i INTEGER, r REAL, "
                          "d DATE, ts ") + b.timestampType + ")"});
  run(db, "INSERT INTO kc_v VALUES ('ab', 'xyz', 1234.5, -42, 0.25, '1980-12-17', '1999-03-07 10:05:09')");
  run(db, "INSERT INTO kc_v VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
  ODynaset set;
  ASSERT_EQ(set.Open(db, "SELECT c, vc, num, i, r, d, ts FROM kc_v ORDER BY i DESC", 0), 0)
      << db.GetServerErrorText();
  ASSERT_EQ(set.GetFieldCount(), 7);
  const short types[] = {b.charType,        kServerTypeChar, kServerTypeNumber, kServerTypeNumber,
                         kServerTypeNumber, kServerTypeDate, kServerTypeDate};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(set.GetFieldServerType(i), types[i]) << "column " << i;

  // Rows sort nulls in different places: find the row with values.
  OValue value;
  set.GetFieldValue(3, &value);
  if (value.IsNull()) {
    ASSERT_EQ(set.MoveNext(), 0);
  }
  set.GetFieldValue(0, &value);
  EXPECT_STREQ(static_cast<const char *>(value), b.charText);
  set.GetFieldValue(1, &value);
  EXPECT_STREQ(static_cast<const char *>(value), "xyz");
  set.GetFieldValue(2, &value);
  EXPECT_DOUBLE_EQ(static_cast<double>(value), 1234.5);
  EXPECT_EQ(static_cast<long>(value), 1234);
  set.GetFieldValue(3, &value);
  EXPECT_EQ(static_cast<long>(value), -42);
  EXPECT_STREQ(static_cast<const char *>(value), "-42");
  set.GetFieldValue(4, &value);
  EXPECT_DOUBLE_EQ(static_cast<double>(value), 0.25);
  set.GetFieldValue(5, &value);
  EXPECT_STREQ(static_cast<const char *>(value), "12/17/1980 00:00:00");
  set.GetFieldValue(6, &value);
  EXPECT_STREQ(static_cast<const char *>(value), "03/07/1999 10:05:09");
  EXPECT_EQ(value.IsNull(), 0);

  ASSERT_EQ(set.Open(db, "SELECT c, vc, num, i, r, d, ts FROM kc_v WHERE i IS NULL", 0), 0);
  ASSERT_EQ(set.IsEOF(), 0);
  for (int i = 0; i < 7; ++i) {
    set.GetFieldValue(i, &value);
    EXPECT_EQ(value.IsNull(), 1) << "column " << i;
    EXPECT_STREQ(static_cast<const char *>(value), "") << "column " << i;
    EXPECT_EQ(static_cast<long>(value), 0) << "column " << i;
  }
  ASSERT_EQ(set.MoveNext(), 0);
  EXPECT_EQ(set.IsEOF(), 1);
  EXPECT_EQ(value.IsNull(), 1);
  set.Close();
  EXPECT_EQ(value.IsNull(), 1);
}

// A value longer than any one read of a driver arrives whole, in order.
TEST_P(DriverContract, LongValueArrivesWhole) {
  ODatabase db;
  connect(db);
  tables(db, {"CREATE TABLE kc_l (v TEXT)"});
  std::string text = std::string(9000, 'a') + "b" + std::string(999, 'c');
  run(db, "INSERT INTO kc_l VALUES ('" + text + "')");
  EXPECT_EQ(first(db, "SELECT v FROM kc_l"), text);
}

// Result sets on one connection step on their own, with statements run
// between their rows; a record count runs the query again and leaves the
// set on its first row.
TEST_P(DriverContract, NestedSetsAndRecordCount) {
  ODatabase db;
  connect(db);
  tables(db, {"CREATE TABLE kc_d (n INTEGER)", "CREATE TABLE kc_log (n INTEGER)"});
  run(db, "INSERT INTO kc_d VALUES (1)");
  run(db, "INSERT INTO kc_d VALUES (2)");
  run(db, "INSERT INTO kc_d VALUES (3)");
  ODynaset outer, inner, other;
  ASSERT_EQ(outer.Open(db, "SELECT n FROM kc_d ORDER BY n", 0), 0) << db.GetServerErrorText();
  ASSERT_EQ(other.Open(db, "SELECT n FROM kc_d ORDER BY n DESC", 0), 0) << db.GetServerErrorText();
  OValue a, b, c;
  other.GetFieldValue(0, &c);
  std::string seen;
  while (!outer.IsEOF()) {
    outer.GetFieldValue(0, &a);
    long n = static_cast<long>(a);
    std::string sql = "SELECT n * 10 FROM kc_d WHERE n <= " + std::to_string(n) + " ORDER BY n";
    ASSERT_EQ(inner.Open(db, sql.c_str(), 0), 0) << db.GetServerErrorText();
    for (; !inner.IsEOF(); inner.MoveNext()) {
      inner.GetFieldValue(0, &b);
      seen += std::to_string(static_cast<long>(b)) + " ";
    }
    seen += "(" + std::to_string(static_cast<long>(c)) + ") ";
    run(db, "INSERT INTO kc_log VALUES (" + std::to_string(n) + ")");
    ASSERT_EQ(other.MoveNext(), 0) << db.GetServerErrorText();
    ASSERT_EQ(outer.MoveNext(), 0) << db.GetServerErrorText();
  }
  EXPECT_EQ(seen, "10 (3) 10 20 (2) 10 20 30 (1) ");
  EXPECT_EQ(other.IsEOF(), 1);

  ASSERT_EQ(outer.Open(db, "SELECT n FROM kc_d ORDER BY n", 0), 0);
  EXPECT_EQ(outer.MoveFirst(), 0);
  ASSERT_EQ(outer.MoveNext(), 0);
  EXPECT_EQ(outer.GetRecordCount(), 3);
  outer.GetFieldValue(0, &a);
  EXPECT_EQ(static_cast<long>(a), 1);
  ASSERT_EQ(outer.MoveNext(), 0);
  EXPECT_EQ(static_cast<long>(a), 2);
  ASSERT_EQ(outer.Open(db, "SELECT n FROM kc_d WHERE n > 5", 0), 0);
  EXPECT_EQ(outer.IsEOF(), 1);
  EXPECT_EQ(outer.GetRecordCount(), 0);
  EXPECT_EQ(count(db, "kc_log"), 3);
}

// Work is seen by another connection once committed; a rollback and a
// close discard it; commit and rollback with nothing open succeed.
TEST_P(DriverContract, TransactionsSeenFromAnotherConnection) {
  ODatabase db, watcher;
  connect(db);
  tables(db, {"CREATE TABLE kc_t (n INTEGER)"});
  connect(watcher);
  OSession session = db.GetSession();
  EXPECT_EQ(session.Commit(0), 0);
  EXPECT_EQ(session.Rollback(0), 0);
  ASSERT_EQ(session.BeginTransaction(), 0);
  run(db, "INSERT INTO kc_t VALUES (1)");
  EXPECT_EQ(count(watcher, "kc_t"), 0);
  ASSERT_EQ(session.Commit(0), 0) << db.GetServerErrorText();
  EXPECT_EQ(count(watcher, "kc_t"), 1);

  ASSERT_EQ(session.BeginTransaction(), 0);
  run(db, "INSERT INTO kc_t VALUES (2)");
  ASSERT_EQ(session.Rollback(0), 0);
  EXPECT_EQ(count(watcher, "kc_t"), 1);

  // Commit with startNew goes on in a new transaction; an update that
  // touches no row is no error; closing rolls back what is open.
  ASSERT_EQ(session.BeginTransaction(), 0);
  run(db, "INSERT INTO kc_t VALUES (3)");
  ASSERT_EQ(session.Commit(1), 0) << db.GetServerErrorText();
  run(db, "UPDATE kc_t SET n = 5 WHERE n = 99");
  run(db, "INSERT INTO kc_t VALUES (4)");
  ODynaset open;
  ASSERT_EQ(open.Open(db, "SELECT n FROM kc_t", 0), 0);
  db.Close();
  db.Close();
  EXPECT_EQ(first(watcher, "SELECT sum(n) FROM kc_t"), "4");
  EXPECT_NE(session.Commit(0), 0);
  EXPECT_NE(session.Rollback(0), 0);
  EXPECT_EQ(open.MoveNext(), 0);
  EXPECT_EQ(open.IsEOF(), 1);
}

// .COMMIT and .ROLLBACK in a report's body end the transaction while the
// report's query is half read: the query goes on, over its own rows.
TEST_P(DriverContract, TransactionEndsInTheMiddleOfAResultSet) {
  ODatabase db;
  connect(db);
  tables(db, {"CREATE TABLE kc_t (k INTEGER)", "CREATE TABLE kc_log (k INTEGER)"});
  for (int k = 1; k <= 4; ++k) run(db, "INSERT INTO kc_t VALUES (" + std::to_string(k) + ")");
  OSession session = db.GetSession();
  ASSERT_EQ(session.Commit(0), 0);
  ASSERT_EQ(session.BeginTransaction(), 0);
  ODynaset set;
  ASSERT_EQ(set.Open(db, "SELECT k FROM kc_t ORDER BY k", 0), 0);
  OValue value;
  std::string seen;
  while (!set.IsEOF()) {
    set.GetFieldValue(0, &value);
    long k = static_cast<long>(value);
    seen += std::to_string(k);
    run(db, "INSERT INTO kc_log VALUES (" + std::to_string(k) + ")");
    if (k % 2) {
      EXPECT_EQ(session.Commit(0), 0) << db.GetServerErrorText();
    } else {
      EXPECT_EQ(session.Rollback(0), 0) << db.GetServerErrorText();
    }
    ASSERT_EQ(session.BeginTransaction(), 0) << db.GetServerErrorText();
    ASSERT_EQ(set.MoveNext(), 0) << db.GetServerErrorText();
  }
  EXPECT_EQ(seen, "1234");
  EXPECT_EQ(first(db, "SELECT sum(k) FROM kc_log"), "4");
}

// A failed statement keeps the server's error until the next statement;
// a rollback after it leaves the connection as good as new.
TEST_P(DriverContract, ErrorsAreKeptAndCleared) {
  const Backend &b = GetParam();
  ODatabase db;
  connect(db);
  tables(db, {"CREATE TABLE kc_t (n INTEGER)"});
  OSession session = db.GetSession();
  ASSERT_EQ(session.BeginTransaction(), 0);
  run(db, "INSERT INTO kc_t VALUES (1)");
  EXPECT_NE(db.ExecuteSQL("INSERT INTO kc_nosuch VALUES (1)"), 0);
  std::string text = db.GetServerErrorText();
  if (b.missingTableNumber) {
    EXPECT_EQ(db.ServerErrorNumber(), b.missingTableNumber) << text;
  } else {
    EXPECT_NE(db.ServerErrorNumber(), 0) << text;
  }
  EXPECT_NE(text.find("kc_nosuch"), std::string::npos) << text;
  EXPECT_EQ(text.rfind(b.errorStart, 0), 0u) << text;
  EXPECT_EQ(session.Rollback(0), 0) << db.GetServerErrorText();
  EXPECT_EQ(count(db, "kc_t"), 0);

  ODynaset set;
  EXPECT_NE(set.Open(db, "SELECT n FROM kc_nowhere", 0), 0);
  EXPECT_NE(db.ServerErrorNumber(), 0);
  EXPECT_NE(std::string(db.GetServerErrorText()).find("kc_nowhere"), std::string::npos) << db.GetServerErrorText();
  EXPECT_FALSE(set.IsOpen());
  EXPECT_EQ(set.IsEOF(), 1);
  EXPECT_STREQ(set.GetSQL(), "SELECT n FROM kc_nowhere");
  EXPECT_EQ(session.Rollback(0), 0);
  run(db, "INSERT INTO kc_t VALUES (2)");
  EXPECT_EQ(db.ServerErrorNumber(), 0);
  EXPECT_STREQ(db.GetServerErrorText(), "");
  EXPECT_EQ(session.Commit(0), 0) << db.GetServerErrorText();
  EXPECT_EQ(count(db, "kc_t"), 1);

  // describe: the statement is prepared, not run; a bad one fails.
  std::vector<short> types;
  EXPECT_EQ(db.driver()->describe("SELECT n, n + 1 FROM kc_t", &types), 0) << db.driver()->errorText();
  EXPECT_EQ(types.size(), 2u);
  EXPECT_EQ(db.driver()->describe("DELETE FROM kc_t", &types), 0) << db.driver()->errorText();
  EXPECT_TRUE(types.empty());
  EXPECT_NE(db.driver()->describe("SELECT nosuch FROM kc_t", &types), 0);
  EXPECT_STRNE(db.driver()->errorText(), "");
  EXPECT_EQ(session.Rollback(0), 0);
  EXPECT_EQ(count(db, "kc_t"), 1);
}

// A row that fails after others is a server error of the open or of a
// MoveNext (a driver may read ahead), never a quiet end of the rows.
TEST_P(DriverContract, RowFailingAfterOthers) {
  const Backend &b = GetParam();
  ODatabase db;
  connect(db);
  tables(db, {"CREATE TABLE kc_e (k INTEGER)"});
  for (int k = 1; k <= 3; ++k) run(db, "INSERT INTO kc_e VALUES (" + std::to_string(k) + ")");
  ASSERT_EQ(db.GetSession().Commit(0), 0);
  ODynaset set;
  int rows = 0;
  bool failed = set.Open(db, b.failingRowQuery, 0) != 0;
  while (!failed && !set.IsEOF()) {
    ++rows;
    failed = set.MoveNext() != 0;
  }
  EXPECT_TRUE(failed) << rows << " rows and no error";
  EXPECT_LE(rows, 2);
  EXPECT_NE(db.ServerErrorNumber(), 0);
  EXPECT_STRNE(db.GetServerErrorText(), "");
  EXPECT_EQ(set.IsEOF(), 1);
  EXPECT_EQ(db.GetSession().Rollback(0), 0);
  EXPECT_EQ(count(db, "kc_e"), 3);
}

// A long query comes back soon after the open databases are interrupted,
// with an error; the connection serves the next statement.
TEST_P(DriverContract, InterruptEndsALongQuery) {
  const Backend &b = GetParam();
  ODatabase db;
  connect(db);
  std::atomic<bool> done{false};
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    while (!done.load()) {
      interruptDatabases();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  auto start = std::chrono::steady_clock::now();
  ODynaset set;
  bool failed = set.Open(db, b.longQuery, 0) != 0;
  while (!failed && !set.IsEOF()) failed = set.MoveNext() != 0;
  done.store(true);
  other.join();
  EXPECT_TRUE(failed);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_NE(db.ServerErrorNumber(), 0);
  EXPECT_EQ(db.GetSession().Rollback(0), 0) << db.GetServerErrorText();
  EXPECT_EQ(first(db, "SELECT 7"), "7");
}

// Result sets and values left open when the connection closes read as no
// row; a driver destroyed before its cursor leaves the cursor harmless.
TEST_P(DriverContract, ObjectsOutliveTheConnection) {
  {
    ODatabase db;
    connect(db);
    tables(db, {"CREATE TABLE kc_t (n INTEGER)"});
    run(db, "INSERT INTO kc_t VALUES (7)");
    run(db, "INSERT INTO kc_t VALUES (8)");
    ASSERT_EQ(db.GetSession().Commit(0), 0);
  }
  {
    auto db = std::make_unique<ODatabase>();
    connect(*db);
    ODynaset set;
    ASSERT_EQ(set.Open(*db, "SELECT n FROM kc_t ORDER BY n", 0), 0);
    OValue value;
    set.GetFieldValue(0, &value);
    EXPECT_EQ(static_cast<long>(value), 7);
    OSession session = db->GetSession();
    ASSERT_EQ(session.BeginTransaction(), 0);
    run(*db, "INSERT INTO kc_t VALUES (9)");
    db.reset();
    EXPECT_EQ(value.IsNull(), 1);
    EXPECT_NE(session.Rollback(0), 0);
    EXPECT_EQ(set.MoveNext(), 0);
    EXPECT_EQ(set.IsEOF(), 1);
  }
  std::unique_ptr<DbDriver> driver = selectDriver(name_.c_str());
  ASSERT_NE(driver, nullptr);
  ASSERT_EQ(driver->connect(driverDatabaseName(name_.c_str()), user_.c_str(), password_.c_str()), 0)
      << driver->errorText();
  std::unique_ptr<DbCursor> cursor = driver->open("SELECT n FROM kc_t");
  ASSERT_NE(cursor, nullptr) << driver->errorText();
  ASSERT_EQ(cursor->step(), StepResult::Row);
  driver.reset();
  EXPECT_EQ(cursor->step(), StepResult::Done);
  EXPECT_TRUE(cursor->isNull(0));
  EXPECT_STREQ(cursor->text(0), "");
  cursor.reset();

  ODatabase check;
  connect(check);
  EXPECT_EQ(count(check, "kc_t"), 2);   // the insert of the destroyed database was undone
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverContract, ::testing::ValuesIn(kBackends),
                         [](const ::testing::TestParamInfo<Backend> &param) { return std::string(param.param.name); });

}  // namespace
