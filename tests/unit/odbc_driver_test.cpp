// The ODBC driver through the class library, on the SQLite ODBC driver
// (libsqliteodbc) so that it runs without a server: server types from ODBC
// SQL types, date text, values longer than one read, several result sets at
// once, rewinding, transactions seen from a second connection, errors kept,
// and objects outliving their connection. PostgreSQL is covered by the
// cases of tests/pg/. Skipped when the SQLite ODBC driver is not installed.
#ifdef KELVORDANTIX_HAVE_ODBC
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <string>

#include "database/ClassLibrary.h"

namespace {

const char *sqliteOdbcDriver() {
  static const char *const kPaths[] = {
      "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so", "/usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so",
      "/usr/lib/odbc/libsqlite3odbc.so", "/usr/lib64/libsqlite3odbc.so"};
  for (const char *path : kPaths) {
    if (access(path, R_OK) == 0) return path;
  }
  return nullptr;
}

class OdbcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver_ = sqliteOdbcDriver();
    if (!driver_) GTEST_SKIP() << "SQLite ODBC driver (libsqliteodbc) not installed";
    char pattern[] = "/tmp/kelvordantix_odbc_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/test.db";
    name_ = std::string("odbc:DRIVER=") + driver_ + ";Database=" + path_;
  }
  void TearDown() override {
    if (dir_.empty()) return;
    unlink(path_.c_str());
    unlink((path_ + "-journal").c_str());
    rmdir(dir_.c_str());
  }

  // Setup and checks through SQLite itself: the second connection.
  std::string sqlite(const char *sql) {
    sqlite3 *db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr), SQLITE_OK);
    std::string result;
    char *message = nullptr;
    auto collect = [](void *out, int columns, char **values, char **) {
      auto *text = static_cast<std::string *>(out);
      for (int i = 0; i < columns; ++i) *text += std::string(i ? "|" : "") + (values[i] ? values[i] : "NULL");
      *text += ";";
      return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, sql, collect, &result, &message), SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
    return result;
  }

  void connect(ODatabase &db) { ASSERT_EQ(db.Open(name_.c_str(), "", "", 0), 0) << db.GetServerErrorText(); }

  const char *driver_ = nullptr;
  std::string dir_, path_, name_;
};

TEST_F(OdbcTest, ServerTypesAndValues) {
  sqlite(
      "CREATE TABLE v (c CHAR(5), vc VARCHAR(10), num NUMERIC(7,2), i INTEGER, r REAL, d DATE, ts TIMESTAMP);"
      "INSERT INTO v VALUES ('ab', 'xyz', 1234.5, -42, 0.25, '1980-12-17', '1999-03-07 10:05:09');"
      "INSERT INTO v VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL);");
  ODatabase db;
  connect(db);
  ODynaset set;
  ASSERT_EQ(set.Open(db, "SELECT c, vc, num, i, r, d, ts FROM v ORDER BY i DESC", 0), 0) << db.GetServerErrorText();
  ASSERT_EQ(set.GetFieldCount(), 7);
  // This driver describes CHAR(n) as VARCHAR; psqlODBC gives SQL_CHAR (96).
  const short kTypes[] = {kServerTypeChar,   kServerTypeChar, kServerTypeNumber, kServerTypeNumber,
                          kServerTypeNumber, kServerTypeDate, kServerTypeDate};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(set.GetFieldServerType(i), kTypes[i]) << "column " << i;

  OValue value;
  set.GetFieldValue(1, &value);
  EXPECT_STREQ(static_cast<const char *>(value), "xyz");
  set.GetFieldValue(2, &value);
  EXPECT_DOUBLE_EQ(static_cast<double>(value), 1234.5);
  EXPECT_EQ(static_cast<long>(value), 1234);
  set.GetFieldValue(3, &value);
  EXPECT_EQ(static_cast<long>(value), -42);
  set.GetFieldValue(4, &value);
  EXPECT_DOUBLE_EQ(static_cast<double>(value), 0.25);
  set.GetFieldValue(5, &value);
  EXPECT_STREQ(static_cast<const char *>(value), "12/17/1980 00:00:00");
  set.GetFieldValue(6, &value);
  EXPECT_STREQ(static_cast<const char *>(value), "03/07/1999 10:05:09");
  EXPECT_EQ(value.IsNull(), 0);

  ASSERT_EQ(set.MoveNext(), 0);
  ASSERT_EQ(set.IsEOF(), 0);
  for (int i = 0; i < 7; ++i) {
    set.GetFieldValue(i, &value);
    EXPECT_EQ(value.IsNull(), 1) << "column " << i;
    EXPECT_STREQ(static_cast<const char *>(value), "");
  }
  ASSERT_EQ(set.MoveNext(), 0);
  EXPECT_EQ(set.IsEOF(), 1);
}

