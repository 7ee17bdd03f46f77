// Characters of a report line for the PDF and HTML renderers: the line's
// bytes are UTF-8, and a byte that does not start a valid sequence is a
// legacy single-byte character (ISO 8859-1) of one column.
#pragma once

#include <cstdint>
#include <string>

// The character at text[0] (length bytes left): its code point, the bytes
// it takes (used) and the display columns it fills (0 for a combining mark,
// 2 for a wide East Asian character). Control characters and bytes without
// a character are U+FFFD of one column.
struct LineChar {
  char32_t code = 0;
  int used = 1;
  int columns = 1;
};
LineChar decodeLineChar(const char *text, int length);
// The common case, printable ASCII, without a call.
inline LineChar nextLineChar(const char *text, int length) {
  auto byte = static_cast<unsigned char>(text[0]);
  if (byte >= 0x20 && byte < 0x7F) return {byte, 1, 1};
  return decodeLineChar(text, length);
}

// Append c to out as UTF-8; the number of bytes written (1 to 4).
int encodeUtf8(char32_t c, char *out);

// The characters of text as valid UTF-8 (document titles must be).
std::string validUtf8(const char *text, int length);
