// The checker's small routines: the nearest known word of a hint, the
// words of a line with their columns, and the "&" references of SQL text.
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
  std::vector<CheckWord> words = splitWords("  .set\tx  5");
  ASSERT_EQ(words.size(), 3u);
  EXPECT_EQ(words[0].upper, ".SET");
  EXPECT_EQ(words[0].column, 3);
  EXPECT_EQ(words[1].text, "x");
  EXPECT_EQ(words[1].column, 8);
  EXPECT_EQ(words[2].column, 11);
}

TEST(CheckerReferences, NamesAsTheRunSubstitutesThem) {
  std::vector<SqlReference> refs = sqlReferences("WHERE a = &dept AND b = &$$DATE$$||'x' AND c = & ");
  ASSERT_EQ(refs.size(), 3u);
  EXPECT_EQ(refs[0].name, "DEPT");
  EXPECT_EQ(refs[0].offset, 10);
  EXPECT_EQ(refs[1].name, "$$DATE$$");
  EXPECT_EQ(refs[2].name, "");
}

}  // namespace
