// The class library layer over the SQLite driver, where SQLite is its own:
// connecting to files, server types from declared types and values, value
// conversions of text columns, its error numbers, statements reused by
// text, the Oracle-style DUAL, TO_CHAR, NVL and DECODE, busy waits, and the
// job's link torn down with levels open. What every driver does alike is
// driver_contract_test.cpp.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "database/ClassLibrary.h"
#include "database/Database.h"
#include "database/SqliteDriver.h"

namespace {

// A fresh database file in a temporary directory, filled by setup SQL run
// through SQLite itself.
class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kelvordantix_db_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/test.db";
  }
  void TearDown() override {
    unlink(path_.c_str());
    unlink((path_ + "-journal").c_str());
    rmdir(dir_.c_str());
  }

  void create(const char *sql) {
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr), SQLITE_OK);
    char *message = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
    sqlite3_close(db);
  }

  // Connect db to the file; asserts success.
  void connect(ODatabase &db) { ASSERT_EQ(db.Open(path_.c_str(), "scott", "tiger", 0), 0) << db.GetServerErrorText(); }

  // The first column of the first row of a query as text ("<error>" when
  // the query fails, "<null>" for null).
  std::string first(ODatabase &db, const char *sql) {
    ODynaset set;
    if (set.Open(db, sql, 0) != 0) return std::string("<error> ") + db.GetServerErrorText();
    OValue value;
    set.GetFieldValue(0, &value);
    if (set.IsEOF()) return "<none>";
    if (value.IsNull()) return "<null>";
    return static_cast<const char *>(value);
  }

  std::string dir_, path_;
};

TEST_F(DatabaseTest, DriverChoiceFollowsTheDatabaseName) {
  EXPECT_EQ(selectDriver(nullptr), nullptr);
  EXPECT_EQ(selectDriver(""), nullptr);
  EXPECT_NE(selectDriver("sqlite:anything"), nullptr);
  EXPECT_NE(selectDriver("test.db"), nullptr);
  EXPECT_NE(selectDriver("dir/x.sqlite"), nullptr);
  EXPECT_NE(selectDriver("X.SQLITE3"), nullptr);
  EXPECT_STREQ(driverDatabaseName("sqlite:a.db"), "a.db");
  EXPECT_STREQ(driverDatabaseName("odbc:PG"), "PG");
  EXPECT_STREQ(driverDatabaseName("orcl"), "orcl");
  EXPECT_STREQ(driverDatabaseName("pg:host=db dbname=x"), "host=db dbname=x");
  EXPECT_STREQ(driverDatabaseName("postgresql://db/x"), "postgresql://db/x");
#ifndef KELVORDANTIX_HAVE_LIBPQ
  EXPECT_EQ(selectDriver("pg:"), nullptr);
  EXPECT_EQ(selectDriver("postgres://db/x"), nullptr);
#endif
#ifndef KELVORDANTIX_HAVE_ODBC
  EXPECT_EQ(selectDriver("orcl"), nullptr);
  EXPECT_EQ(selectDriver("odbc:x.db"), nullptr);
#endif
}

TEST_F(DatabaseTest, MissingFileIsAFailedConnectionAndNotCreated) {
  ODatabase db;
  EXPECT_NE(db.Open(path_.c_str(), "scott", "tiger", 0), 0);
  EXPECT_FALSE(db.IsOpen());
  EXPECT_NE(db.ServerErrorNumber(), 0);
  // The reason names the file and the system's word on it.
  EXPECT_EQ(std::string(db.GetServerErrorText()), path_ + ": unable to open database file (No such file or directory)");
  EXPECT_STREQ(db.ProductName(), "ORACLE");  // no product before a connection
  EXPECT_NE(access(path_.c_str(), F_OK), 0);
  EXPECT_NE(db.Open("sqlite:", "", "", 0), 0);
  EXPECT_NE(db.Open(nullptr, nullptr, nullptr, 0), 0);
  // Calls on a database that never connected fail without harm.
  EXPECT_NE(db.ExecuteSQL("select 1"), 0);
  OSession session = db.GetSession();
  EXPECT_NE(session.Rollback(0), 0);
  ODynaset set;
  EXPECT_NE(set.Open(db, "select 1", 0), 0);
  EXPECT_EQ(set.IsEOF(), 1);
  db.Close();
}

