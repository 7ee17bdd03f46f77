// The PostgreSQL driver's own pieces: column types by OID, ISO date text
// as the fetch expects it, batch sizes, the DUAL rewrite of the program's
// own statements, and which queries cannot be held past a commit. Its
// server behaviour is tested by the database cases run through it
// (tests/pg/run_pg_cases.sh ... libpq).
#ifdef KELVORDANTIX_HAVE_LIBPQ

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "database/ClassLibrary.h"
#include "database/DateText.h"
#include "database/PgDriver.h"

namespace {

TEST(PgDriver, ServerTypesOfOids) {
  EXPECT_EQ(pgServerTypeOfOid(1042), kServerTypeFixedChar);   // char(n)
  EXPECT_EQ(pgServerTypeOfOid(1043), kServerTypeChar);        // varchar
  EXPECT_EQ(pgServerTypeOfOid(25), kServerTypeChar);          // text
  EXPECT_EQ(pgServerTypeOfOid(1700), kServerTypeNumber);      // numeric
  EXPECT_EQ(pgServerTypeOfOid(20), kServerTypeNumber);        // bigint
  EXPECT_EQ(pgServerTypeOfOid(16), kServerTypeNumber);        // boolean, as ODBC gives it
  EXPECT_EQ(pgServerTypeOfOid(1082), kServerTypeDate);        // date
  EXPECT_EQ(pgServerTypeOfOid(1184), kServerTypeDate);        // timestamptz
  EXPECT_EQ(pgServerTypeOfOid(1083), kServerTypeOther);       // time
  EXPECT_EQ(pgServerTypeOfOid(17), kServerTypeOther);         // bytea
  EXPECT_EQ(pgServerTypeOfOid(790), kServerTypeOther);        // money: its text is no number
}

TEST(PgDriver, DateTextAsTheFetchExpectsIt) {
  struct {
    const char *in, *out;
  } cases[] = {
      {"2026-12-08", "12/08/2026 00:00:00"},
      {"1999-12-31 23:59:58", "12/31/1999 23:59:58"},
      {"2001-01-02 03:04:05.123456", "01/02/2001 03:04:05"},
      {"2001-01-02 03:04:05+00", "01/02/2001 03:04:05"},
      {"2001-01-02 03:04:05.5-05:30", "01/02/2001 03:04:05"},
  };
  for (auto &c : cases) {
    char out[kDateValueTextSize];
    ASSERT_TRUE(pgDateText(c.in, static_cast<int>(std::strlen(c.in)), out)) << c.in;
    EXPECT_STREQ(out, c.out);
  }
  char out[kDateValueTextSize];
  for (const char *text : {"infinity", "0044-03-15 BC", "12345-01-01", "2026-02-30"}) {
    EXPECT_FALSE(pgDateText(text, static_cast<int>(std::strlen(text)), out)) << text;
  }
}

TEST(PgDriver, BatchesOfWideRowsAreCutDown) {
  EXPECT_EQ(pgNextBatchRows(100, 6000), kPgBatchRows);
  EXPECT_EQ(pgNextBatchRows(100, 100 * kPgBatchBytes), 1);
  EXPECT_EQ(pgNextBatchRows(1000, 4 * kPgBatchBytes), 250);
  EXPECT_EQ(pgNextBatchRows(0, 0), kPgBatchRows);
}

TEST(PgDriver, OnlyTheProgramsOwnDualStatementsAreRewritten) {
  std::string out;
  EXPECT_EQ(dualForm("select to_char(sysdate,'dd/mm/yy') as today from dual"), DualForm::DateProbe);
  rewriteDual("select to_char(sysdate,'hh24:mi:ss') as now from dual", out);
  EXPECT_EQ(out.find("select to_char(sysdate,'hh24:mi:ss') as now from (SELECT 'X'"), 0u);
  EXPECT_EQ(out.substr(out.size() - 9), ") AS dual");

  const char *probe = "SELECT 1 AS QORVENTILE FROM DUAL WHERE  3  > dummy";
  EXPECT_EQ(dualForm(probe), DualForm::Condition);
  rewriteDual(probe, out);
  EXPECT_EQ(out.find("SELECT 1 AS QORVENTILE FROM (SELECT "), 0u);
  EXPECT_NE(out.find(") AS dual WHERE  3  > dummy"), std::string::npos);

  for (const char *other : {"SELECT sysdate FROM dual", "select to_char(sysdate,'dd/mm/yy') as today from dual x",
                            "SELECT 1 AS QORVENTILE FROM DUALS WHERE 1=1"}) {
    EXPECT_EQ(dualForm(other), DualForm::None) << other;
    rewriteDual(other, out);
    EXPECT_EQ(out, other);
  }
}

TEST(PgDriver, LockingQueriesAreNotHeld) {
  EXPECT_TRUE(locksRows("SELECT n FROM t FOR UPDATE"));
  EXPECT_TRUE(locksRows("select n from t\nfor  share of t"));
  EXPECT_TRUE(locksRows("SELECT n FROM t FOR NO KEY UPDATE"));
  EXPECT_FALSE(locksRows("SELECT n FROM t"));
  EXPECT_FALSE(locksRows("SELECT format FROM t WHERE updated"));
  EXPECT_FALSE(locksRows("SELECT n FROM t ORDER BY n"));
}

TEST(PgDriver, RefusedConnectionKeepsLibpqsReason) {
  ODatabase db;
  EXPECT_NE(db.Open("pg:host=127.0.0.1 port=1 connect_timeout=5", "scott", "tiger", 0), 0);
  EXPECT_FALSE(db.IsOpen());
  EXPECT_NE(std::string(db.GetServerErrorText()).find("port 1 failed"), std::string::npos) << db.GetServerErrorText();
}

}  // namespace

#endif
