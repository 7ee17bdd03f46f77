// The report loop and macro runs over the in-memory driver: the rows a
// .REPORT walks and the macros it runs for them, a nested report with the
// outer row's values in its SQL, a server error half way through the rows,
// an interrupted query, and what reaches the server of each.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "TestJob.h"
#include "fake/FakeDriver.h"

namespace {

// A job connected to an in-memory database, with a script loaded.
class ReportLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t_.job->job.runMode = RunMode::RptOnly;
    db_ = std::make_shared<FakeDatabase>();
    ASSERT_EQ(t_.job->db.database.Open(makeFakeDriver(db_), "memory", "scott", "tiger", 0), 0);
    t_.job->db.session = t_.job->db.database.GetSession();
    t_.job->db.session.BeginTransaction();
    t_.job->db.connected = true;
  }

  // The variables DEPT, DNAME and NAME, and the macros of text.
  void load(const std::string &text) {
    for (const char *line : {".DECLARE DEPT 99", ".DECLARE DNAME A14", ".DECLARE NAME A10"}) {
      ASSERT_EQ(t_.run(line), -1) << t_.err();
    }
    script_ = text;
    t_.job->job.input = fmemopen(script_.data(), script_.size(), "rb");
    loadScript(*t_.job);
    runPrepass(*t_.job);
    std::fclose(t_.job->job.input);
    t_.job->job.input = nullptr;
    t_.job->script.cursor = 0;
  }

  static FakeRows rows(std::vector<short> types, std::vector<FakeRow> values) {
    FakeRows rows;
    rows.types = std::move(types);
    rows.rows = std::move(values);
    return rows;
  }

  TestJob t_;
  std::shared_ptr<FakeDatabase> db_;
  std::string script_;
};

const char kDepts[] =
    ".DEFINE DEPTS\n"
    "SELECT deptno, dname FROM dept ORDER BY deptno\n"
    "INTO DEPT DNAME\n"
    "..\n"
    ".DEFINE HEAD\n"
    "head\n"
    ".PRINT DNAME\n"
    "..\n"
    ".DEFINE LINE\n"
    ".PRINT DNAME\n"
    "..\n"
    ".DEFINE FOOT\n"
    "foot\n"
    ".PRINT DEPT\n"
    "..\n";

// The head macro takes the first row, the body every later one, the foot
// runs once after the last and still sees it; the INTO variables are null
// when the loop is done.
TEST_F(ReportLoopTest, HeadBodyAndFootOverTheRows) {
  db_->answer("SELECT deptno, dname FROM dept ORDER BY deptno",
              rows({kServerTypeNumber, kServerTypeChar}, {{"10", "ACCOUNTING"}, {"20", "RESEARCH"}, {"30", "SALES"}}));
  load(kDepts);
  ASSERT_EQ(t_.run(".REPORT DEPTS LINE HEAD FOOT"), -1) << t_.err();
  EXPECT_EQ(t_.out(), "head\nACCOUNTING\nRESEARCH\nSALES\nfoot\n30\n");
  EXPECT_EQ(t_.job->queries.queryDepth, 0);
  EXPECT_EQ(t_.job->vars.entries[0].isNull, 1);

  // No row: neither head nor foot.
  db_->answer("SELECT deptno, dname FROM dept ORDER BY deptno", rows({kServerTypeNumber, kServerTypeChar}, {}));
  ASSERT_EQ(t_.run(".REPORT DEPTS LINE HEAD FOOT"), -1) << t_.err();
  EXPECT_EQ(t_.out(), "head\nACCOUNTING\nRESEARCH\nSALES\nfoot\n30\n");
  // The body macro is the head when none is named; a null prints as two
  // blanks.
  db_->answer("SELECT deptno, dname FROM dept ORDER BY deptno",
              rows({kServerTypeNumber, kServerTypeChar}, {{"40", std::nullopt}, {"50", "OPS"}}));
  std::string before = t_.out();
  ASSERT_EQ(t_.run(".REPORT DEPTS LINE"), -1) << t_.err();
  EXPECT_EQ(t_.out().substr(before.size()), "  \nOPS\n");
  EXPECT_EQ(db_->calls("execute"), "");
}

