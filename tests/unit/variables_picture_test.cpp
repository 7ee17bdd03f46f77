// Picture editing of numbers for .PRINT, and the number and blank clean-up
// routines that the substitution and fetch code share.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "driver/Job.h"

namespace {

std::string edit(VariableKind kind, double value, const char *picture) {
  char pictureCopy[1024];
  std::snprintf(pictureCopy, sizeof pictureCopy, "%s", picture);
  Variable v;
  v.kind = kind;
  v.picture = pictureCopy;
  v.layout = readPicture(pictureCopy);
  v.isNull = 0;
  if (kind == VariableKind::Integer) v.intValue = static_cast<int>(value);
  else v.realValue = value;
  char out[kNumberTextSize];
  std::memset(out, 'x', sizeof out);
  applyPicture(v, out);
  EXPECT_STREQ(v.picture, picture) << "the variable's picture must stay";
  return out;
}

constexpr VariableKind I = VariableKind::Integer;
constexpr VariableKind R = VariableKind::Real;

struct PictureCase {
  VariableKind kind;
  double value;
  const char *picture;
  const char *item;
};

TEST(ApplyPicture, WorkedExamples) {
  const PictureCase cases[] = {
      {I, 42, "99999", "42"},
      {I, 42, "00000", "00042"},
      {I, -12, "00000", "00-12"},
      {I, 12345, "99,999", "12,345"},
      {I, 123, "9,999", "123"},
      {I, -5, "9,999", "-5"},
      {I, 0, "$B9999", " "},
      {R, 3.14159, "9999.99", "3.14"},
      {R, 2.345, "999.99", "2.35"},
      {R, 2.5, "999", "3"},
      {R, 0.5, "9999.99", "0.50"},
      {R, 3, "999.99", "3.00"},
      {R, 0, "B999.99", " "},
      {R, 12.5, "$9,999.99", "$12.50"},
      {R, 1234.5, "$9,999.99", "$1,234.50"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(edit(c.kind, c.value, c.picture), c.item) << c.value << " with " << c.picture;
  }
}

// Negative values round half away from zero, mirroring the positive ones.
TEST(ApplyPicture, NegativeValuesRoundAwayFromZero) {
  EXPECT_EQ(edit(R, -2.346, "999.99"), "-2.35");
  EXPECT_EQ(edit(R, -2.344, "999.99"), "-2.34");
  EXPECT_EQ(edit(R, -2.345, "999.99"), "-2.35");
  EXPECT_EQ(edit(R, -2.5, "999"), "-3");
  EXPECT_EQ(edit(R, -0.004, "B9.99"), " ");
  EXPECT_EQ(edit(R, 2.344, "999.99"), "2.34");
}

TEST(ApplyPicture, PrefixFlags) {
  EXPECT_EQ(edit(R, 0.004, "B9.99"), " ");
  EXPECT_EQ(edit(R, 0.005, "B9.99"), "0.01");
  EXPECT_EQ(edit(I, 7, "B$999"), "$7");
  EXPECT_EQ(edit(I, 7, "$B999"), "$7");
  EXPECT_EQ(edit(I, 0, "B$999"), " ");
  EXPECT_EQ(edit(I, 0, "$999"), "$0");
  // Only four looks: a third $ stays in the picture as a literal.
  EXPECT_EQ(edit(I, 12, "$B$999"), "$12");
  EXPECT_EQ(edit(I, 12, "$$$999"), "$12");
}

TEST(ApplyPicture, PositionsAndLiterals) {
  // Literals inside a shown number stay; blanked ones squeeze to one blank.
  EXPECT_EQ(edit(I, 1234567, "9,999,999"), "1,234,567");
  EXPECT_EQ(edit(I, 1234, "9,999,999"), "1,234");
  EXPECT_EQ(edit(I, 5, "9X9"), "5");
  EXPECT_EQ(edit(I, 45, "9X9"), "4X5");
  EXPECT_EQ(edit(I, 45, "09X9"), "04X5");
  EXPECT_EQ(edit(I, 5, "0X9"), "0 5");
  // Decimal literals always stay; extra decimals come out as zeros.
  EXPECT_EQ(edit(R, 1.5, "9.9-9"), "1.5-0");
  EXPECT_EQ(edit(R, 1.25, "9.9"), "1.3");
  EXPECT_EQ(edit(I, 42, "N"), "N");      // no digit positions: only the literal
  EXPECT_EQ(edit(I, INT_MIN, "99999999999"), "-2147483648");
}

// A number that does not fit fills the picture's width (with its $) with
// '#'; one that just fits, a lone leading zero and the sign of a value that
// shows as zero are no overflow.
TEST(ApplyPicture, TooWideFillsTheWidthWithHashes) {
  EXPECT_EQ(edit(R, 3571071428.57, "999,999,999.99"), "##############");
  EXPECT_EQ(edit(R, 999999999.99, "999,999,999.99"), "999,999,999.99");
  EXPECT_EQ(edit(I, 12345, "999"), "###");
  EXPECT_EQ(edit(I, -1234, "9,999"), "#####");   // only the sign has no place
  EXPECT_EQ(edit(I, -999, "9999"), "-999");
  EXPECT_EQ(edit(I, -5, "9"), "#");
  EXPECT_EQ(edit(R, 99.996, "99.99"), "#####");  // rounds to 100.00
  EXPECT_EQ(edit(R, 12.75, "9"), "#");           // rounds to 13
  EXPECT_EQ(edit(I, 1234, "$$$999"), "#####");   // the third $ is a literal position
  EXPECT_EQ(edit(R, 1234.5, "$999.99"), "#######");
  EXPECT_EQ(edit(R, 1234.5, "B$999.99"), "#######");
  EXPECT_EQ(edit(R, 1e20, "999"), "###");
  EXPECT_EQ(edit(I, 42, ".99"), "###");          // no integer positions at all
  EXPECT_EQ(edit(R, 0.5, ".99"), ".50");
  EXPECT_EQ(edit(R, -0.004, "9.99"), "0.00");
  EXPECT_EQ(edit(R, -0.5, ".99"), "###");        // the sign would be lost
  std::string wide = "$9" + std::string(150, 'X');  // cut to the work area
  EXPECT_EQ(edit(I, 12, wide.c_str()), std::string(kNumberTextSize - 1, '#'));
}

TEST(ApplyPicture, ExponentTextIsEditedAsCharacters) {
  EXPECT_EQ(edit(R, 1e20, "999999"), "1e+20");
  EXPECT_EQ(edit(R, 1.5e20, "99999999.99"), "1.5e");
}

TEST(ApplyPicture, PictureLongerThanTheWorkAreaIsCut) {
  std::string picture(300, '9');
  std::string item = edit(I, 42, picture.c_str());
  EXPECT_EQ(item, "42");
  std::string dollars = "$" + std::string(150, '0');
  item = edit(I, 42, dollars.c_str());
  EXPECT_EQ(item.size(), static_cast<size_t>(kNumberTextSize - 1));
  EXPECT_EQ(item.substr(item.size() - 2), "42");
}

TEST(SqueezeBlanks, OneBlankBetweenWords) {
  const struct {
    const char *in, *out;
  } cases[] = {
      {"", ""},
      {"12", "12"},
      {"   -42", "-42"},
      {"  a \t b  ", "a b"},
      {"    ", ""},
      {"\x01x\x1fy\n", "x y"},
      {"\xc3\xa9  \xff", "\xc3\xa9 \xff"},
  };
  for (const auto &c : cases) {
    char buffer[64];
    std::strcpy(buffer, c.in);
    squeezeBlanks(buffer);
    EXPECT_STREQ(buffer, c.out) << '"' << c.in << '"';
  }
}

TEST(NumberText, CanonicalForms) {
  Variable v;
  char out[kNumberTextSize];
  v.kind = VariableKind::Integer;
  v.intValue = -42;
  numberText(v, out);
  EXPECT_STREQ(out, "-42");
  v.intValue = INT_MIN;
  numberText(v, out);
  EXPECT_STREQ(out, "-2147483648");
  v.kind = VariableKind::Real;
  v.realValue = 1234.5;
  numberText(v, out);
  EXPECT_STREQ(out, "1234.5");
  v.realValue = 1.0 / 3;
  numberText(v, out);
  EXPECT_STREQ(out, "0.33333333333333");
  v.realValue = -1e300;
  numberText(v, out);
  EXPECT_STREQ(out, "-1e+300");
}

TEST(RealToInt, TruncatesAndClamps) {
  EXPECT_EQ(realToInt(-7.9), -7);
  EXPECT_EQ(realToInt(7.9), 7);
  EXPECT_EQ(realToInt(3e9), INT_MAX);
  EXPECT_EQ(realToInt(-3e9), INT_MIN);
  EXPECT_EQ(realToInt(-2147483648.9), INT_MIN);
  EXPECT_EQ(realToInt(std::nan("")), 0);
}

}  // namespace