// A value is read in pieces; every byte must arrive once, in order.
TEST_F(OdbcTest, LongValueArrivesWhole) {
  sqlite("CREATE TABLE t (v VARCHAR(20000)); INSERT INTO t VALUES (printf('%.*c', 9000, 'a') || 'b' || printf('%.*c', 999, 'c'));");
  ODatabase db;
  connect(db);
  ODynaset set;
  ASSERT_EQ(set.Open(db, "SELECT v FROM t", 0), 0) << db.GetServerErrorText();
  OValue value;
  set.GetFieldValue(0, &value);
  std::string text = static_cast<const char *>(value);
  EXPECT_EQ(text, std::string(9000, 'a') + "b" + std::string(999, 'c'));
}

// Nested result sets on the one connection, each stepped on its own; a
// record count re-runs the query and leaves the set on its first row.
TEST_F(OdbcTest, SeveralResultSetsAndRecordCount) {
  sqlite("CREATE TABLE d (n INTEGER); INSERT INTO d VALUES (1), (2), (3);");
  ODatabase db;
  connect(db);
  ODynaset outer, inner;
  ASSERT_EQ(outer.Open(db, "SELECT n FROM d ORDER BY n", 0), 0);
  OValue a, b;
  std::string seen;
  while (!outer.IsEOF()) {
    outer.GetFieldValue(0, &a);
    std::string sql = "SELECT n * 10 FROM d WHERE n <= " + std::to_string(static_cast<long>(a)) + " ORDER BY n";
    ASSERT_EQ(inner.Open(db, sql.c_str(), 0), 0) << db.GetServerErrorText();
    while (!inner.IsEOF()) {
      inner.GetFieldValue(0, &b);
      seen += std::to_string(static_cast<long>(b)) + " ";
      inner.MoveNext();
    }
    seen += "| ";
    outer.MoveNext();
  }
  EXPECT_EQ(seen, "10 | 10 20 | 10 20 30 | ");

  ASSERT_EQ(outer.Open(db, "SELECT n FROM d ORDER BY n", 0), 0);
  outer.MoveNext();
  EXPECT_EQ(outer.GetRecordCount(), 3);
  outer.GetFieldValue(0, &a);
  EXPECT_EQ(static_cast<long>(a), 1);
  ASSERT_EQ(outer.MoveNext(), 0);
  EXPECT_EQ(static_cast<long>(a), 2);
}

// Autocommit is off: work is seen by another connection only once
// committed, and a rollback discards it.
TEST_F(OdbcTest, TransactionsSeenFromAnotherConnection) {
  sqlite("CREATE TABLE t (n INTEGER);");
  ODatabase db;
  connect(db);
  OSession session = db.GetSession();
  ASSERT_EQ(session.BeginTransaction(), 0);
  ASSERT_EQ(db.ExecuteSQL("INSERT INTO t VALUES (1)"), 0) << db.GetServerErrorText();
  EXPECT_EQ(sqlite("SELECT count(*) FROM t"), "0;");
  ASSERT_EQ(session.Commit(1), 0);
  EXPECT_EQ(sqlite("SELECT count(*) FROM t"), "1;");
  ASSERT_EQ(db.ExecuteSQL("INSERT INTO t VALUES (2)"), 0);
  ASSERT_EQ(session.Rollback(1), 0);
  // An update that touches no row is no error.
  EXPECT_EQ(db.ExecuteSQL("UPDATE t SET n = 5 WHERE n = 99"), 0) << db.GetServerErrorText();
  ASSERT_EQ(db.ExecuteSQL("INSERT INTO t VALUES (3)"), 0);
  db.Close();                           // closing rolls back what is open
  EXPECT_EQ(sqlite("SELECT n FROM t ORDER BY n"), "1;");
  EXPECT_NE(session.Commit(0), 0);
}

