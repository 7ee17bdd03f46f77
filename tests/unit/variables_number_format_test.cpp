// The printf-free number texts (formatInteger, formatGeneral, formatFixed)
// against snprintf, byte for byte, over millions of random doubles and the
// edge cases of rounding and notation: ties at the last shown digit, the
// switch to exponent notation, 1e15..1e17, denormals, negative zero,
// NaN and infinities. The sanitizer build runs a twentieth of the values.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "driver/Job.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr long kScale = 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr long kScale = 20;
#else
constexpr long kScale = 1;
#endif
#else
constexpr long kScale = 1;
#endif

// Counts the values whose two texts differ and keeps the first few.
struct Tally {
  long checked = 0;
  long differing = 0;
  std::string examples;

  void compare(const char *expected, const char *actual, double value, const char *format) {
    ++checked;
    if (std::strcmp(expected, actual) == 0) return;
    if (++differing > 5) return;
    char line[700];
    std::snprintf(line, sizeof line, "%s of %a: printf \"%s\", ours \"%s\"\n", format, value, expected, actual);
    examples += line;
  }
};

// "%*.*g" both ways.
void checkGeneral(Tally &tally, double value, int width, int precision) {
  char expected[512], actual[512];
  std::snprintf(expected, sizeof expected, "%*.*g", width, precision, value);
  int length = formatGeneral(actual, sizeof actual, value, width, precision);
  if (length != static_cast<int>(std::strlen(expected))) std::snprintf(actual, sizeof actual, "length %d", length);
  tally.compare(expected, actual, value, "%.*g");
}

// "%*.*f" both ways; the buffer holds the widest double with 20 decimals.
void checkFixed(Tally &tally, double value, int width, int decimals) {
  char expected[400], actual[400];
  std::snprintf(expected, sizeof expected, "%*.*f", width, decimals, value);
  int length = formatFixed(actual, sizeof actual, value, width, decimals);
  if (length != static_cast<int>(std::strlen(expected))) std::snprintf(actual, sizeof actual, "length %d", length);
  tally.compare(expected, actual, value, "%.*f");
}

// The number texts the row path uses: "%12d" and "%20.14g".
void checkRowForms(Tally &tally, double value) {
  checkGeneral(tally, value, 20, 14);
  checkGeneral(tally, value, 0, 14);
}

