// Oracle's SQL on the other backends: the rewrites of Oracle-only syntax
// per backend (and never inside quoted text, quoted names or comments),
// and which first lines of a macro open an SQL statement. Their effect on
// a server is tested by the database cases run on each backend.
#include <gtest/gtest.h>

#include <string>

#include "database/OracleSql.h"
#include "driver/Job.h"

namespace {

SqlDialect dialect(SqlBackend backend, bool orafce = false, bool dualHasSysdate = true) {
  SqlDialect d;
  d.backend = backend;
  d.orafce = orafce;
  d.dualHasSysdate = dualHasSysdate;
  return d;
}

TEST(OracleSql, BackendsByProductName) {
  EXPECT_EQ(backendOf("SQLITE"), SqlBackend::Sqlite);
  EXPECT_EQ(backendOf("POSTGRESQL"), SqlBackend::Postgres);
  EXPECT_EQ(backendOf("MARIADB"), SqlBackend::MariaDb);
  EXPECT_EQ(backendOf("MYSQL"), SqlBackend::MariaDb);
  EXPECT_EQ(backendOf("ORACLE"), SqlBackend::Other);
}

TEST(OracleSql, MinusBetweenQueries) {
  SqlDialect sqlite = dialect(SqlBackend::Sqlite);
  EXPECT_EQ(mapOracleSql("SELECT a FROM t MINUS SELECT a FROM u", sqlite), "SELECT a FROM t EXCEPT SELECT a FROM u");
  EXPECT_EQ(mapOracleSql("(SELECT a FROM t) minus (SELECT a FROM u)", dialect(SqlBackend::Postgres)),
            "(SELECT a FROM t) EXCEPT (SELECT a FROM u)");
  // A column named minus, quoted text and comments stay as written.
  EXPECT_EQ(mapOracleSql("SELECT minus FROM t", sqlite), "SELECT minus FROM t");
  EXPECT_EQ(mapOracleSql("SELECT 'a MINUS SELECT' FROM t", sqlite), "SELECT 'a MINUS SELECT' FROM t");
  EXPECT_EQ(mapOracleSql("SELECT \"x MINUS SELECT\" FROM t", sqlite), "SELECT \"x MINUS SELECT\" FROM t");
  EXPECT_EQ(mapOracleSql("SELECT a /* MINUS SELECT */ FROM t", sqlite), "SELECT a /* MINUS SELECT */ FROM t");
  // MariaDB's Oracle mode has MINUS; Oracle itself needs nothing.
  EXPECT_EQ(mapOracleSql("SELECT 1 MINUS SELECT 2", dialect(SqlBackend::MariaDb)), "SELECT 1 MINUS SELECT 2");
  EXPECT_EQ(mapOracleSql("SELECT 1 MINUS SELECT 2", dialect(SqlBackend::Other)), "SELECT 1 MINUS SELECT 2");
}

TEST(OracleSql, SequencesOnPostgres) {
  SqlDialect pg = dialect(SqlBackend::Postgres);
  EXPECT_EQ(mapOracleSql("INSERT INTO t VALUES (emp_seq.NEXTVAL, 'x')", pg),
            "INSERT INTO t VALUES (nextval('emp_seq'), 'x')");
  EXPECT_EQ(mapOracleSql("SELECT hr.emp_seq.currval FROM dual", pg), "SELECT currval('hr.emp_seq') FROM dual");
  EXPECT_EQ(mapOracleSql("SELECT \"Seq\".NEXTVAL FROM dual", pg), "SELECT nextval('\"Seq\"') FROM dual");
  EXPECT_EQ(mapOracleSql("SELECT 'emp_seq.NEXTVAL' FROM dual", pg), "SELECT 'emp_seq.NEXTVAL' FROM dual");
  EXPECT_EQ(mapOracleSql("SELECT s.NEXTVAL FROM dual", dialect(SqlBackend::Sqlite)), "SELECT s.NEXTVAL FROM dual");
}

TEST(OracleSql, ColumnTypesOfCreateTableOnPostgres) {
  SqlDialect pg = dialect(SqlBackend::Postgres);
  EXPECT_EQ(mapOracleSql("CREATE TABLE t (n NUMBER(8,2), m number, s VARCHAR2(20), number NUMBER)", pg),
            "CREATE TABLE t (n NUMERIC(8,2), m NUMERIC, s VARCHAR(20), number NUMERIC)");
  // orafce has VARCHAR2 (and no NUMBER).
  EXPECT_EQ(mapOracleSql("CREATE TABLE t (n NUMBER, s VARCHAR2(20))", dialect(SqlBackend::Postgres, true)),
            "CREATE TABLE t (n NUMERIC, s VARCHAR2(20))");
  // Only in CREATE TABLE, and not in a default's text.
  EXPECT_EQ(mapOracleSql("SELECT number FROM t", pg), "SELECT number FROM t");
  EXPECT_EQ(mapOracleSql("CREATE TABLE t (s VARCHAR2(9) DEFAULT 'NUMBER')", pg),
            "CREATE TABLE t (s VARCHAR(9) DEFAULT 'NUMBER')");
}

TEST(OracleSql, BareSysdate) {
  SqlDialect sqlite = dialect(SqlBackend::Sqlite);
  EXPECT_EQ(mapOracleSql("SELECT ename FROM emp WHERE hiredate < SYSDATE", sqlite),
            "SELECT ename FROM emp WHERE hiredate < sysdate()");
  // DUAL's own column where it has one; a call, a table's column, text stay.
  EXPECT_EQ(mapOracleSql("SELECT sysdate FROM dual", sqlite), "SELECT sysdate FROM dual");
  EXPECT_EQ(mapOracleSql("SELECT sysdate FROM dual", dialect(SqlBackend::Sqlite, false, false)),
            "SELECT sysdate() FROM dual");
  EXPECT_EQ(mapOracleSql("SELECT sysdate() FROM emp", sqlite), "SELECT sysdate() FROM emp");
  EXPECT_EQ(mapOracleSql("SELECT e.sysdate, 'SYSDATE' FROM emp e", sqlite), "SELECT e.sysdate, 'SYSDATE' FROM emp e");
  // PostgreSQL only through orafce's function; MariaDB's needs parentheses.
  EXPECT_EQ(mapOracleSql("SELECT SYSDATE FROM emp", dialect(SqlBackend::Postgres)), "SELECT SYSDATE FROM emp");
  EXPECT_EQ(mapOracleSql("SELECT SYSDATE FROM dual", dialect(SqlBackend::Postgres, true, false)),
            "SELECT sysdate() FROM dual");
  EXPECT_EQ(mapOracleSql("SELECT SYSDATE FROM dual", dialect(SqlBackend::MariaDb, false, false)),
            "SELECT SYSDATE() FROM dual");
}

struct FirstLine {
  const char *text;
  SqlWord word;
};

TEST(SqlStart, FirstLinesThatOpenAStatement) {
  const FirstLine lines[] = {
      {"SELECT ename FROM emp", SqlWord::Select},
      {"(SELECT a FROM t) UNION (SELECT b FROM u)", SqlWord::Select},
      {"( ( select 1 from dual ) )", SqlWord::Select},
      {"WITH totals AS (", SqlWord::Factored},
      {"with recursive r (n, m) as (select 1, 2", SqlWord::Factored},
      {"WITH \"T\" AS", SqlWord::Factored},
      {"MERGE INTO emp e USING bonus b ON (e.empno = b.empno)", SqlWord::Other},
      {"replace into t values (1)", SqlWord::Other},
      {"CALL hr.raise_pay(10)", SqlWord::Other},
      {"CALL raise_pay(10)", SqlWord::Other},
      {"With kind regards", SqlWord::None},
      {"With love as always", SqlWord::None},
      {"Merge the two lists", SqlWord::None},
      {"Call me (maybe)", SqlWord::None},
      {"Replace the toner", SqlWord::None},
      {"(see below)", SqlWord::None},
  };
  for (const FirstLine &line : lines) {
    std::string text = line.text;
    std::string first = text.substr(0, text.find(' '));
    foldUpper(first.data());
    EXPECT_EQ(sqlStartOf(text.c_str(), static_cast<int>(text.size()), first.c_str()), line.word) << text;
  }
}

TEST(SqlStart, VerbAfterTheWithClauses) {
  EXPECT_EQ(factoredKindOf("WITH t AS (SELECT 1 a FROM dual) SELECT a FROM t"), SqlWord::Select);
  EXPECT_EQ(factoredKindOf("WITH t AS (SELECT 1 a), u AS (SELECT 2) INSERT INTO x SELECT a FROM t"), SqlWord::Other);
  EXPECT_EQ(factoredKindOf("WITH t AS (SELECT ') insert' FROM dual) DELETE FROM x"), SqlWord::Other);
  EXPECT_EQ(factoredKindOf("WITH t AS (SELECT 1"), SqlWord::None);
}

}  // namespace