TEST_F(DatabaseTest, FileThatIsNoDatabaseFailsToConnect) {
  FILE *f = std::fopen(path_.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("this is not a database file at all, it is plain text of some length ..........", f);
  std::fclose(f);
  ODatabase db;
  EXPECT_NE(db.Open(("sqlite:" + path_).c_str(), "", "", 0), 0);
  EXPECT_EQ(db.ServerErrorNumber(), SQLITE_NOTADB);
}

TEST_F(DatabaseTest, ServerTypesFromDeclaredTypesAndValues) {
  create(
      "create table t(c char(5), nc nchar(2), v varchar2(20), t text, cl clob, n number(7,2), i integer, "
      "r real, f float, d date, dt datetime, ts timestamp, b blob, u);"
      "insert into t values('a','b','c','d','e',1.5,2,3.5,4.5,'1980-12-17','1980-12-17 10:00:00',"
      "'1980-12-17 10:00:00',x'01','x');");
  ODatabase db;
  connect(db);
  ODynaset set;
  ASSERT_EQ(set.Open(db, "select * from t", 0), 0);
  const short expected[] = {96, 96, 1, 1, 1, 2, 2, 2, 2, 12, 12, 12, 0, 1};
  ASSERT_EQ(set.GetFieldCount(), 14);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(set.GetFieldServerType(i), expected[i]) << "column " << i;

  ASSERT_EQ(set.Open(db,
                     "select 1+1, 2.5*2, 'a'||'b', '2026-12-08', '2026-12-08 10:30:00', '2026-13-08', "
                     "'2026-12-08T10:30', x'00', sysdate, dummy, upper(c) from dual, t",
                     0),
            0);
  const short byValue[] = {2, 2, 1, 12, 12, 1, 1, 0, 12, 1, 1};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(set.GetFieldServerType(i), byValue[i]) << "expression " << i;
  EXPECT_EQ(set.GetFieldServerType(11), kServerTypeOther);   // no such column
  EXPECT_EQ(set.GetFieldServerType(-1), kServerTypeOther);
}

TEST_F(DatabaseTest, DeclaredTypeNames) {
  EXPECT_EQ(serverTypeOfDeclared(nullptr), -1);
  EXPECT_EQ(serverTypeOfDeclared(""), -1);
  EXPECT_EQ(serverTypeOfDeclared("char(10)"), 96);
  EXPECT_EQ(serverTypeOfDeclared("CHARACTER VARYING(10)"), 1);
  EXPECT_EQ(serverTypeOfDeclared("NVARCHAR2(10)"), 1);
  EXPECT_EQ(serverTypeOfDeclared("DOUBLE PRECISION"), 2);
  EXPECT_EQ(serverTypeOfDeclared("UNSIGNED BIG INT"), 2);
  EXPECT_EQ(serverTypeOfDeclared("decimal(10,2)"), 2);
  EXPECT_EQ(serverTypeOfDeclared("TIMESTAMP WITH TIME ZONE"), 12);
  EXPECT_EQ(serverTypeOfDeclared("RAW(16)"), 0);
}

TEST_F(DatabaseTest, NullsTextsAndNumbers) {
  create(
      "create table t(n number, s varchar2(10), d date, e);"
      "insert into t values(12345.5, '42abc', '1980-12-17', null);"
      "insert into t values(null, 'abc', '1980-12-17 23:05:09', '1999-01-02');"
      "insert into t values(-7, '  3.5e2x', '17-DEC-80', 7);");
  ODatabase db;
  connect(db);
  ODynaset set;
  ASSERT_EQ(set.Open(db, "select n, s, d, e from t order by rowid", 0), 0);
  OValue n, s, d, e;
  set.MoveFirst();
  set.GetFieldValue(0, &n);
  set.GetFieldValue(1, &s);
  set.GetFieldValue(2, &d);
  set.GetFieldValue(3, &e);
  EXPECT_EQ(n.IsNull(), 0);
  EXPECT_DOUBLE_EQ(static_cast<double>(n), 12345.5);
  EXPECT_EQ(static_cast<long>(n), 12345);
  EXPECT_STREQ(static_cast<const char *>(n), "12345.5");
  EXPECT_DOUBLE_EQ(static_cast<double>(s), 42.0);
  EXPECT_EQ(static_cast<long>(s), 42);
  EXPECT_STREQ(static_cast<const char *>(d), "12/17/1980 00:00:00");
  EXPECT_EQ(e.IsNull(), 1);
  EXPECT_STREQ(static_cast<const char *>(e), "");

  // The values read whatever row the set stands on.
  ASSERT_EQ(set.MoveNext(1), 0);
  EXPECT_EQ(n.IsNull(), 1);
  EXPECT_STREQ(static_cast<const char *>(d), "12/17/1980 23:05:09");
  EXPECT_EQ(set.GetFieldServerType(3), kServerTypeDate);
  EXPECT_STREQ(static_cast<const char *>(e), "01/02/1999 00:00:00");

  ASSERT_EQ(set.MoveNext(1), 0);
  EXPECT_EQ(static_cast<long>(n), -7);
  EXPECT_DOUBLE_EQ(static_cast<double>(s), 350.0);
  EXPECT_STREQ(static_cast<const char *>(d), "17-DEC-80");   // not ISO: as stored
  EXPECT_EQ(set.GetFieldServerType(3), kServerTypeNumber);

  set.MoveNext(1);
  EXPECT_EQ(set.IsEOF(), 1);
  EXPECT_EQ(n.IsNull(), 1);
  set.Close();
  EXPECT_EQ(s.IsNull(), 1);
  EXPECT_STREQ(static_cast<const char *>(s), "");
  OValue unbound;
  EXPECT_EQ(unbound.IsNull(), 1);
  EXPECT_EQ(static_cast<long>(unbound), 0);
}

TEST_F(DatabaseTest, DateTextShapes) {
  DateParts date;
  char text[kSqliteDateTextSize];
  ASSERT_TRUE(parseIsoDate("2026-12-08 10:30:00.123", 23, false, &date));
  formatDateText(date, text);
  EXPECT_STREQ(text, "12/08/2026 10:30:00");
  EXPECT_TRUE(parseIsoDate("2024-02-29T01:02", 16, false, &date));
  EXPECT_FALSE(parseIsoDate("2024-02-29T01:02", 16, true, &date));
  EXPECT_FALSE(parseIsoDate("2023-02-29", 10, true, &date));
  EXPECT_FALSE(parseIsoDate("2023-01-01 24:00:00", 19, false, &date));
  EXPECT_FALSE(parseIsoDate("2023-01-01 10:00:00x", 20, false, &date));
  EXPECT_FALSE(parseIsoDate("2023/01/01", 10, false, &date));
  EXPECT_FALSE(parseIsoDate("2023-01", 7, false, &date));
}

TEST_F(DatabaseTest, ServerErrorsCarryNumberAndText) {
  create("create table t(k integer primary key, v text not null);");
  ODatabase db;
  connect(db);
  ODynaset set;
  EXPECT_NE(set.Open(db, "select * from nosuch", 0), 0);
  EXPECT_EQ(db.ServerErrorNumber(), SQLITE_ERROR);
  EXPECT_STREQ(db.GetServerErrorText(), "no such table: nosuch");
  EXPECT_EQ(set.IsOpen(), false);
  EXPECT_EQ(set.IsEOF(), 1);
  EXPECT_STREQ(set.GetSQL(), "select * from nosuch");

  EXPECT_EQ(db.ExecuteSQL("insert into t values(1, 'a')"), 0);
  EXPECT_EQ(db.ServerErrorNumber(), 0);
  EXPECT_NE(db.ExecuteSQL("insert into t values(1, 'b')"), 0);
  EXPECT_EQ(db.ServerErrorNumber(), SQLITE_CONSTRAINT_PRIMARYKEY);
  EXPECT_STREQ(db.GetServerErrorText(), "UNIQUE constraint failed: t.k");
  EXPECT_NE(db.ExecuteSQL("insert into t values(2, null)"), 0);
  EXPECT_EQ(db.ServerErrorNumber(), SQLITE_CONSTRAINT_NOTNULL);
  EXPECT_NE(db.ExecuteSQL("selec 1"), 0);
  EXPECT_STREQ(db.GetServerErrorText(), "near \"selec\": syntax error");

  // An error at run time (not at prepare) fails the Open as well.
  EXPECT_NE(set.Open(db, "select to_char('abc', 'dd') from dual", 0), 0);
  EXPECT_STREQ(db.GetServerErrorText(), "to_char(): value is not a date");
  // A query is one statement; several statements run as one ExecuteSQL.
  EXPECT_NE(set.Open(db, "select 1; delete from t", 0), 0);
  EXPECT_EQ(set.Open(db, "select 1 ; ", 0), 0);
  EXPECT_EQ(db.ExecuteSQL("insert into t values(5,'x'); insert into t values(6,'y');"), 0);
  EXPECT_EQ(first(db, "select count(*) from t"), "3");
  EXPECT_NE(set.Open(db, "  ", 0), 0);
}

// A statement closed and opened again with the same text is reused: it
// sees rows changed in between, survives a change of the schema, and the
// same text open twice at once gives two independent result sets.
TEST_F(DatabaseTest, SameTextRunsAgainWithFreshRows) {
  create("create table t(k integer); insert into t values(1);");
  ODatabase db;
  connect(db);
  const char *count = "select count(*), max(k) from t ";
  EXPECT_EQ(first(db, count), "1");
  for (int i = 0; i < 3; ++i) ASSERT_EQ(db.ExecuteSQL("insert into t values(7) "), 0);
  EXPECT_EQ(first(db, count), "4");
  ASSERT_EQ(db.ExecuteSQL("alter table t add column v text"), 0);
  ASSERT_EQ(db.ExecuteSQL("insert into t values(8, 'x') "), 0);
  EXPECT_EQ(first(db, count), "5");
  ASSERT_EQ(db.ExecuteSQL("drop table t"), 0);
  EXPECT_EQ(first(db, count).substr(0, 7), "<error>");
  ASSERT_EQ(db.ExecuteSQL("create table t(k integer)"), 0);
  EXPECT_EQ(first(db, count), "0");

  ODynaset a, b;
  ASSERT_EQ(db.ExecuteSQL("insert into t values(1),(2)"), 0);
  ASSERT_EQ(a.Open(db, "select k from t order by k", 0), 0);
  ASSERT_EQ(b.Open(db, "select k from t order by k", 0), 0);
  OValue va, vb;
  a.GetFieldValue(0, &va);
  b.GetFieldValue(0, &vb);
  a.MoveNext(1);
  EXPECT_EQ(static_cast<long>(va), 2);
  EXPECT_EQ(static_cast<long>(vb), 1);
  a.Close();
  b.Close();
  // A failing statement text stays failing; the transaction ends cleanly.
  EXPECT_NE(db.ExecuteSQL("insert into t values(1, 2) "), 0);
  EXPECT_NE(db.ExecuteSQL("insert into t values(1, 2) "), 0);
  EXPECT_EQ(db.GetSession().Rollback(0), 0);
}

TEST_F(DatabaseTest, MoveFirstEofAndRecordCount) {
  create("create table t(k integer); insert into t values(1),(2),(3);");
  ODatabase db;
  connect(db);
  ODynaset set;
  ASSERT_EQ(set.Open(db, "select k from t where k > 5", 0), 0);
  EXPECT_EQ(set.MoveFirst(), 0);
  EXPECT_EQ(set.IsEOF(), 1);
  EXPECT_EQ(set.GetRecordCount(), 0);
  EXPECT_EQ(set.GetFieldCount(), 1);
  EXPECT_EQ(set.MoveNext(1), 0);
  EXPECT_EQ(set.IsEOF(), 1);

  ASSERT_EQ(set.Open(db, "select k from t order by k", 0), 0);
  OValue value;
  set.GetFieldValue(0, &value);
  set.MoveNext(1);
  set.MoveNext(1);
  EXPECT_EQ(static_cast<long>(value), 3);
  EXPECT_EQ(set.GetRecordCount(), 3);
  EXPECT_EQ(static_cast<long>(value), 1);   // back on the first row
  set.MoveNext(1);
  EXPECT_EQ(set.MoveFirst(), 0);
  EXPECT_EQ(static_cast<long>(value), 1);
  EXPECT_EQ(set.IsEOF(), 0);

  // The condition probe: one row or none.
  ASSERT_EQ(set.Open(db, "SELECT 1 AS QORVENTILE FROM DUAL WHERE  11  > 10", 0), 0);
  EXPECT_EQ(set.GetRecordCount(), 1);
  ASSERT_EQ(set.Open(db, "SELECT 1 AS QORVENTILE FROM DUAL WHERE NULL = 'X'", 0), 0);
  EXPECT_EQ(set.GetRecordCount(), 0);
  EXPECT_NE(set.GetFieldValue(1, &value), 0);
  EXPECT_EQ(value.IsNull(), 1);
  set.Close();
  EXPECT_EQ(set.GetRecordCount(), 0);
  EXPECT_NE(set.MoveFirst(), 0);
  EXPECT_NE(set.MoveNext(1), 0);
}

TEST_F(DatabaseTest, RollbackAndCloseWorkInAnyState) {
  create("create table t(k integer primary key); insert into t values(1);");
  ODatabase db;
  connect(db);
  OSession session = db.GetSession();
  EXPECT_EQ(session.Rollback(0), 0);          // no transaction open
  EXPECT_EQ(session.Commit(0), 0);
  session.BeginTransaction();
  ASSERT_EQ(db.ExecuteSQL("insert into t values(2)"), 0);
  EXPECT_NE(db.ExecuteSQL("insert into t values(1)"), 0);
  long number = db.ServerErrorNumber();
  EXPECT_EQ(session.Rollback(0), 0);          // after a failed statement
  EXPECT_EQ(number, SQLITE_CONSTRAINT_PRIMARYKEY);
  EXPECT_EQ(first(db, "select count(*) from t"), "1");
  session.BeginTransaction();
  EXPECT_NE(session.BeginTransaction(), 0);   // already open: an error, nothing worse
  ODynaset open;
  ASSERT_EQ(open.Open(db, "select k from t", 0), 0);
  EXPECT_EQ(session.Rollback(0), 0);          // with a result set open
  db.Close();
  db.Close();
  EXPECT_NE(session.Rollback(0), 0);          // the connection is gone
  EXPECT_NE(session.Commit(0), 0);
  EXPECT_EQ(open.IsEOF(), 0);                 // the set keeps its position, but reads nothing
  EXPECT_EQ(open.MoveNext(1), 0);
  EXPECT_EQ(open.IsEOF(), 1);
  EXPECT_EQ(open.IsOpen(), true);
  open.Close();
}

TEST_F(DatabaseTest, DualSysdateAndTheProgramsOwnQueries) {
  create("create table t(k integer);");
  ODatabase db;
  connect(db);
  std::time_t now = std::time(nullptr);
  std::tm local = *std::localtime(&now);
  char today[16];
  std::strftime(today, sizeof today, "%d/%m/%y", &local);
  EXPECT_EQ(first(db, "select to_char(sysdate,'dd/mm/yy') as today from dual"), today);
  std::string time = first(db, "select to_char(sysdate,'hh24:mi:ss') as now from dual");
  ASSERT_EQ(time.size(), 8u);
  EXPECT_EQ(time[2], ':');
  EXPECT_EQ(time[5], ':');
  EXPECT_EQ(first(db, "select dummy from dual"), "X");
  EXPECT_EQ(first(db, "select count(*) from dual"), "1");
  // The view is the connection's own: nothing is added to the file.
  EXPECT_EQ(first(db, "select count(*) from sqlite_master where name = 'dual'"), "0");
}

TEST_F(DatabaseTest, OwnDualTableIsUsed) {
  create("create table DUAL(DUMMY varchar2(1), SYSDATE date); insert into dual values('X', '2026-12-08 10:30:00');");
  ODatabase db;
  connect(db);
  EXPECT_EQ(first(db, "select to_char(sysdate,'dd/mm/yy') as today from dual"), "08/12/26");
  EXPECT_EQ(first(db, "select to_char(sysdate,'hh24:mi:ss') as now from dual"), "10:30:00");
  EXPECT_EQ(first(db, "select sysdate from dual"), "12/08/2026 10:30:00");
}

TEST_F(DatabaseTest, ToCharFormats) {
  create("create table d(v date); insert into d values('2026-12-08 15:04:09');"
         "create table a(v date); insert into a values('2027-01-03 00:30:00');");
  ODatabase db;
  connect(db);
  const struct {
    const char *sql;
    const char *expected;
  } cases[] = {
      {"select to_char(v, 'dd/mm/yy') from d", "08/12/26"},
      {"select to_char(v, 'DD-MON-YYYY HH24:MI:SS') from d", "08-DEC-2026 15:04:09"},
      {"select to_char(v, 'Mon dd, yyyy') from d", "Dec 08, 2026"},
      {"select to_char(v, 'mon') from d", "dec"},
      {"select to_char(v, 'MONTH|Month|month') from d", "DECEMBER |December |december "},
      {"select to_char(v, 'FMMonth DD, YYYY') from d", "December 8, 2026"},
      {"select to_char(v, 'DAY Dy dy') from d", "TUESDAY   Tue tue"},
      {"select to_char(v, 'HH:MI AM') from d", "03:04 PM"},
      {"select to_char(v, 'hh12 a.m.') from d", "03 p.m."},
      {"select to_char(v, 'HH PM D DDD Q') from a", "12 AM 1 003 1"},
      {"select to_char(v, 'YYYY\"年\"MM') from d", "2026年12"},
      {"select to_char(v, 'SSSSS') from a", "01800"},
      {"select to_char('2026-12-08', 'DD.MM.YYYY HH24:MI:SS')", "08.12.2026 00:00:00"},
      {"select to_char(v) from d", "12/08/2026 15:04:09"},   // a date by its shape,
      {"select to_char(42)", "42"},
      {"select to_char(0.5)", ".5"},
      {"select to_char(-2.0)", "-2"},
      {"select to_char('abc')", "abc"},
      {"select to_char(null, 'dd')", "<null>"},
      {"select to_char(1234.5, '9,999.99')", " 1,234.50"},
      {"select to_char(-1234.5, '9,999.99')", "-1,234.50"},
      {"select to_char(0.5, '9.99')", "  .50"},
      {"select to_char(0.5, '0.99')", " 0.50"},
      {"select to_char(7, '000')", " 007"},
      {"select to_char(0, '999')", "   0"},
      {"select to_char(12345, '999')", "####"},
      {"select to_char(-5, 'FM999MI')", "5-"},
      {"select to_char(5, 'S99')", " +5"},
      {"select to_char('12.346', 'FM$999.00')", "$12.35"},
      {"select to_char(v, 'DD XX') from d", "<error> date format not recognized"},
      {"select to_char(5, 'DD')", "<error> to_char(): value is not a date"},
  };
  for (const auto &c : cases) EXPECT_EQ(first(db, c.sql), c.expected) << c.sql;
}

TEST_F(DatabaseTest, NvlAndDecode) {
  create("create table t(k integer, s text); insert into t values(null, 'b');");
  ODatabase db;
  connect(db);
  const struct {
    const char *sql;
    const char *expected;
  } cases[] = {
      {"select nvl(k, 0) from t", "0"},
      {"select nvl(s, 'none') from t", "b"},
      {"select nvl(null, null)", "<null>"},
      {"select decode(s, 'a', 'first', 'b', 'second', 'other') from t", "second"},
      {"select decode(s, 'x', 'first', 'other') from t", "other"},
      {"select decode(s, 'x', 'first') from t", "<null>"},
      {"select decode(k, null, 'was null', 'not null') from t", "was null"},
      {"select decode(2, '2', 'text two', 'no')", "text two"},
      {"select decode(2.0, 2, 'same', 'no')", "same"},
      {"select decode('a', 'A', 'case', 'no')", "no"},
      {"select decode(1, 'x', 'y', 'no')", "no"},
      {"select decode(1, 2)", "<error> wrong number of arguments to function decode()"},
  };
  for (const auto &c : cases) EXPECT_EQ(first(db, c.sql), c.expected) << c.sql;
}

TEST_F(DatabaseTest, LockedDatabaseFailsAfterTheBusyTimeout) {
  create("create table t(k integer);");
  ODatabase db;
  connect(db);
  sqlite3 *other = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "begin exclusive; insert into t values(1);", nullptr, nullptr, nullptr), SQLITE_OK);

  auto start = std::chrono::steady_clock::now();
  EXPECT_NE(db.ExecuteSQL("insert into t values(2)"), 0);
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(db.ServerErrorNumber(), SQLITE_BUSY);
  EXPECT_STREQ(db.GetServerErrorText(), "database is locked");
  EXPECT_GE(waited.count(), kSqliteBusyTimeoutMs - 100);
  EXPECT_LT(waited.count(), kSqliteBusyTimeoutMs + 2000);

  sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(db.ExecuteSQL("insert into t values(3)"), 0);
}

}  // namespace

