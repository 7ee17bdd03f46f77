// Oracle's SQL on the other backends: the rewrites of Oracle-only syntax
// per backend (and never inside quoted text, quoted names or comments),
// and which first lines of a macro open an SQL statement. Their effect on
// a server is tested by the database cases run on each backend.
#include <gtest/gtest.h>

#include <string>

#include "database/OracleSql.h"
#include "driver/Job.h"
#include "interpreter/Interpreter.h"

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

// MariaDB's Oracle mode has neither TO_DATE nor Oracle's TO_CHAR of dates
// (the case of MON and DAY, FM, Q): both are written in MariaDB's own
// functions where the result is Oracle's for every value.
TEST(OracleSql, DatesOfLiteralsOnMariaDb) {
  SqlDialect my = dialect(SqlBackend::MariaDb);
  EXPECT_EQ(mapOracleSql("SELECT TO_DATE('2026-01-31', 'YYYY-MM-DD') FROM dual", my),
            "SELECT STR_TO_DATE('2026-01-31', '%Y-%m-%d') FROM dual");
  // The time of day is kept; names, RR and Oracle's default model are read.
  EXPECT_EQ(mapOracleSql("WHERE d = to_date('08/12/2026 10:30', 'DD/MM/YYYY HH24:MI')", my),
            "WHERE d = STR_TO_DATE('2026-12-08 10:30:00', '%Y-%m-%d %H:%i:%s')");
  EXPECT_EQ(mapOracleSql("TO_DATE('17-dec-80', 'DD-MON-RR')", my), "STR_TO_DATE('1980-12-17', '%Y-%m-%d')");
  EXPECT_EQ(mapOracleSql("TO_DATE('15-JAN-49')", my), "STR_TO_DATE('2049-01-15', '%Y-%m-%d')");
  EXPECT_EQ(mapOracleSql("TO_DATE('January 15, 1989, 11:00 P.M.', 'Month dd, YYYY, HH:MI A.M.')", my),
            "STR_TO_DATE('1989-01-15 23:00:00', '%Y-%m-%d %H:%i:%s')");
  // Anything that is not two literals Oracle reads as a date is sent as written.
  const char *const kept[] = {
      "TO_DATE(hired, 'YYYY-MM-DD')",        "TO_DATE('2026-01-31', fmt)",
      "TO_DATE('31-02-2026', 'DD-MM-YYYY')", "TO_DATE('', 'YYYY')",
      "TO_DATE('2026', '')",                 "TO_DATE('1-1-2026', 'DD-MM-YYYY', 'NLS_DATE_LANGUAGE = German')",
      "TO_DATE('x' || '1', 'DD')",           "hr.TO_DATE('2026-01-31', 'YYYY-MM-DD')",
      "'TO_DATE(''2026-01-31'', ''YYYY-MM-DD'')'",
  };
  for (const char *sql : kept) EXPECT_EQ(mapOracleSql(sql, my), sql);
  EXPECT_EQ(mapOracleSql("TO_DATE('2026-01-31', 'YYYY-MM-DD')", dialect(SqlBackend::Sqlite)),
            "TO_DATE('2026-01-31', 'YYYY-MM-DD')");
}

