// Print cells of UTF-8 text, after utf8proc's character widths and grapheme
// cluster boundaries. Plain ASCII never reaches the library.
#include "formatter/Utf8Text.h"

#include <utf8proc.h>

namespace {

constexpr int kInvalid = -1;

struct CodePoint {
  utf8proc_int32_t value = kInvalid;    // kInvalid: a byte that is not UTF-8
  int bytes = 1;
};

CodePoint decode(const char *text, int length) {
  unsigned char first = static_cast<unsigned char>(text[0]);
  if (first < 0x80) return {first, 1};
  utf8proc_int32_t value = 0;
  utf8proc_ssize_t n =
      utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t *>(text), length, &value);
  if (n < 1) return {kInvalid, 1};
  return {value, static_cast<int>(n)};
}

int widthOf(utf8proc_int32_t value) {
  if (value == kInvalid) return 1;
  int width = utf8proc_charwidth(value);
  return width < 0 ? 0 : width;
}

// One grapheme cluster with the summed width of its characters; a byte that
// is not UTF-8 is a cluster of its own.
TextCell readCluster(const char *text, int length) {
  CodePoint first = decode(text, length);
  TextCell cluster{first.bytes, widthOf(first.value)};
  if (first.value == kInvalid) return cluster;
  utf8proc_int32_t previous = first.value;
  utf8proc_int32_t state = 0;
  while (cluster.bytes < length) {
    const char *at = text + cluster.bytes;
    // An ASCII character always begins a cluster, except LF after CR.
    if (static_cast<unsigned char>(*at) < 0x80 && !(previous == '\r' && *at == '\n')) break;
    CodePoint next = decode(at, length - cluster.bytes);
    if (next.value == kInvalid) break;
    if (utf8proc_grapheme_break_stateful(previous, next.value, &state)) break;
    cluster.bytes += next.bytes;
    cluster.columns += widthOf(next.value);
    previous = next.value;
  }
  return cluster;
}

}  // namespace

int utf8CharBytes(const char *text, int length) { return decode(text, length).bytes; }

TextCell nextTextCell(const char *text, int length) {
  TextCell cell = readCluster(text, length);
  while (cell.columns == 0 && cell.bytes < length) {
    TextCell next = readCluster(text + cell.bytes, length - cell.bytes);
    cell.bytes += next.bytes;
    cell.columns = next.columns;
  }
  while (cell.bytes < length && static_cast<unsigned char>(text[cell.bytes]) >= 0x80) {
    TextCell next = readCluster(text + cell.bytes, length - cell.bytes);
    if (next.columns != 0) break;
    cell.bytes += next.bytes;
  }
  // A cluster of several wide characters (an emoji sequence) still shows as
  // one wide character.
  if (cell.columns == 0) cell.columns = 1;
  if (cell.columns > 2) cell.columns = 2;
  return cell;
}

bool isAsciiText(const char *text, int length) {
  unsigned char any = 0;
  for (int i = 0; i < length; ++i) any |= static_cast<unsigned char>(text[i]);
  return any < 0x80;
}

int displayColumns(const char *text, int length) {
  if (isAsciiText(text, length)) return length;
  int columns = 0;
  for (int i = 0; i < length;) {
    TextCell cell = nextTextCell(text + i, length - i);
    i += cell.bytes;
    columns += cell.columns;
  }
  return columns;
}

int fitColumns(const char *text, int length, int columns, int *width) {
  int bytes = 0;
  int used = 0;
  while (bytes < length) {
    TextCell cell = nextTextCell(text + bytes, length - bytes);
    if (used + cell.columns > columns) break;
    bytes += cell.bytes;
    used += cell.columns;
  }
  *width = used;
  return bytes;
}

int fitBytes(const char *text, int length, int maxBytes) {
  if (length <= maxBytes) return length;
  if (maxBytes <= 0) return 0;
  // An ASCII byte other than LF begins a new cell.
  unsigned char after = static_cast<unsigned char>(text[maxBytes]);
  if (after < 0x80 && after != '\n') return maxBytes;
  int bytes = 0;
  while (bytes < length) {
    TextCell cell = nextTextCell(text + bytes, length - bytes);
    if (bytes + cell.bytes > maxBytes) break;
    bytes += cell.bytes;
  }
  return bytes;
}