// The body runs a report of its own, whose SQL takes the outer row's value;
// the outer rows go on after each inner report ends.
TEST_F(ReportLoopTest, NestedReportTakesTheOuterRow) {
  db_->answer("SELECT deptno, dname FROM dept ORDER BY deptno",
              rows({kServerTypeNumber, kServerTypeChar}, {{"10", "ACCOUNTING"}, {"20", "RESEARCH"}}));
  db_->answer("SELECT ename FROM emp WHERE deptno = 10", rows({kServerTypeChar}, {{"KING"}, {"CLARK"}}));
  db_->answer("SELECT ename FROM emp WHERE deptno = 20", rows({kServerTypeChar}, {}));
  load(std::string(kDepts) +
       ".DEFINE EMPS\n"
       "SELECT ename FROM emp WHERE deptno = &DEPT\n"
       "INTO NAME\n"
       "..\n"
       ".DEFINE EMPLINE\n"
       ".PRINT NAME\n"
       "..\n"
       ".DEFINE DEPTLINE\n"
       ".PRINT DNAME\n"
       ".REPORT EMPS EMPLINE\n"
       "..\n");
  ASSERT_EQ(t_.run(".REPORT DEPTS DEPTLINE"), -1) << t_.err();
  EXPECT_EQ(t_.out(), "ACCOUNTING\nKING\nCLARK\nRESEARCH\n");
  EXPECT_EQ(db_->calls("open"),
            "open SELECT deptno, dname FROM dept ORDER BY deptno|open SELECT ename FROM emp WHERE deptno = 10|"
            "open SELECT ename FROM emp WHERE deptno = 20");
  EXPECT_EQ(t_.job->queries.queryDepth, 0);
  EXPECT_EQ(t_.job->queries.cumInto, 0);
}

// A row that fails after others were reported is the query's server
// error: the three lines with the query's text, the work rolled back, the
// connection closed, exit status 1.
TEST_F(ReportLoopTest, ServerErrorHalfWayThroughTheRows) {
  FakeRows depts = rows({kServerTypeNumber, kServerTypeChar}, {{"10", "ACCOUNTING"}, {"20", "RESEARCH"}, {"30", "X"}});
  depts.failRow = 2;
  depts.errorNumber = 1722;
  depts.errorText = "invalid number";
  db_->answer("SELECT deptno, dname FROM dept ORDER BY deptno", depts);
  load(std::string(kDepts) +
       ".DEFINE LOGGED\n"
       "INSERT INTO log VALUES (&DEPT)\n"
       "..\n"
       ".DEFINE BODY\n"
       ".PRINT DNAME\n"
       ".LOGGED\n"
       "..\n");
  EXPECT_EQ(t_.run(".REPORT DEPTS BODY"), 1);
  EXPECT_NE(t_.err().find("Kelvordantix: FAKE Error Number 1722\ninvalid number\n"
                          "SELECT deptno, dname FROM dept ORDER BY deptno \n"),
            std::string::npos)
      << t_.err();
  EXPECT_EQ(db_->calls("execute"), "execute INSERT INTO log VALUES ( 10 )|execute INSERT INTO log VALUES ( 20 )");
  EXPECT_TRUE(db_->committed().empty());
  EXPECT_EQ(db_->calls("rollback"), "rollback");
  EXPECT_EQ(db_->calls("close"), "close");
  EXPECT_FALSE(t_.job->db.database.IsOpen());
}

