// Number texts without the printf machinery: the bytes of "%*d", "%*.*g"
// and "%*.*f" in the C locale, made by std::to_chars, whose precision forms
// are specified to round and spell exactly as printf does. These run for
// every substituted, fetched and printed number, where snprintf's format
// parsing and locale lookups cost more than the conversion itself.
#include <charconv>
#include <cmath>
#include <cstring>

#include "driver/Job.h"

namespace {

// Shift the text of length right to fill width with leading blanks, as a
// printf field width does; the text is never cut. Returns the new length.
int padLeft(char *out, int length, int width) {
  if (length >= width) return length;
  int blanks = width - length;
  std::memmove(out + blanks, out, static_cast<size_t>(length));
  std::memset(out, ' ', static_cast<size_t>(blanks));
  return width;
}

// Ends a conversion: terminate, pad; -1 when the text would not fit size.
int finish(char *out, int size, std::to_chars_result result, int width) {
  if (result.ec != std::errc{}) return -1;
  int length = static_cast<int>(result.ptr - out);
  if (width > length && width >= size) return -1;
  length = padLeft(out, length, width);
  if (length >= size) return -1;
  out[length] = 0;
  return length;
}

}  // namespace

int formatInteger(char *out, int size, long long value, int width) {
  return finish(out, size, std::to_chars(out, out + size - 1, value), width);
}

namespace {

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};

// "%.*g" of a value that is the double nearest to a decimal of at most
// six decimals and `precision` (at most 15) significant digits, as most
// fetched and computed amounts are: the double then rounds back to that
// decimal, and the text is its digits with the trailing zeros of the
// fraction dropped. False for any other value (to_chars then writes it).
bool shortDecimal(char *out, int size, double value, int precision, std::to_chars_result *result) {
  constexpr double kExactLimit = 9007199254740992.0;   // 2^53: every integer below is a double
  if (precision < 1 || precision > 15 || !(std::fabs(value) < 1e15)) return false;
  if (std::signbit(value)) {
    if (value == 0.0 || size < 2) return false;        // "-0" is to_chars's
    out[0] = '-';
    return shortDecimal(out + 1, size - 1, -value, precision, result);
  }
  for (int decimals = 0; decimals < static_cast<int>(sizeof kPowersOfTen / sizeof kPowersOfTen[0]); ++decimals) {
    double scaled = value * kPowersOfTen[decimals];
    if (scaled >= kExactLimit) return false;
    long long digits = std::llround(scaled);
    if (static_cast<double>(digits) / kPowersOfTen[decimals] != value) continue;
    if (digits == 0) {                  // a value this small is no short decimal unless it is 0
      if (value != 0.0 || size < 2) return false;
      out[0] = '0';
      *result = {out + 1, std::errc{}};
      return true;
    }
    while (decimals > 0 && digits % 10 == 0) digits /= 10, --decimals;
    char text[24];
    int length = static_cast<int>(std::to_chars(text, text + sizeof text, digits).ptr - text);
    int exponent = length - 1 - decimals;            // of the leading digit
    if (length > precision || exponent < -4 || exponent >= precision) return false;
    int leading = exponent < 0 ? 1 - exponent : 0;   // "0." and zeros before the digits
    int total = leading + length + (decimals > 0 && exponent >= 0 ? 1 : 0);
    if (total >= size) return false;
    char *p = out;
    if (leading > 0) {
      *p++ = '0';
      *p++ = '.';
      for (int i = 1; i < leading - 1; ++i) *p++ = '0';
      std::memcpy(p, text, static_cast<size_t>(length));
      p += length;
    } else {
      int whole = length - decimals;
      std::memcpy(p, text, static_cast<size_t>(whole));
      p += whole;
      if (decimals > 0) {
        *p++ = '.';
        std::memcpy(p, text + whole, static_cast<size_t>(decimals));
        p += decimals;
      }
    }
    *result = {p, std::errc{}};
    return true;
  }
  return false;
}

}  // namespace

int formatGeneral(char *out, int size, double value, int width, int precision) {
  std::to_chars_result shortText;
  if (shortDecimal(out, size, value, precision, &shortText)) return finish(out, size, shortText, width);
  return finish(out, size, std::to_chars(out, out + size - 1, value, std::chars_format::general, precision),
                width);
}

int formatFixed(char *out, int size, double value, int width, int decimals) {
  return finish(out, size, std::to_chars(out, out + size - 1, value, std::chars_format::fixed, decimals),
                width);
}
