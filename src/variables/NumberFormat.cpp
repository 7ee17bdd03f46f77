// Number texts without the printf machinery: the bytes of "%*d", "%*.*g"
// and "%*.*f" in the C locale, made by std::to_chars, whose precision forms
// are specified to round and spell exactly as printf does. These run for
// every substituted, fetched and printed number, where snprintf's format
// parsing and locale lookups cost more than the conversion itself.
#include <charconv>
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

int formatGeneral(char *out, int size, double value, int width, int precision) {
  return finish(out, size, std::to_chars(out, out + size - 1, value, std::chars_format::general, precision),
                width);
}

int formatFixed(char *out, int size, double value, int width, int decimals) {
  return finish(out, size, std::to_chars(out, out + size - 1, value, std::chars_format::fixed, decimals),
                width);
}