// A statement of a body macro that fails ends the report the same way,
// with the statement's own text.
TEST_F(ReportLoopTest, FailingStatementInTheBody) {
  db_->answer("SELECT deptno, dname FROM dept ORDER BY deptno",
              rows({kServerTypeNumber, kServerTypeChar}, {{"10", "O'Neil"}, {"20", "B"}}));
  db_->fail("UPDATE dept SET dname = 'O''Neil' WHERE deptno = 10", 1, "no such table: dept2");
  load(std::string(kDepts) +
       ".DEFINE TOUCH\n"
       "UPDATE dept SET dname = &DNAME WHERE deptno = &DEPT\n"
       "..\n");
  EXPECT_EQ(t_.run(".REPORT DEPTS TOUCH"), 1);
  EXPECT_NE(t_.err().find("Kelvordantix: FAKE Error Number 1\nno such table: dept2\n"
                          "UPDATE dept SET dname =  'O''Neil'  WHERE deptno =  10  \n"),
            std::string::npos)
      << t_.err();
  EXPECT_EQ(db_->calls("open"), "open SELECT deptno, dname FROM dept ORDER BY deptno");
  EXPECT_EQ(db_->calls("rollback"), "rollback");
}

// Work committed by .COMMIT in a body stays; what follows it is undone by
// a later failure.
TEST_F(ReportLoopTest, CommitInTheBodyKeepsWhatCameBefore) {
  db_->answer("SELECT deptno, dname FROM dept ORDER BY deptno",
              rows({kServerTypeNumber, kServerTypeChar}, {{"10", "A"}, {"20", "B"}, {"30", "C"}}));
  db_->fail("INSERT INTO log VALUES ( 30 )", 1, "disk full");
  load(std::string(kDepts) +
       ".DEFINE LOGGED\n"
       "INSERT INTO log VALUES (&DEPT)\n"
       "..\n"
       ".DEFINE BODY\n"
       ".LOGGED\n"
       ".IF \"&DEPT = 10\" THEN KEEP\n"
       ".GOTO DONE\n"
       ".&KEEP\n"
       ".COMMIT\n"
       ".&DONE\n"
       "..\n");
  FakeRows yes = rows({kServerTypeNumber}, {{"1"}});
  db_->answer("SELECT 1 AS QORVENTILE FROM DUAL WHERE 10 = 10", yes);
  for (const char *other : {"20", "30"}) {
    db_->answer(std::string("SELECT 1 AS QORVENTILE FROM DUAL WHERE ") + other + " = 10", rows({kServerTypeNumber}, {}));
  }
  EXPECT_EQ(t_.run(".REPORT DEPTS BODY"), 1) << t_.err();
  EXPECT_EQ(db_->committed(), std::vector<std::string>{"INSERT INTO log VALUES ( 10 )"});
  EXPECT_EQ(db_->calls("execute"), "execute INSERT INTO log VALUES ( 10 )|execute INSERT INTO log VALUES ( 20 )|"
                                   "execute INSERT INTO log VALUES ( 30 )");
}