// A failed statement keeps the server's error until the next statement.
TEST_F(OdbcTest, ErrorsAreKept) {
  sqlite("CREATE TABLE t (n INTEGER);");
  ODatabase db;
  connect(db);
  EXPECT_NE(db.ExecuteSQL("INSERT INTO nosuch VALUES (1)"), 0);
  EXPECT_NE(db.ServerErrorNumber(), 0);
  EXPECT_NE(std::string(db.GetServerErrorText()).find("nosuch"), std::string::npos) << db.GetServerErrorText();
  EXPECT_EQ(db.GetServerErrorText()[0], '[') << "the SQLSTATE comes first";
  EXPECT_STREQ(db.ProductName(), "SQLITE");  // SQL_DBMS_NAME, upper case
  ODynaset set;
  EXPECT_NE(set.Open(db, "SELECT * FROM nowhere", 0), 0);
  EXPECT_NE(std::string(db.GetServerErrorText()).find("nowhere"), std::string::npos) << db.GetServerErrorText();
  EXPECT_EQ(set.IsOpen(), false);
  EXPECT_EQ(db.ExecuteSQL("INSERT INTO t VALUES (1)"), 0);
  EXPECT_EQ(db.ServerErrorNumber(), 0);
}

// A data source that does not exist fails to connect with the driver
// manager's reason.
TEST_F(OdbcTest, UnknownDataSource) {
  ODatabase db;
  EXPECT_NE(db.Open("odbc:KELVORDANTIX_NO_SUCH_DSN", "scott", "tiger", 0), 0);
  EXPECT_FALSE(db.IsOpen());
  EXPECT_NE(db.ServerErrorNumber(), 0);
  EXPECT_EQ(std::string(db.GetServerErrorText()).rfind("[IM002] ", 0), 0u) << db.GetServerErrorText();
  EXPECT_NE(db.Open("odbc:DRIVER=/nonexistent/driver.so;Database=x", "", "", 0), 0);
  EXPECT_STRNE(db.GetServerErrorText(), "");
}

// Result sets and values left open when the connection closes read as no
// row; a driver destroyed before its cursor leaves it harmless.
TEST_F(OdbcTest, ObjectsOutliveTheConnection) {
  sqlite("CREATE TABLE t (n INTEGER); INSERT INTO t VALUES (7), (8);");
  ODatabase db;
  connect(db);
  ODynaset set;
  ASSERT_EQ(set.Open(db, "SELECT n FROM t", 0), 0);
  OValue value;
  set.GetFieldValue(0, &value);
  EXPECT_EQ(static_cast<long>(value), 7);
  db.Close();
  EXPECT_EQ(value.IsNull(), 1);
  EXPECT_EQ(set.MoveNext(), 0);
  EXPECT_EQ(set.IsEOF(), 1);

  std::unique_ptr<DbDriver> driver = makeOdbcDriver();
  ASSERT_EQ(driver->connect(name_.c_str() + 5, "", ""), 0) << driver->errorText();
  std::unique_ptr<DbCursor> cursor = driver->open("SELECT n FROM t");
  ASSERT_NE(cursor, nullptr);
  ASSERT_EQ(cursor->step(), StepResult::Row);
  driver.reset();
  EXPECT_EQ(cursor->step(), StepResult::Done);
  EXPECT_TRUE(cursor->isNull(0));
  EXPECT_STREQ(cursor->text(0), "");
}

}  // namespace
#endif
