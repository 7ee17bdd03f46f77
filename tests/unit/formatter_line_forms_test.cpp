// The two forms of a line and of its intake: a line kept as plain bytes
// that turns into cells in the middle (a many-byte or wide character, a
// marked blank) and is aligned, centred and printed as before; words found
// in place from masks of the line against the words of the marking pass;
// input bytes blanked in blocks against the byte rule.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "FormatterTestJob.h"

namespace {

TEST(FormatterLineForms, WordsThatNeedCellsJoinAPlainLine) {
  // Widening after an accented word came in behind plain ones.
  TestJob t;
  EXPECT_EQ(format(t, {kNarrow, "aa bb cc dd \xc3\xa9 ee ff gg hh ii"}), "aa  bb cc dd \xc3\xa9 ee ff\ngg hh ii\n");
  // A marked blank is written, so it is no gap to widen.
  TestJob u;
  EXPECT_EQ(format(u, {kNarrow, "aa bb cc d\\ d ee ff gg hh ii"}), "aa  bb  cc d d ee ff\ngg hh ii\n");
  // Right alignment moves a wide character with the plain words.
  TestJob v;
  EXPECT_EQ(format(v, {".DT 0 1 20 . .T 0 .R aa bb \xe6\x97\xa5 cc .N dd ee"}),
            "         aa bb \xe6\x97\xa5 cc\n               dd ee\n");
  // Centring a line that turned into cells.
  TestJob w;
  EXPECT_EQ(format(w, {".DT 0 1 20 . .T 0 .CEN aa \xc3\xa9 bb ."}), "      aa \xc3\xa9 bb\n");
}

TEST(FormatterLineForms, ALineOpenedAgainIsPlainAgain) {
  // The first group ends in cells; the lines of the next one are filled
  // and widened from their bytes, with nothing left of the cells.
  TestJob t;
  EXPECT_EQ(format(t, {kNarrow, "aa bb cc \xe6\x97\xa5 .B dd ee ff gg hh ii jj kk"}),
            "aa bb cc \xe6\x97\xa5\n\ndd ee ff gg hh ii jj\nkk\n");
}

// A small fixed generator, so that every run feeds the same lines.
struct Lines {
  uint32_t seed = 12345;
  uint32_t next(uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  }
  // Words and runs of blanks across the 16- and 64-byte steps of the
  // masks: plain words, high bytes, command words, a blank at either end.
  std::string line() {
    static const char *const kWords[] = {"a", "bb", "word", "caf\xc3\xa9", "\xff", ".N", "#b", ".xyz", "longerwordhere"};
    std::string text(next(3), ' ');
    size_t length = 1 + next(300);
    while (text.size() < length) {
      text += kWords[next(sizeof kWords / sizeof kWords[0])];
      text.append(1 + next(next(4) == 0 ? 20 : 1), ' ');
    }
    if (next(2)) text.pop_back();
    return text;
  }
};

TEST(FormatterLineForms, WordsFoundInPlaceMatchTheMarkingPass) {
  Lines lines;
  for (int round = 0; round < 2000; ++round) {
    std::string text = lines.line();
    RpfPreparedLine prepared;
    ASSERT_TRUE(prepareRpfLine(text.c_str(), prepared));
    // .N at the page is harmless here: the words are looked at, not run.
    TestJob t;
    feedLines(t, {text.c_str()});
    const RpfFormatter &rpf = t.job->rpf;
    ASSERT_EQ(rpf.wordTotal, static_cast<int>(prepared.words.size())) << text;
    for (int w = 0; w < rpf.wordTotal; ++w) {
      const RpfWord &found = rpf.lineWords[w], &marked = prepared.words[static_cast<size_t>(w)];
      EXPECT_EQ(found.start, marked.start) << text;
      EXPECT_EQ(found.length, marked.length) << text;
      EXPECT_EQ(found.command, marked.command) << text;
      EXPECT_EQ(found.ascii, marked.ascii) << text;
    }
  }
}

TEST(FormatterLineForms, InputBytesAreBlankedAsByteByByte) {
  char from[300];
  for (int i = 0; i < 300; ++i) from[i] = static_cast<char>(i * 7 % 256);
  for (size_t offset : {0, 1, 15, 16}) {
    for (size_t n : {0, 1, 15, 16, 17, 255, 283}) {
      char to[300];
      copyInputBytes(to, from + offset, n);
      for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(from[offset + i]);
        char expected = (c >= 32 && c != 127) ? static_cast<char>(c) : ' ';
        ASSERT_EQ(to[i], expected) << "offset " << offset << " n " << n << " byte " << i;
      }
    }
  }
}

}  // namespace