// Any 64 bits as a double: every exponent, denormals, NaNs with payloads.
double anyBits(std::mt19937_64 &random) {
  uint64_t bits = random();
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A denormal of either sign: exponent bits zero, random mantissa.
double denormal(std::mt19937_64 &random) {
  uint64_t bits = random() & 0x800fffffffffffffULL;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Uniform in the exponent: magnitudes between 10^low and 10^high, either sign.
double logUniform(std::mt19937_64 &random, double low, double high) {
  std::uniform_real_distribution<double> exponent(low, high);
  double value = std::pow(10.0, exponent(random));
  return (random() & 1) ? -value : value;
}

#define EXPECT_ALL_EQUAL(tally) \
  EXPECT_EQ((tally).differing, 0) << (tally).differing << " of " << (tally).checked << " differ:\n" << (tally).examples

TEST(NumberFormat, GeneralMatchesPrintfOnEdgeValues) {
  Tally tally;
  const double edges[] = {0.0, -0.0, 1.0, -1.0, 0.5, 2.5, 1e14, 1e15, 1e16, 1e17, 99999999999999.5,
                          999999999999995.0, 1e-4, 9.99999999999995e-5, 1e-5, DBL_MAX, -DBL_MAX, DBL_MIN,
                          DBL_TRUE_MIN, -DBL_TRUE_MIN, HUGE_VAL, -HUGE_VAL, std::nan(""), -std::nan(""),
                          1.0 / 3, 2.0 / 3, 0.1, 0.2, 0.3, 1234.5, 3571071428.57};
  for (double value : edges) {
    for (int precision = 0; precision <= 20; ++precision) checkGeneral(tally, value, 20, precision);
  }
  // Powers of ten and their neighbours: where the notation and digit count change.
  for (int exponent = -320; exponent <= 308; ++exponent) {
    double power = std::pow(10.0, exponent);
    for (double value : {power, std::nextafter(power, 0.0), std::nextafter(power, HUGE_VAL), -power}) {
      checkRowForms(tally, value);
    }
  }
  EXPECT_ALL_EQUAL(tally);
}

TEST(NumberFormat, GeneralMatchesPrintfOnMillionsOfValues) {
  std::mt19937_64 random(20261208);
  Tally tally;
  const long rounds = 250000 / kScale;
  std::uniform_int_distribution<int64_t> digits13(1000000000000, 9999999999999);
  std::uniform_int_distribution<int64_t> digits15(100000000000000, 999999999999999);
  std::uniform_real_distribution<double> wide(1e15, 1e17);
  for (long i = 0; i < rounds; ++i) {
    checkRowForms(tally, anyBits(random));
    checkRowForms(tally, logUniform(random, -20, 20));
    checkRowForms(tally, wide(random));
    // Integers of 15 to 17 digits: exact, so a 5 in the 15th digit is a tie.
    checkRowForms(tally, static_cast<double>(static_cast<int64_t>(wide(random)) / 10 * 10 + 5));
    checkRowForms(tally, static_cast<double>(digits15(random) / 10 * 10 + 5));
    // 13 or 14 digits and a half: an exact tie at the 15th digit.
    checkRowForms(tally, static_cast<double>(digits13(random)) + 0.5);
    checkRowForms(tally, static_cast<double>(digits13(random)) / 10 + 0.05);
    checkRowForms(tally, denormal(random));
    checkGeneral(tally, anyBits(random), 0, static_cast<int>(random() % 18));
  }
  EXPECT_ALL_EQUAL(tally);
}

// Decimals of a few places, as amounts are: the values the short path
// writes without to_chars, every precision and field width, and buffers
// just too small for the text.
TEST(NumberFormat, GeneralMatchesPrintfOnShortDecimals) {
  std::mt19937_64 random(912);
  Tally tally;
  const double scales[] = {1, 10, 100, 1000, 1e4, 1e5, 1e6, 1e7, 1e8};
  const long rounds = 200000 / kScale;
  for (long i = 0; i < rounds; ++i) {
    int64_t digits = static_cast<int64_t>(random() >> (random() % 64));
    if (random() & 1) digits = -digits;
    double value = static_cast<double>(digits) / scales[random() % 9];
    checkGeneral(tally, value, static_cast<int>(random() % 24), static_cast<int>(random() % 18));
    checkRowForms(tally, value);
    char expected[64], actual[64];
    int size = std::snprintf(expected, sizeof expected, "%.14g", value);
    EXPECT_EQ(formatGeneral(actual, size, value, 0, 14), -1) << expected;
  }
  for (double value : {0.0001, 0.00012, 0.00001, -0.0001, 1e13, 99999999999999.0, 123456789012345.0, 0.1 + 0.2})
    for (int precision = 0; precision <= 17; ++precision) checkGeneral(tally, value, 0, precision);
  EXPECT_ALL_EQUAL(tally);
}

TEST(NumberFormat, FixedMatchesPrintf) {
  std::mt19937_64 random(8122026);
  Tally tally;
  for (double value : {0.0, -0.0, 0.5, 1.5, 2.5, -2.5, 0.125, 0.375, 1e15, 1e17, 1e22, DBL_MAX, DBL_TRUE_MIN,
                       HUGE_VAL, -HUGE_VAL, std::nan(""), -std::nan("")}) {
    for (int decimals = 0; decimals <= 20; ++decimals) checkFixed(tally, value, 12, decimals);
  }
  const long rounds = 250000 / kScale;
  std::uniform_int_distribution<int64_t> cents(-99999999999, 99999999999);
  for (long i = 0; i < rounds; ++i) {
    int decimals = static_cast<int>(random() % 21);
    checkFixed(tally, logUniform(random, -12, 18), 0, decimals);
    // Exact binary fractions: ties at the last decimal shown.
    checkFixed(tally, static_cast<double>(cents(random)) / 8, 12, static_cast<int>(random() % 4));
    checkFixed(tally, static_cast<double>(cents(random)) / 100, 12, 2);
    checkFixed(tally, anyBits(random), 0, decimals);
    checkFixed(tally, denormal(random), 0, 20);
  }
  EXPECT_ALL_EQUAL(tally);
}

TEST(NumberFormat, IntegerMatchesPrintf) {
  std::mt19937_64 random(1208);
  Tally tally;
  auto check = [&tally](long long value, int width) {
    char expected[64], actual[64];
    std::snprintf(expected, sizeof expected, "%*lld", width, value);
    formatInteger(actual, sizeof actual, value, width);
    tally.compare(expected, actual, static_cast<double>(value), "%*lld");
  };
  for (long long value : {0LL, -1LL, 1LL, 999999999999LL, -99999999999LL, static_cast<long long>(INT_MIN),
                          static_cast<long long>(INT_MAX), LLONG_MIN, LLONG_MAX}) {
    check(value, 12);
    check(value, 0);
  }
  const long rounds = 1000000 / kScale;
  for (long i = 0; i < rounds; ++i) {
    check(static_cast<int32_t>(random()), 12);
    check(static_cast<long long>(random()) >> (random() % 64), static_cast<int>(random() % 24));
  }
  EXPECT_ALL_EQUAL(tally);
}

// A text that does not fit the buffer is refused, never cut or overrun.
TEST(NumberFormat, TooLongForTheBufferIsRefused) {
  char out[8];
  EXPECT_EQ(formatInteger(out, sizeof out, 1234567, 0), 7);
  EXPECT_STREQ(out, "1234567");
  EXPECT_EQ(formatInteger(out, sizeof out, 12345678, 0), -1);
  EXPECT_EQ(formatInteger(out, sizeof out, 1, 8), -1);
  EXPECT_EQ(formatInteger(out, sizeof out, 1, 7), 7);
  EXPECT_STREQ(out, "      1");
  EXPECT_EQ(formatFixed(out, sizeof out, 1e10, 0, 2), -1);
  EXPECT_EQ(formatGeneral(out, sizeof out, -1.5e-300, 0, 14), -1);
}

}  // namespace