TEST(OracleSql, DateToCharOnMariaDb) {
  SqlDialect my = dialect(SqlBackend::MariaDb);
  const char *value = "TO_CHAR(d, 'YYYY-MM-DD HH24:MI:SS')";
  auto format = [&](const char *specifiers) { return "DATE_FORMAT(" + std::string(value) + ", '" + specifiers + "')"; };
  // One group: the value is written once, whatever it is.
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'DD-MON-YYYY')", my), "UPPER(" + format("%d-%b-%Y") + ")");
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'dd mon yyyy')", my), "LOWER(" + format("%d %b %Y") + ")");
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'Mon DD HH24:MI:SS')", my), format("%b %d %H:%i:%s"));
  // MariaDB's own TO_CHAR writes the numbers of ISO text as Oracle does.
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'DD.MM.YYYY HH24:MI:SS')", my), "TO_CHAR(d, 'DD.MM.YYYY HH24:MI:SS')");
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'fmDD.MM.YYYY')", my), "CONCAT(" + format("%e.%c.") + ", YEAR(" + value + "))");
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'HH12:MI AM')", my), format("%h:%i %p"));
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'Month')", my), "RPAD(" + format("%M") + ", 9, ' ')");
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'DAY')", my), "RPAD(UPPER(" + format("%W") + "), 9, ' ')");
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'YYYY\"%\"')", my), format("%Y%%"));
  // Fill mode holds for the rest of the model, up to a second FM.
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'fmMonth DD, YYYY')", my),
            "CONCAT(" + format("%M %e, ") + ", YEAR(" + value + "))");
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'FMDD/MM FMHH24')", my), format("%e/%c %H"));
  // Groups of another case and numbers without a specifier are parts of their own.
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'YYYY \"Q\"Q')", my), "CONCAT(" + format("%Y Q") + ", QUARTER(" + value + "))");
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'Dy dy')", my), "CONCAT(" + format("%a ") + ", LOWER(" + format("%a") + "))");
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'DD \"of\" MON')", my),
            "CONCAT(" + format("%d of ") + ", UPPER(" + format("%b") + "))");
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'Q')", my), "CONCAT(QUARTER(" + std::string(value) + "))");
  // A value written more than once must read the same each time.
  EXPECT_EQ(mapOracleSql("TO_CHAR(e.hired, 'fmMonth YYYY')", my),
            "CONCAT(DATE_FORMAT(TO_CHAR(e.hired, 'YYYY-MM-DD HH24:MI:SS'), '%M '), "
            "YEAR(TO_CHAR(e.hired, 'YYYY-MM-DD HH24:MI:SS')))");
  EXPECT_EQ(mapOracleSql("TO_CHAR(TO_DATE('2026-12-08', 'YYYY-MM-DD'), 'YYYY Q')", my),
            "CONCAT(DATE_FORMAT(STR_TO_DATE('2026-12-08', '%Y-%m-%d'), '%Y '), "
            "QUARTER(STR_TO_DATE('2026-12-08', '%Y-%m-%d')))");
  EXPECT_EQ(mapOracleSql("TO_CHAR(SYSDATE, 'DD-MON-YYYY')", dialect(SqlBackend::MariaDb, false, false)),
            "UPPER(DATE_FORMAT(SYSDATE(), '%d-%b-%Y'))");
  // Number models, elements without an exact equivalent, a model that is
  // no literal and a value that may change between readings stay.
  const char *const kept[] = {
      "TO_CHAR(sal, '99,999.99')",   "TO_CHAR(sal, 'FM$99,999.00')", "TO_CHAR(d, 'J')",
      "TO_CHAR(d, 'D')",             "TO_CHAR(d, 'YYY')",            "TO_CHAR(d, 'SSSSS')",
      "TO_CHAR(d, 'DDTH')",          "TO_CHAR(d, 'Am')",             "TO_CHAR(d, 'YYYY*MM')",
      "TO_CHAR(d, '\"open')",        "TO_CHAR(d, '')",               "TO_CHAR(d, fmt)",
      "TO_CHAR(d)",                  "TO_CHAR(d, 'DD', 'NLS_DATE_LANGUAGE = German')",
      "TO_CHAR(NOW(), 'fmMonth YYYY')", "TO_CHAR(d + 1, 'YYYY Q')",
  };
  for (const char *sql : kept) EXPECT_EQ(mapOracleSql(sql, my), sql);
  EXPECT_EQ(mapOracleSql("TO_CHAR(d, 'DD-MON-YYYY')", dialect(SqlBackend::Postgres)), "TO_CHAR(d, 'DD-MON-YYYY')");
  // A statement the rewrites would make too long keeps its calls (and the
  // other rewrites).
  const char *sql = "SELECT SYSDATE, TO_CHAR(d, 'fmMonth YYYY') FROM t";
  SqlDialect noDual = dialect(SqlBackend::MariaDb, false, false);
  EXPECT_EQ(mapOracleSql(sql, noDual, 40), "SELECT SYSDATE(), TO_CHAR(d, 'fmMonth YYYY') FROM t");
  EXPECT_NE(mapOracleSql(sql, noDual, 200).find("DATE_FORMAT"), std::string::npos);
}