// An interrupt from another thread cuts a long query short; without a stop
// of the job it is the query's server error, and the job ends.
TEST_F(ReportLoopTest, InterruptedQueryEndsTheJob) {
  FakeRows slow = rows({kServerTypeNumber, kServerTypeChar}, {{"10", "A"}});
  slow.waitForInterrupt = true;
  db_->answer("SELECT deptno, dname FROM dept ORDER BY deptno", slow);
  load(kDepts);
  std::atomic<bool> done{false};
  std::thread other([&] {
    while (!done.load()) {
      interruptDatabases();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  auto start = std::chrono::steady_clock::now();
  int status = t_.run(".REPORT DEPTS LINE HEAD FOOT");
  done.store(true);
  other.join();
  EXPECT_EQ(status, 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_NE(t_.err().find(std::string("Kelvordantix: FAKE Error Number 1013\n") + kFakeCancelledText + "\n"),
            std::string::npos)
      << t_.err();
  EXPECT_EQ(t_.out(), "");
  EXPECT_EQ(db_->calls("rollback"), "rollback");
}

// A SELECT macro run on its own fetches only its first row; .EXECUTE of a
// query without rows leaves its INTO variables null.
TEST_F(ReportLoopTest, ExecuteFetchesTheFirstRowOnly) {
  db_->answer("SELECT deptno, dname FROM dept ORDER BY deptno",
              rows({kServerTypeNumber, kServerTypeChar}, {{"10", "ACCOUNTING"}, {"20", "RESEARCH"}}));
  load(kDepts);
  ASSERT_EQ(t_.run(".EXECUTE DEPTS"), -1) << t_.err();
  ASSERT_EQ(t_.run(".PRINT DNAME"), -1);
  db_->answer("SELECT deptno, dname FROM dept ORDER BY deptno", rows({kServerTypeNumber, kServerTypeChar}, {}));
  ASSERT_EQ(t_.run(".EXECUTE DEPTS"), -1) << t_.err();
  EXPECT_EQ(t_.job->vars.entries[1].isNull, 1);
  EXPECT_EQ(t_.out(), "ACCOUNTING\n");
  EXPECT_EQ(t_.job->queries.queryDepth, 0);
}

// .IF hands its condition to the server as one probe query, with the
// variables substituted; a null compares as NULL and takes the ELSE label;
// a condition the server refuses shows the line, cut before its closing
// quote, ahead of the server's error.
TEST_F(ReportLoopTest, ConditionIsAProbeQuery) {
  const char probe[] = "SELECT 1 AS QORVENTILE FROM DUAL WHERE ";
  db_->answer(std::string(probe) + "'SALES' = 'SALES'", rows({kServerTypeNumber}, {{"1"}}));
  db_->answer(std::string(probe) + "NULL = 'SALES'", rows({kServerTypeNumber}, {}));
  db_->fail(std::string(probe) + "'X''Y' = 'SALES'", 904, "invalid identifier");
  load(".DEFINE CHECK\n"
       ".IF \"&DNAME = 'SALES'\" then YES else NO\n"
       ".&YES\n"
       "yes\n"
       ".GOTO END\n"
       ".&NO\n"
       "no\n"
       ".&END\n"
       "..\n");
  ASSERT_EQ(t_.run(".SET DNAME \"SALES\""), -1) << t_.err();
  ASSERT_EQ(t_.run(".CHECK"), -1) << t_.err();
  t_.job->vars.entries[1].isNull = 1;    // DNAME
  ASSERT_EQ(t_.run(".CHECK"), -1) << t_.err();
  EXPECT_EQ(t_.out(), "yes\nno\n");
  ASSERT_EQ(t_.run(".SET DNAME \"X'Y\""), -1) << t_.err();
  EXPECT_EQ(t_.run(".CHECK"), 1);
  EXPECT_NE(t_.err().find(".IF \"&DNAME = 'SALES'\nKelvordantix: FAKE Error Number 904\ninvalid identifier\n" +
                          std::string(probe) + " 'X''Y'  = 'SALES'\n"),
            std::string::npos)
      << t_.err();
  EXPECT_EQ(db_->calls("rollback"), "rollback");
}

// A connection the server refuses keeps the reason, without the password
// written in it.
TEST(FakeConnect, RefusedConnectionMasksThePassword) {
  auto db = std::make_shared<FakeDatabase>();
  db->refuseConnections("login failed for password=tiger");
  ODatabase database;
  EXPECT_NE(database.Open(makeFakeDriver(db), "memory", "scott", "tiger", 0), 0);
  EXPECT_FALSE(database.IsOpen());
  EXPECT_EQ(database.ServerErrorNumber(), -1);
  EXPECT_STREQ(database.GetServerErrorText(), "login failed for password=***");
  EXPECT_EQ(db->log(), std::vector<std::string>{"connect memory"});
}

}  // namespace
