// UTF-8 text: print cells and display columns, words set by display width,
// titles, centring and underlines in columns, escape marks on whole
// characters, and text values cut at character boundaries.
#include <gtest/gtest.h>

#include <cstring>

#include "FormatterTestJob.h"
#include "formatter/Utf8Text.h"

namespace {

int columns(const char *text) { return displayColumns(text, static_cast<int>(std::strlen(text))); }

TEST(Utf8Text, DisplayColumns) {
  EXPECT_EQ(columns("Mueller"), 7);
  EXPECT_EQ(columns("M\xc3\xbcller"), 6);                // Müller
  EXPECT_EQ(columns("\xc5\x81\xc3\xb3\x64\xc5\xba"), 4);  // Łódź
  EXPECT_EQ(columns("\xce\x91\xce\xb8\xce\xae\xce\xbd\xce\xb1"), 5);  // Αθήνα: ambiguous is narrow
  EXPECT_EQ(columns("\xe6\x9d\xb1\xe4\xba\xac"), 4);      // 東京
  EXPECT_EQ(columns("Cafe\xcc\x81"), 4);                  // e + combining acute
  EXPECT_EQ(columns("caf\xe9 \xff"), 6);                  // Latin-1 bytes: one column each
  EXPECT_EQ(columns("\xe6\x9d"), 2);                      // a cut character: its bytes
  EXPECT_EQ(columns("\xcc\x81x"), 1);                     // a mark without a base joins x
  EXPECT_EQ(columns("\xcc\x81"), 1);
  EXPECT_EQ(columns("\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb"), 2);  // one emoji cluster
}

TEST(Utf8Text, CutsKeepWholeCells) {
  const char *text = "a\xe6\x9d\xb1" "e\xcc\x81z";      // a東éz
  int length = static_cast<int>(std::strlen(text));
  int width = 0;
  EXPECT_EQ(fitColumns(text, length, 2, &width), 1);   // 東 would straddle
  EXPECT_EQ(width, 1);
  EXPECT_EQ(fitColumns(text, length, 4, &width), 7);   // a東é, the mark kept
  EXPECT_EQ(width, 4);
  EXPECT_EQ(fitBytes(text, length, 3), 1);
  EXPECT_EQ(fitBytes(text, length, 5), 4);             // not between e and its mark
  EXPECT_EQ(fitBytes(text, length, 6), 4);
  EXPECT_EQ(fitBytes(text, length, 7), 7);
  EXPECT_EQ(fitBytes(text, length, 99), length);
  EXPECT_EQ(utf8CharBytes("\xe6\x9d\xb1", 3), 3);
  EXPECT_EQ(utf8CharBytes("\xe6\x9d", 2), 1);
}

TEST(FormatterUtf8, WideWordsBreakAndCutBetweenCharacters) {
  TestJob t;
  // Field of 5: "abc" and 東 (2 columns) need 6, so 東 goes to the next line.
  EXPECT_EQ(format(t, {".DT 0 1 5 . .T 0", "abc \xe6\x9d\xb1 ab", "\xe6\x9d\xb1\xe4\xba\xac\xe9\x83\xbd"}),
            "abc\n\xe6\x9d\xb1 ab\n\xe6\x9d\xb1\xe4\xba\xac\n");
  // 東京都 is 6 columns: cut to 東京, the straddling 都 left out.
  EXPECT_EQ(t.err(), "Table=0 Col=1 Width=5 exceeded: 6 \xe6\x9d\xb1\xe4\xba\xac\xe9\x83\xbd\n");
}

TEST(FormatterUtf8, AlignmentCountsColumns) {
  TestJob t;
  EXPECT_EQ(format(t, {".DT 0 1 10 . .T 0 .R \xe6\x9d\xb1\xe4\xba\xac M\xc3\xbc .N"}),
            "   \xe6\x9d\xb1\xe4\xba\xac M\xc3\xbc\n \n");
  TestJob u;
  EXPECT_EQ(format(u, {".DT 0 1 10 . .T 0 .CEN \xe6\x9d\xb1\xe4\xba\xac ."}), "   \xe6\x9d\xb1\xe4\xba\xac\n");
}

TEST(FormatterUtf8, UnderlinesCoverColumns) {
  TestJob t;
  EXPECT_EQ(format(t, {".DT 0 1 8 . .T 0 .UL \xe6\x9d\xb1 e\xcc\x81 ."}),
            "____    \r\xe6\x9d\xb1 e\xcc\x81\n");
  TestJob u;
  EXPECT_EQ(format(u, {".TTLU 6 \xc5\x81\xc3\xb3\x64\xc5\xba .", "x"}),
            " ____ \r \xc5\x81\xc3\xb3\x64\xc5\xba \n\nx\n");
}

// A line whose characters take several bytes each is written whole, well
// past one byte per position.
TEST(FormatterUtf8, LinesOfManyByteCharactersPrintWhole) {
  std::string word;
  for (int i = 0; i < 9; ++i) word += "\xe6\x9d\xb1" "e\xcc\x81";  // 東 and e with a combining acute
  std::string line = word;
  for (int i = 0; i < 9; ++i) line += " " + word;    // ten words of 27 columns
  TestJob t;
  // Nine words fill the 251 columns exactly (1,143 bytes); the tenth breaks.
  std::string out = format(t, {".DT 0 1 251 . .T 0", line.c_str()});
  std::string expected = word;
  for (int i = 0; i < 8; ++i) expected += " " + word;
  expected += "\n" + word + "\n";
  EXPECT_EQ(out, expected);
}

TEST(FormatterUtf8, TitlesCentreAndCutByColumns) {
  TestJob t;
  EXPECT_EQ(feedLines(t, {".TTL 7 \xe6\x9d\xb1\xe4\xba\xac | \xe6\x9d\xb1\xe4\xba\xac\xe9\x83\xbd\xe5\xba\x9c ."}), -1);
  EXPECT_EQ(std::string(t.job->rpf.Title1), " \xe6\x9d\xb1\xe4\xba\xac  ");
  // 8 columns in 7: the fourth character would straddle, a blank takes its place.
  EXPECT_EQ(std::string(t.job->rpf.Title2), "\xe6\x9d\xb1\xe4\xba\xac\xe9\x83\xbd ");
}

TEST(FormatterUtf8, EscapeMarksAWholeCharacter) {
  TestJob t;
  // \Ü is one marked character; a marked blank joins two wide words.
  EXPECT_EQ(format(t, {"\\\xc3\x9c \xe6\x9d\xb1\\ \xe4\xba\xac .N x"}), "\xc3\x9c \xe6\x9d\xb1 \xe4\xba\xac\nx\n");
  TestJob u;
  EXPECT_EQ(format(u, {".DT 0 1 5 . .T 0", "\xe6\x9d\xb1\\ \xe4\xba\xac"}), "\xe6\x9d\xb1 \xe4\xba\xac\n");
}

TEST(TextValues, CutAtCharacterBoundaries) {
  TestJob t;
  for (const char *line : {".DECLARE A A5", ".DECLARE B A4", ".DECLARE C A2",
                           ".SET A \"\xc5\x81\xc3\xb3\x64\xc5\xba\"", ".SET B \xc5\x81\xc3\xb3\x64\xc5\xba",
                           ".SET C \"e\xcc\x81x\""})
    ASSERT_EQ(t.run(line), -1) << line;
  auto value = [&](int i) { return std::string(t.job->vars.entries[t.job->vars.count - 3 + i].textValue); };
  EXPECT_EQ(value(0), "\xc5\x81\xc3\xb3\x64");  // Łód: ź would pass 5 bytes
  EXPECT_EQ(value(1), "\xc5\x81\xc3\xb3");
  EXPECT_EQ(value(2), "");                      // e and its mark are 3 bytes

  TestJob u("\xe6\x9d\xb1\xe4\xba\xac\n");
  ASSERT_EQ(u.run(".DECLARE S A4"), -1);
  ASSERT_EQ(u.run(".ASK \"Stadt?\" S"), -1);
  EXPECT_STREQ(u.job->vars.entries[u.job->vars.count - 1].textValue, "\xe6\x9d\xb1");
}

TEST(TextValues, PrintOfALongValueKeepsWholeCharacters) {
  TestJob t;
  t.job->job.runMode = RunMode::RptOnly;
  ASSERT_EQ(t.run(".DECLARE L A5000"), -1);
  std::string value = "xx";
  while (value.size() < 3000) value += "\xe6\x9d\xb1";  // xx東東...: a 東 spans bytes 1997-1999
  Variable &variable = t.job->vars.entries[t.job->vars.count - 1];
  storeText(variable, value.c_str());
  variable.isNull = 0;
  ASSERT_EQ(t.run(".PRINT L"), -1);
  EXPECT_TRUE(t.out() == value.substr(0, kRpfLineSize - 3) + "\n");
}

}  // namespace