TEST(OracleSql, DateUnitsOnMariaDb) {
  SqlDialect my = dialect(SqlBackend::MariaDb);
  const std::string v = "TO_CHAR(d, 'YYYY-MM-DD HH24:MI:SS')";
  EXPECT_EQ(mapOracleSql("TRUNC(d, 'dd')", my), "DATE(" + v + ")");
  EXPECT_EQ(mapOracleSql("ROUND(d, 'DD')", my), "DATE(" + v + " + INTERVAL 12 HOUR)");
  EXPECT_EQ(mapOracleSql("TRUNC(d, 'MON')", my), "STR_TO_DATE(DATE_FORMAT(" + v + ", '%Y-%m-01'), '%Y-%m-%d')");
  EXPECT_EQ(mapOracleSql("ROUND(d, 'MM')", my),
            "STR_TO_DATE(DATE_FORMAT(" + v + " - INTERVAL 15 DAY + INTERVAL 1 MONTH, '%Y-%m-01'), '%Y-%m-%d')");
  EXPECT_EQ(mapOracleSql("ROUND(d, 'YEAR')", my),
            "STR_TO_DATE(DATE_FORMAT(" + v + " + INTERVAL 6 MONTH, '%Y-01-01'), '%Y-%m-%d')");
  EXPECT_EQ(mapOracleSql("TRUNC(d, 'Q')", my),
            "(MAKEDATE(YEAR(" + v + "), 1) + INTERVAL (QUARTER(" + v + ") - 1) * 3 MONTH)");
  // Without a model only what is a date whatever the columns hold.
  EXPECT_EQ(mapOracleSql("TRUNC(TO_DATE('2026-12-08 14:05', 'YYYY-MM-DD HH24:MI'))", my),
            "DATE(STR_TO_DATE('2026-12-08 14:05:00', '%Y-%m-%d %H:%i:%s'))");
  EXPECT_EQ(mapOracleSql("TRUNC(SYSDATE)", dialect(SqlBackend::MariaDb, false, false)),
            "DATE(SYSDATE())");
  EXPECT_EQ(mapOracleSql("TRUNC(LAST_DAY(d))", my), "DATE(LAST_DAY(d))");
  // ADD_MONTHS gives the last day of the month for a last day; what it
  // gives is a date.
  EXPECT_EQ(mapOracleSql("TRUNC(ADD_MONTHS(d, n), 'MM')", my),
            "STR_TO_DATE(DATE_FORMAT((ADD_MONTHS(d, n) + INTERVAL IF(DAYOFMONTH(d) = DAYOFMONTH(LAST_DAY(d)), "
            "DATEDIFF(LAST_DAY(ADD_MONTHS(d, n)), ADD_MONTHS(d, n)), 0) DAY), '%Y-%m-01'), '%Y-%m-%d')");
  EXPECT_EQ(mapOracleSql("ADD_MONTHS(d, n + 1)", my), "ADD_MONTHS(d, n + 1)");
  EXPECT_EQ(mapOracleSql("ADD_MONTHS(SYSDATE, 1)", dialect(SqlBackend::MariaDb, false, false)), "ADD_MONTHS(SYSDATE(), 1)");
  EXPECT_EQ(mapOracleSql("NEXT_DAY(e.hired, 'friday')", my),
            "DATE_ADD(e.hired, INTERVAL MOD(12 - DAYOFWEEK(TO_CHAR(e.hired, 'YYYY-MM-DD HH24:MI:SS')), 7) + 1 DAY)");
  EXPECT_EQ(mapOracleSql("NEXT_DAY(d, 'Sunny')", my), "DATE_ADD(d, INTERVAL MOD(7 - DAYOFWEEK(" + v + "), 7) + 1 DAY)");
  const char *const kept[] = {
      "TRUNC(n)",          "ROUND(n)",               "TRUNC(n, 2)",      "ROUND(n, -2)",          "TRUNC(d, 'HH24')",
      "TRUNC(d, 'IW')",    "TRUNC(d, fmt)",          "TRUNC(d + 1, 'Q')", "TRUNC(LAST_DAY(d) + 1)",
      "NEXT_DAY(d, 'FR')", "NEXT_DAY(d, 'Freitag')", "NEXT_DAY(d, day)", "NEXT_DAY(d + 1, 'MON')",
  };
  for (const char *sql : kept) EXPECT_EQ(mapOracleSql(sql, my), sql);
}

