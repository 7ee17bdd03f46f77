// The SQL scanner (comments, quoted text of every form, "&" references and
// "&&") and the lines that show where a server found its error.
#include <gtest/gtest.h>

#include <string>

#include "database/SqlText.h"

namespace {

std::string kept(const char *soFar, const char *line) { return std::string(line, sqlLineLength(soFar, line)); }

TEST(SqlText, CommentCutOnlyInPlainText) {
  EXPECT_EQ(kept("", "SELECT a -- note"), "SELECT a ");
  EXPECT_EQ(kept("", "SELECT '--', \"a--b\" /* -- */ -- x"), "SELECT '--', \"a--b\" /* -- */ ");
  EXPECT_EQ(kept("", "SELECT $$a -- b$$ || 'c'"), "SELECT $$a -- b$$ || 'c'");
  EXPECT_EQ(kept("", "SELECT $q$ $$ -- $q$ -- x"), "SELECT $q$ $$ -- $q$ ");
  EXPECT_EQ(kept("", "SELECT E'it\\'s -- in' -- out"), "SELECT E'it\\'s -- in' ");
  EXPECT_EQ(kept("", "SELECT 'it''s -- in' -- out"), "SELECT 'it''s -- in' ");
  // A quote opened on an earlier line is still open; a $ inside a name or
  // after a reference's name starts no dollar quote.
  EXPECT_EQ(kept("SELECT $$ a ", "-- b $$ -- c"), "-- b $$ ");
  EXPECT_EQ(kept("", "SELECT v$x$ -- c"), "SELECT v$x$ ");
  EXPECT_EQ(kept("", "SELECT &$$DATE$$ -- c"), "SELECT &$$DATE$$ ");
  EXPECT_EQ(kept("", "SELECT $1 -- c"), "SELECT $1 ");
  EXPECT_EQ(kept("", "SELECT 'a' ELSE'b' -- c"), "SELECT 'a' ELSE'b' ");
}

TEST(SqlText, OpenQuotedTextAtTheEnd) {
  EXPECT_TRUE(sqlEndsInPlainText("SELECT 'a', $$b$$, /* c */ 1"));
  EXPECT_FALSE(sqlEndsInPlainText("SELECT $$never closed"));
  EXPECT_FALSE(sqlEndsInPlainText("SELECT 'a"));
  EXPECT_FALSE(sqlEndsInPlainText("SELECT /* a"));
  EXPECT_FALSE(sqlEndsInPlainText("SELECT E'a\\'"));
}

TEST(SqlText, AmpersandsWithTheirPlace) {
  auto found = sqlAmpersands("SELECT &A, 'R&&D', '&B', $$&C$$, & ");
  ASSERT_EQ(found.size(), 5u);
  EXPECT_EQ(found[0].offset, 7u);
  EXPECT_EQ(found[0].nameLength, 1u);
  EXPECT_FALSE(found[0].quoted);
  EXPECT_TRUE(found[1].literal);
  EXPECT_TRUE(found[1].quoted);
  EXPECT_TRUE(found[2].quoted);
  EXPECT_FALSE(found[2].literal);
  EXPECT_TRUE(found[3].quoted);
  EXPECT_EQ(found[4].nameLength, 0u);
  // "&&&N": the pair first, then a reference.
  auto three = sqlAmpersands("2 &&&N");
  ASSERT_EQ(three.size(), 2u);
  EXPECT_TRUE(three[0].literal);
  EXPECT_EQ(three[1].offset, 4u);
  EXPECT_EQ(three[1].nameLength, 1u);
}

std::string place(const char *statement, size_t offset) {
  std::string out;
  appendErrorPlace(out, statement, offset);
  return out;
}

TEST(SqlText, ErrorPlaceLines) {
  EXPECT_EQ(place("SELECT enamex FROM emp", 7), "LINE 1: SELECT enamex FROM emp\n               ^");
  EXPECT_EQ(place("SELECT a\nFROM\tx", 14), "LINE 2: FROM x\n             ^");
  EXPECT_EQ(place("SELECT 'é' + x", 13), "LINE 1: SELECT 'é' + x\n                    ^");
  EXPECT_EQ(place("abc", 3), "LINE 1: abc\n           ^");  // the end of the text
  EXPECT_EQ(place("abc", 4), "");
  // A long line is cut around the place, "..." marking each cut.
  std::string longLine = "SELECT " + std::string(100, 'a') + " + bad + " + std::string(50, 'b');
  std::string shown = place(longLine.c_str(), 110);
  EXPECT_EQ(shown.substr(0, 11), "LINE 1: ...");
  EXPECT_EQ(shown.find('\n'), 8u + 3u + 60u + 3u);
  size_t newline = shown.find('\n');
  size_t caret = shown.size() - 1 - (newline + 1);   // the caret's column
  EXPECT_EQ(shown.back(), '^');
  EXPECT_EQ(shown.substr(caret, 3), "bad");
  EXPECT_EQ(byteOffsetOfCharacter("aé b", 4), 4);
  EXPECT_EQ(byteOffsetOfCharacter("ab", 3), 2);
  EXPECT_EQ(byteOffsetOfCharacter("ab", 4), -1);
  EXPECT_EQ(byteOffsetOfCharacter("ab", 0), -1);
}

}  // namespace