namespace {

// The job's link as a whole: an abort leaves levels open and the link is
// destroyed in its own member order, with or without the abort's rollback.
TEST_F(DatabaseTest, JobLinkTornDownWithLevelsOpen) {
  create("create table t(k integer); insert into t values(1),(2);");
  for (int rollBackFirst = 0; rollBackFirst < 2; ++rollBackFirst) {
    auto link = std::make_unique<DatabaseLink>();
    connect(link->database);
    link->session = link->database.GetSession();
    link->session.BeginTransaction();
    ASSERT_EQ(link->database.ExecuteSQL("insert into t values(9)"), 0);
    for (int level = 1; level <= 3; ++level) ASSERT_EQ(link->levelSets[level].Open(link->database, "select k from t", 0), 0);
    ASSERT_EQ(link->probeSet.Open(link->database, "select 1 from dual", 0), 0);
    link->levelSets[3].GetFieldValue(0, &link->fieldValue);
    if (rollBackFirst) {
      link->session.Rollback(0);
      link->database.Close();
      EXPECT_EQ(link->fieldValue.IsNull(), 1);
    }
    link.reset();
  }
  ODatabase check;
  connect(check);
  EXPECT_EQ(first(check, "select count(*) from t"), "2");
}

}  // namespace

// describe prepares without running: the declared types of a query's
// columns, the value's say for an expression, the server's error for a bad
// statement, and a statement that writes leaves the data as it was.
TEST_F(DatabaseTest, DescribePreparesWithoutRunning) {
  create("CREATE TABLE t (name VARCHAR2(10), n NUMBER, d DATE, b BLOB); INSERT INTO t VALUES ('a', 1, NULL, NULL);");
  ODatabase db;
  connect(db);
  std::vector<short> types;
  ASSERT_EQ(db.driver()->describe("SELECT name, n, d, b, n + 1 FROM t", &types), 0);
  EXPECT_EQ(types, (std::vector<short>{kServerTypeChar, kServerTypeNumber, kServerTypeDate, kServerTypeOther,
                                       kServerTypeByValue}));
  ASSERT_EQ(db.driver()->describe("DELETE FROM t; DROP TABLE t", &types), 0);
  EXPECT_TRUE(types.empty());
  EXPECT_NE(db.driver()->describe("SELECT nosuch FROM t", &types), 0);
  EXPECT_STREQ(db.driver()->errorText(), "no such column: nosuch");
  EXPECT_EQ(first(db, "SELECT count(*) FROM t"), "1");
}
