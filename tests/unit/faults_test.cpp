// Faults a job must survive without a wrong result: SQL comments that end
// at their line, non-finite numbers kept out of SQL, SQLite result sets
// that keep the rows of their opening while the job writes, interrupting a
// long query, the time limit, and the report file that replaces its target
// only when the job succeeds.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "TestJob.h"
#include "database/SqlText.h"
#include "output/ReportFile.h"

namespace {

TEST(SqlText, LineCommentEndsAtItsLine) {
  struct {
    const char *before, *line;
    int kept;
  } cases[] = {
      {"", "DELETE FROM EMP -- dept 10 only", 16},
      {"", "-- a whole line", 0},
      {"", "WHERE DEPTNO = 10", 17},
      {"", "SELECT '--' FROM t -- cut", 19},
      {"", "SELECT \"a--b\" FROM t", 20},
      {"", "SELECT 'it''s' -- cut", 15},
      {"", "SELECT 1 /* -- inside */ -- cut", 25},
      {"SELECT 'open ", "text -- still quoted' FROM t", 28},
      {"SELECT 1 /* open ", "-- in the block */ FROM t -- cut", 26},
      {"SELECT 'done' ", "FROM t -- cut", 7},
      {"", "SELECT 5 - -3", 13},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(sqlLineLength(c.before, c.line), c.kept) << c.before << "|" << c.line;
  }
}

TEST(SqlText, OnlyFiniteNumbersHaveAnSqlValue) {
  Variable v;
  v.kind = VariableKind::Real;
  v.isNull = 0;
  v.realValue = 2.5;
  EXPECT_TRUE(hasSqlValue(v));
  for (double bad : {INFINITY, -INFINITY, NAN}) {
    v.realValue = bad;
    EXPECT_FALSE(hasSqlValue(v));
  }
  v.isNull = 1;                         // a null writes NULL, whatever the value
  EXPECT_TRUE(hasSqlValue(v));
}

// A fresh database file with a small table.
class HeldRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kelvordantix_faults_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/test.db";
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "create table t(k integer, r real, s text, d date, n text);"
                           "insert into t values(1, 1.5, 'one', '1980-12-17', null),"
                           "(2, 2.25, 'two', '1981-02-20 10:30:00', null),(3, 3.0, 'three', null, 'x');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    ASSERT_EQ(db_.Open(path_.c_str(), "", "", 0), 0);
    db_.GetSession().BeginTransaction();
  }
  void TearDown() override {
    db_.Close();
    std::system(("rm -rf " + dir_).c_str());
  }

  // Every value of the row the set stands on, as the layer gives it.
  std::string row(ODynaset &set) {
    std::string text;
    for (int i = 0; i < set.GetFieldCount(); ++i) {
      OValue value;
      set.GetFieldValue(i, &value);
      text += std::to_string(set.GetFieldServerType(i)) + ":";
      text += value.IsNull() ? "<null>" : static_cast<const char *>(value);
      text += "/" + std::to_string(static_cast<double>(value)) + "/" + std::to_string(static_cast<long>(value)) + " ";
    }
    return text;
  }

  std::string dir_, path_;
  ODatabase db_;
};

// The rows read after a write are those of the opening, value for value.
TEST_F(HeldRowsTest, WritesDuringAResultSetAreNotSeenByIt) {
  const char *query = "select k, r, s, d, n, k * 2 from t order by k";
  std::string live;
  {
    ODynaset set;
    ASSERT_EQ(set.Open(db_, query, 0), 0);
    for (; !set.IsEOF(); set.MoveNext()) live += row(set) + "\n";
  }
  ODynaset set;
  ASSERT_EQ(set.Open(db_, query, 0), 0);
  std::string held = row(set) + "\n";
  ASSERT_EQ(db_.ExecuteSQL("insert into t select k + 10, r, s, d, n from t"), 0);
  for (set.MoveNext(); !set.IsEOF(); set.MoveNext()) {
    held += row(set) + "\n";
    ASSERT_EQ(db_.ExecuteSQL("update t set s = 'changed'; insert into t values(99, 0, '', null, null)"), 0);
  }
  EXPECT_EQ(held, live);
  // Back to the first row: still the rows of the opening.
  set.MoveFirst();
  EXPECT_EQ(row(set) + "\n", live.substr(0, live.find('\n') + 1));
  EXPECT_EQ(set.GetRecordCount(), 3);
}