TEST(OracleSql, TextSetsOnMariaDb) {
  SqlDialect my = dialect(SqlBackend::MariaDb);
  EXPECT_EQ(mapOracleSql("REPLACE(name, 'a')", my), "NULLIF(REPLACE(name, 'a', ''), '')");
  EXPECT_EQ(mapOracleSql("TRANSLATE(s, ' */''', '___')", my),
            "NULLIF(REPLACE(REPLACE(REPLACE(REPLACE(s, ' ', '_'), '*', '_'), '/', '_'), '''', ''), '')");
  // A character kept as itself is no step; é is one character.
  EXPECT_EQ(mapOracleSql("TRANSLATE(s, 'a9é', '99e')", my), "NULLIF(REPLACE(REPLACE(s, 'a', '9'), 'é', 'e'), '')");
  EXPECT_EQ(mapOracleSql("LTRIM(s, '0')", my), "NULLIF(TRIM(LEADING '0' FROM s), '')");
  EXPECT_EQ(mapOracleSql("RTRIM(s, 'xy')", my), "NULLIF(REGEXP_REPLACE(s, '[xy]+$', ''), '')");
  EXPECT_EQ(mapOracleSql("LTRIM(s, '-^a]')", my), "NULLIF(REGEXP_REPLACE(s, '^[]a^-]+', ''), '')");
  EXPECT_EQ(mapOracleSql("LTRIM(s, '^-')", my), "NULLIF(REGEXP_REPLACE(s, '^[-^]+', ''), '')");
  EXPECT_EQ(mapOracleSql("MOD(m, n)", my), "CASE WHEN n = 0 THEN m ELSE MOD(m, n) END");
  EXPECT_EQ(mapOracleSql("MOD(sal * 2, 0)", my), "CASE WHEN 0 = 0 THEN sal * 2 ELSE MOD(sal * 2, 0) END");
  // A replacement written again by a later one, a set with a backslash
  // (whose meaning in a literal depends on the session), a search that is
  // no literal and a divisor read twice that may change stay.
  const char *const kept[] = {
      "TRANSLATE(s, 'ab', 'ba')", "TRANSLATE(s, 'ab', '')", "TRANSLATE(s, a, b)",   "LTRIM(s, '\\x')",
      "LTRIM(s)",                 "RTRIM(s, '')",           "REPLACE(s, 'a', 'b')", "REPLACE(s, x)",
      "REPLACE(s, '')",           "MOD(m, 4)",              "MOD(m, 2.5)",          "MOD(m, n + 1)",
      "SELECT 7 MOD 2",
  };
  for (const char *sql : kept) EXPECT_EQ(mapOracleSql(sql, my), sql);
  EXPECT_EQ(mapOracleSql("REPLACE(name, 'a')", dialect(SqlBackend::Sqlite)), "REPLACE(name, 'a')");
}

TEST(OracleSql, InstrOccurrencesOnMariaDb) {
  SqlDialect my = dialect(SqlBackend::MariaDb);
  EXPECT_EQ(mapOracleSql("INSTR(s, 'OR', 3)", my), "LOCATE('OR', s, 3)");
  EXPECT_EQ(mapOracleSql("INSTR(s, 'OR', 3, 2)", my), "IF(LOCATE('OR', s, 3) = 0, 0, LOCATE('OR', s, LOCATE('OR', s, 3) + 1))");
  // Backwards: forwards in the reversed text, and the place turned round.
  EXPECT_EQ(mapOracleSql("INSTR(s, 'OR', -3)", my),
            "IF(LOCATE('RO', REVERSE(s), 2) = 0, 0, CHAR_LENGTH(s) - LOCATE('RO', REVERSE(s), 2) - 0)");
  EXPECT_EQ(mapOracleSql("INSTR(t.s, 'é', - 1)", my),
            "IF(LOCATE('é', REVERSE(t.s), 1) = 0, 0, CHAR_LENGTH(t.s) - LOCATE('é', REVERSE(t.s), 1) + 1)");
  EXPECT_EQ(mapOracleSql("INSTR(s, 'abc', -1)", my),
            "IF(LOCATE('cba', REVERSE(s), 1) = 0, 0, CHAR_LENGTH(s) - LOCATE('cba', REVERSE(s), 1) - 1)");
  const char *const kept[] = {
      "INSTR(s, 'OR')",        "INSTR(s, 'OR', 0)",       "INSTR(s, 'OR', 1, 0)", "INSTR(s, 'OR', 1, 5)",
      "INSTR(s, x, 1, 2)",     "INSTR(s, 'OR', p, 2)",    "INSTR(s, '', 1, 2)",   "INSTR(UPPER(s), 'OR', 1, 2)",
      "INSTR(s, 'OR', 1.5, 2)",
  };
  for (const char *sql : kept) EXPECT_EQ(mapOracleSql(sql, my), sql);
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
