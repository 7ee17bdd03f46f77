// Decoding report lines into characters and display columns (utf8proc).
#include "output/Characters.h"

#include <utf8proc.h>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

}  // namespace

LineChar decodeLineChar(const char *text, int length) {
  auto byte = static_cast<unsigned char>(text[0]);
  utf8proc_int32_t code = -1;
  utf8proc_ssize_t used = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t *>(text), length, &code);
  if (used <= 0 || code < 0) {
    // A legacy byte: Latin-1, its control range replaced.
    char32_t legacy = isControl(byte) ? kReplacement : byte;
    return {legacy, 1, 1};
  }
  auto c = static_cast<char32_t>(code);
  if (isControl(c)) return {kReplacement, static_cast<int>(used), 1};
  int width = utf8proc_charwidth(code);
  return {c, static_cast<int>(used), width < 0 ? 1 : width};
}

int encodeUtf8(char32_t c, char *out) {
  auto *bytes = reinterpret_cast<utf8proc_uint8_t *>(out);
  return static_cast<int>(utf8proc_encode_char(static_cast<utf8proc_int32_t>(c), bytes));
}

std::string validUtf8(const char *text, int length) {
  std::string valid;
  for (int i = 0; i < length;) {
    LineChar c = nextLineChar(text + i, length - i);
    char utf8[4];
    valid.append(utf8, static_cast<size_t>(encodeUtf8(c.code, utf8)));
    i += c.used;
  }
  return valid;
}