// A report whose body inserts into the table it reads comes to an end.
TEST_F(HeldRowsTest, AQueryThatWritesHoldsTheOthers) {
  ODynaset set;
  ASSERT_EQ(set.Open(db_, "select k from t", 0), 0);
  int rows = 0;
  for (; !set.IsEOF() && rows < 100; set.MoveNext()) {
    ++rows;
    ODynaset returning;
    ASSERT_EQ(returning.Open(db_, "insert into t(k) values(7) returning k", 0), 0) << db_.GetServerErrorText();
  }
  EXPECT_EQ(rows, 3);
}

// A failing row read ahead is reported when the set reaches it.
TEST_F(HeldRowsTest, AnErrorReadAheadIsReportedAtItsRow) {
  ASSERT_EQ(db_.ExecuteSQL("create table e(k integer, v text);"
                           "insert into e values(1, '2020-01-01'), (2, '2021-01-01'), (3, 'abc')"),
            0);
  ODynaset set;
  ASSERT_EQ(set.Open(db_, "select to_char(v, 'yyyy') from e", 0), 0);
  ASSERT_EQ(db_.ExecuteSQL("insert into t(k) values(4)"), 0);
  ASSERT_EQ(set.MoveNext(), 0);
  EXPECT_NE(set.MoveNext(), 0);
  EXPECT_STREQ(db_.GetServerErrorText(), "to_char(): value is not a date");
}

