// The checker's small routines: the nearest known word of a hint, the
// words of a line with their columns, the "&" references of SQL text, and
// what the words after --check name.
#include <gtest/gtest.h>

#include "checker/Checker.h"

namespace {

TEST(CheckerHint, NearestWordWithinTwoEdits) {
  const std::vector<std::string> known = {".PRINT", ".SET", ".SP", ".DEPTHEAD", ".TTL"};
  EXPECT_EQ(nearestWord(".PRNT", known), ".PRINT");
  EXPECT_EQ(nearestWord(".SETT", known), ".SET");
  EXPECT_EQ(nearestWord(".DEPTHAED", known), ".DEPTHEAD");
  EXPECT_EQ(nearestWord(".QQQQQQ", known), "");
  EXPECT_EQ(nearestWord(".X", known), "");       // too short to be a typo of a known word
}

TEST(CheckerWords, ColumnsCountFromOne) {
  const std::string line = "  .set\tx  5";
  const char cut[] = ".SET\0x\0" "5";        // the words as a record holds them
  std::vector<CheckWord> words = placeWords(line, 0, cut, 3);
  ASSERT_EQ(words.size(), 3u);
  EXPECT_EQ(words[0].upper, ".SET");
  EXPECT_EQ(words[0].text, ".set");            // as written, from the line
  EXPECT_EQ(words[0].column, 3);
  EXPECT_EQ(words[1].text, "x");
  EXPECT_EQ(words[1].column, 8);
  EXPECT_EQ(words[2].column, 11);
  // Placed from an offset on (the words after a quote), columns stay the line's.
  std::vector<CheckWord> after = placeWords(line, 7, cut + 5, 2);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].upper, "X");
  EXPECT_EQ(after[0].column, 8);
  EXPECT_EQ(after[1].column, 11);
}

TEST(CheckerReferences, NamesAsTheRunSubstitutesThem) {
  std::vector<SqlReference> refs = sqlReferences("WHERE a = &dept AND b = &$$DATE$$||'x' AND c = & ");
  ASSERT_EQ(refs.size(), 3u);
  EXPECT_EQ(refs[0].name, "DEPT");
  EXPECT_EQ(refs[0].offset, 10);
  EXPECT_EQ(refs[1].name, "$$DATE$$");
  EXPECT_EQ(refs[2].name, "");
}

// The words after --check, as strings: "script|output|connection", "-"
// for a word not given, "refused" for a count no run takes.
std::string readWords(std::vector<std::string> words) {
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(w.data());
  CheckArguments a;
  if (!readCheckArguments(static_cast<int>(argv.size()), argv.data(), &a)) return "refused";
  auto shown = [](const char *word) { return std::string(word ? word : "-"); };
  return shown(a.script) + "|" + shown(a.output) + "|" + shown(a.connection);
}

TEST(CheckerArguments, TwoWordsDecidedByTheSecondsForm) {
  // Written as a connect string: an "@", or a database named by its form.
  EXPECT_EQ(readWords({"r.rpt", "scott/tiger@SALES"}), "r.rpt|-|scott/tiger@SALES");
  EXPECT_EQ(readWords({"r.rpt", "@demo.db"}), "r.rpt|-|@demo.db");
  EXPECT_EQ(readWords({"r.rpt", "demo.db"}), "r.rpt|-|demo.db");
  EXPECT_EQ(readWords({"r.rpt", "data.SQLite3"}), "r.rpt|-|data.SQLite3");
  EXPECT_EQ(readWords({"r.rpt", "sqlite:demo"}), "r.rpt|-|sqlite:demo");
  EXPECT_EQ(readWords({"r.rpt", "postgresql://h/sales"}), "r.rpt|-|postgresql://h/sales");
  EXPECT_EQ(readWords({"r.rpt", "pg:"}), "r.rpt|-|pg:");
  EXPECT_EQ(readWords({"r.rpt", "my:host=db"}), "r.rpt|-|my:host=db");
  EXPECT_EQ(readWords({"r.rpt", "odbc:SALES"}), "r.rpt|-|odbc:SALES");
  EXPECT_EQ(readWords({"r.rpt", " @demo.db"}), "r.rpt|-| @demo.db");
  EXPECT_EQ(readWords({"r.rpt", "out@2026.txt"}), "r.rpt|-|out@2026.txt");  // the "@" wins
  // Anything else is the output file: a bare name is no connect string
  // (a run refuses it as one), and no switch reads as a driver's prefix.
  EXPECT_EQ(readWords({"r.rpt", "out.txt"}), "r.rpt|out.txt|-");
  EXPECT_EQ(readWords({"r.rpt", "-"}), "r.rpt|-|-");
  EXPECT_EQ(readWords({"r.rpt", "SALES"}), "r.rpt|SALES|-");
  EXPECT_EQ(readWords({"r.rpt", "F:I:P:2:3:out.txt"}), "r.rpt|F:I:P:2:3:out.txt|-");
  EXPECT_EQ(readWords({"r.rpt", "report.db.txt"}), "r.rpt|report.db.txt|-");
  EXPECT_EQ(readWords({"r.rpt", ""}), "r.rpt||-");
}

TEST(CheckerArguments, RunLineTakenByPosition) {
  EXPECT_EQ(readWords({"r.rpt"}), "r.rpt|-|-");
  EXPECT_EQ(readWords({"r.rpt", "out.txt", "@demo.db"}), "r.rpt|out.txt|@demo.db");
  // Three words: the second is the output file whatever its form.
  EXPECT_EQ(readWords({"r.rpt", "totals.db", "@demo.db"}), "r.rpt|totals.db|@demo.db");
  EXPECT_EQ(readWords({"r.rpt", "a@b.txt", "SALES"}), "r.rpt|a@b.txt|SALES");
  EXPECT_EQ(readWords({"-", "-", "scott/tiger@demo.db", "30"}), "-|-|scott/tiger@demo.db");
  EXPECT_EQ(readWords({}), "refused");
  EXPECT_EQ(readWords({"r.rpt", "out.txt", "@demo.db", "1", "extra"}), "refused");
}

}  // namespace