// A long query comes back when the open databases are interrupted.
TEST_F(HeldRowsTest, InterruptEndsALongQuery) {
  std::atomic<bool> done{false};
  std::thread other([&] {
    while (!done.load()) {
      interruptDatabases();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  ODynaset set;
  int rc = set.Open(db_, "with recursive c(x) as (select 1 union all select x + 1 from c) select count(*) from c", 0);
  done.store(true);
  other.join();
  EXPECT_NE(rc, 0);
  EXPECT_EQ(db_.ServerErrorNumber(), SQLITE_INTERRUPT);
}

// --- Whole jobs in-process ------------------------------------------------------

class FileJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kelvordantix_report_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

  std::string path(const char *name) { return dir_ + "/" + name; }
  void put(const char *name, const std::string &text) { std::ofstream(path(name)) << text; }
  std::string get(const char *name) {
    std::ifstream in(path(name));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Every name in the directory, hidden ones included.
  std::string listing() { return command("ls -A " + dir_); }
  static std::string command(const std::string &line) {
    std::string text;
    FILE *p = popen(line.c_str(), "r");
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p)) text += buffer;
    pclose(p);
    return text;
  }
  // Run a job with these positional arguments (options first if any).
  int run(TestJob &t, std::vector<std::string> args) {
    args.insert(args.begin(), "kelvordantix");
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    t.job->job.report.close();
    return runJob(*t.job, static_cast<int>(args.size()), argv.data());
  }

  std::string dir_;
};

TEST_F(FileJobTest, ReportReplacesItsFileOnlyWhenTheJobSucceeds) {
  put("good.rpf", "new report .N\n");
  put("bad.rpf", "half a report .N\n.T 5\n");
  put("out.txt", "old report\n");
  chmod(path("out.txt").c_str(), 0640);
  {
    TestJob t;
    EXPECT_EQ(run(t, {path("bad.rpf"), path("out.txt")}), 1);
    EXPECT_EQ(get("out.txt"), "old report\n");
    EXPECT_EQ(listing(), "bad.rpf\ngood.rpf\nout.txt\n");
  }
  {
    TestJob t;
    EXPECT_EQ(run(t, {path("good.rpf"), path("out.txt")}), 0) << t.err();
    EXPECT_EQ(get("out.txt").substr(0, 11), "new report\n");
    EXPECT_EQ(listing(), "bad.rpf\ngood.rpf\nout.txt\n");
    struct stat info;
    ASSERT_EQ(stat(path("out.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);   // the replaced file's mode
  }
}

TEST_F(FileJobTest, LinkedReportIsReplacedThroughTheLink) {
  put("good.rpf", "new report .N\n");
  put("real.txt", "old\n");
  ASSERT_EQ(symlink("real.txt", path("link.txt").c_str()), 0);
  TestJob t;
  EXPECT_EQ(run(t, {path("good.rpf"), path("link.txt")}), 0) << t.err();
  struct stat info;
  ASSERT_EQ(lstat(path("link.txt").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(get("real.txt").substr(0, 11), "new report\n");
}

TEST_F(FileJobTest, InputAndOutputMustDiffer) {
  put("job.rpf", "text .N\n");
  ASSERT_EQ(symlink("job.rpf", path("alias.rpf").c_str()), 0);
  TestJob t;
  EXPECT_EQ(run(t, {path("job.rpf"), path("alias.rpf")}), 1);
  EXPECT_EQ(get("job.rpf"), "text .N\n");
  EXPECT_NE(t.err().find("Output File Open Fail\n" + path("alias.rpf") + ": is the input file\n"), std::string::npos)
      << t.err();
}

TEST_F(FileJobTest, TimeLimitEndsAJobTheNormalWay) {
  put("loop.rpf", ".N\n");
  put("t.db", "");
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(path("t.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "create table t(n integer);", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  put("loop.rpt",
      ".DEFINE INS\nINSERT INTO t VALUES (1)\n..\n.INS\n.COMMIT\n.INS\nwritten .N\n.&AGAIN\n.GOTO AGAIN\n");
  put("out.txt", "old\n");
  TestJob t;
  EXPECT_EQ(run(t, {"--timeout=1", path("loop.rpt"), path("out.txt"), "a/b@" + path("t.db")}), 1);
  std::string err = t.err();
  EXPECT_NE(err.find("Job Stopped: --timeout=1 reached\nKelvordantix: "), std::string::npos) << err;
  EXPECT_EQ(get("out.txt"), "old\n");
  EXPECT_EQ(command("sqlite3 " + path("t.db") + " 'select count(*) from t'"), "1\n");
}

// Each kind of failure has its own exit status with --exit-status=detailed
// (or KELVORDANTIX_EXIT_STATUS=detailed), and 1 without.
TEST_F(FileJobTest, DetailedExitStatuses) {
  command("sqlite3 " + path("t.db") + " 'create table t(n integer)'");
  put("ok.rpt", "text\n");
  put("jump.rpt", ".GOTO NOWHERE\n");
  put("sql.rpt", ".DEFINE X\nSELECT nope FROM t\n..\n.X\n");
  const std::string db = "@" + path("t.db"), out = path("out.txt");
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{path("ok.rpt")}, 2},                                  // one argument
      {{"--format=word", path("ok.rpt"), out}, 2},            // a bad option value
      {{path("ok.rpt"), out, "scott/tiger"}, 2},              // no database named
      {{path("ok.rpt"), out, "@" + path("missing.db")}, 3},  // no such database
      {{path("jump.rpt"), out, db}, 1},
      {{path("missing.rpt"), out, db}, 1},
      {{path("sql.rpt"), out, db}, 4},
      {{path("ok.rpt"), path("no/out.txt"), db}, 5},
  };
  for (Case &c : cases) {
    TestJob simple, detailed;
    EXPECT_EQ(run(simple, c.args), 1) << c.args[0];
    c.args.insert(c.args.begin(), "--exit-status=detailed");
    EXPECT_EQ(run(detailed, c.args), c.status) << c.args[1] << detailed.err();
  }
  setenv("KELVORDANTIX_EXIT_STATUS", "detailed", 1);
  TestJob fromEnvironment, overridden;
  EXPECT_EQ(run(fromEnvironment, {path("ok.rpt"), out, "@" + path("missing.db")}), 3);
  EXPECT_EQ(run(overridden, {"--exit-status=simple", path("ok.rpt"), out, "@" + path("missing.db")}), 1);
  unsetenv("KELVORDANTIX_EXIT_STATUS");
}

}  // namespace

// Formatter-only input is read a block at a time: lines that straddle a
// block, control characters, a line of the largest length and a last line
// without a newline all arrive as their words; a longer line ends the job.
TEST_F(FileJobTest, RpfInputLinesAcrossBlocks) {
  std::string input, words;
  for (int n = 0; input.size() < 150000; ++n) {
    std::string word = "w" + std::to_string(n);
    words += word + " ";
    input += word;
    // .B prints what the group holds, before it reaches its 100 lines.
    input += n % 97 == 0 ? "\n.B\n" : n % 31 == 0 ? "\t" : n % 53 == 0 ? "\r\n" : " ";
  }
  std::string longest(900, 'x');
  for (size_t i = 9; i < longest.size(); i += 10) longest[i] = ' ';
  input += "\n" + longest + "\nlast";
  for (size_t i = 0; i + 9 < longest.size(); i += 10) words += longest.substr(i, 9) + " ";
  words += "last ";
  put("in.rpf", input);
  {
    TestJob t;
    ASSERT_EQ(run(t, {path("in.rpf"), path("out.txt")}), 0) << t.err();
    std::istringstream report(get("out.txt"));
    std::string word, seen;
    while (report >> word) seen += word + " ";
    EXPECT_EQ(seen, words);
  }
  put("in.rpf", input + "\n" + longest + "y\n");
  {
    TestJob t;
    EXPECT_EQ(run(t, {path("in.rpf"), path("out.txt")}), 1);
    EXPECT_NE(t.err().find("line too big\n"), std::string::npos) << t.err();
  }
}
