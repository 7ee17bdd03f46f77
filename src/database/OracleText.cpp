// Oracle's character functions on SQLite: SUBSTR, INSTR, LENGTH, LPAD,
// RPAD, INITCAP, UPPER, LOWER, LTRIM, RTRIM, TRIM, REPLACE, TRANSLATE,
// CHR, ASCII and CONCAT. Positions and lengths count characters of UTF-8 (a byte that
// does not continue a sequence starts a character); LPAD and RPAD count
// display columns, as Oracle counts the length "displayed on a terminal".
// Text that Oracle would give empty is null, Oracle having no empty text.
#include <utf8proc.h>

#include <cstring>
#include <string>

#include "database/OracleFunctions.h"

namespace {

bool startsChar(const char *text, int i) { return i == 0 || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80; }

// Bytes of the character that begins at i.
int charEnd(const char *text, int length, int i) {
  int end = i + 1;
  while (end < length && !startsChar(text, end)) ++end;
  return end;
}

int charCount(const char *text, int length) {
  int n = 0;
  for (int i = 0; i < length; ++i) n += startsChar(text, i);
  return n;
}

// Byte offset of character `index` (0-based); length when past the end.
int charOffset(const char *text, int length, std::int64_t index) {
  for (int i = 0; i < length; ++i) {
    if (startsChar(text, i) && index-- == 0) return i;
  }
  return length;
}

// Display columns of the character text[0..bytes): wide East Asian
// characters take two, combining marks none, anything unreadable one.
int charWidth(const char *text, int bytes) {
  utf8proc_int32_t code = -1;
  utf8proc_ssize_t used = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t *>(text), bytes, &code);
  if (used != bytes || code < 0) return 1;
  int width = utf8proc_charwidth(code);
  return width < 0 ? 1 : width;
}

// Whether the character text[0..bytes) is one of the characters of set.
bool inSet(const char *text, int bytes, const ArgumentText &set) {
  for (int i = 0; i < set.length;) {
    int end = charEnd(set.text, set.length, i);
    if (end - i == bytes && std::memcmp(set.text + i, text, static_cast<size_t>(bytes)) == 0) return true;
    i = end;
  }
  return false;
}

// SUBSTR(s, position[, length]): position 0 is 1, a negative one counts
// from the end; a length below 1 gives null.
void substrFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  ArgumentText s;
  argumentText(argv[0], &s);
  std::int64_t position, count = -1;
  if (!integerArgument(context, argv[1], &position)) return;
  if (argc == 3 && !integerArgument(context, argv[2], &count)) return;
  if (argc == 3 && count < 1) return sqlite3_result_null(context);
  std::int64_t n = charCount(s.text, s.length);
  if (position == 0) position = 1;
  if (position < 0) position += n + 1;
  if (position < 1 || position > n) return sqlite3_result_null(context);
  int from = charOffset(s.text, s.length, position - 1);
  int to = argc == 3 && count < n ? from + charOffset(s.text + from, s.length - from, count) : s.length;
  resultText(context, s.text + from, to - from);
}

// Whether sub occurs in s at byte i.
bool occursAt(const ArgumentText &s, int i, const ArgumentText &sub) {
  return i + sub.length <= s.length && std::memcmp(s.text + i, sub.text, static_cast<size_t>(sub.length)) == 0;
}

// INSTR(s, sub[, position[, occurrence]]): the character position of the
// occurrence-th sub from position on; a negative position counts from the
// end and searches backwards. Occurrences may overlap.
void instrFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  ArgumentText s, sub;
  argumentText(argv[0], &s);
  argumentText(argv[1], &sub);
  std::int64_t position = 1, occurrence = 1;
  if (argc >= 3 && !integerArgument(context, argv[2], &position)) return;
  if (argc == 4 && !integerArgument(context, argv[3], &occurrence)) return;
  if (occurrence < 1) return resultError(context, Msg::SqlOutOfRange, "instr");
  if (sub.length == 0) return sqlite3_result_null(context);
  std::int64_t n = charCount(s.text, s.length);
  if (position == 0 || position > n || position < -n) return sqlite3_result_int(context, 0);
  std::int64_t start = position > 0 ? position - 1 : n + position;   // character index
  int i = charOffset(s.text, s.length, start);
  if (position > 0) {
    for (std::int64_t index = start; i < s.length; i = charEnd(s.text, s.length, i), ++index) {
      if (occursAt(s, i, sub) && --occurrence == 0) return sqlite3_result_int64(context, index + 1);
    }
  } else {
    for (std::int64_t index = start; index >= 0; --index) {
      if (occursAt(s, i, sub) && --occurrence == 0) return sqlite3_result_int64(context, index + 1);
      do --i; while (i > 0 && !startsChar(s.text, i));
    }
  }
  sqlite3_result_int(context, 0);
}

// LENGTH(s): characters; Oracle's empty text is null, so is its length.
void lengthFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) return sqlite3_result_null(context);
  if (type == SQLITE_BLOB) return sqlite3_result_int(context, sqlite3_value_bytes(argv[0]));
  ArgumentText s;
  argumentText(argv[0], &s);
  if (s.length == 0) return sqlite3_result_null(context);
  sqlite3_result_int(context, charCount(s.text, s.length));
}

// LPAD and RPAD: s cut or padded with pad (a blank by default) to width
// display columns; a width below 1 or an empty pad gives null.
void pad(sqlite3_context *context, int argc, sqlite3_value **argv, bool left) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  ArgumentText s, padding;
  argumentText(argv[0], &s);
  std::int64_t width;
  if (!integerArgument(context, argv[1], &width)) return;
  if (argc == 3) {
    argumentText(argv[2], &padding);
  } else {
    padding.text = " ";
    padding.length = 1;
  }
  if (width < 1 || padding.length == 0) return sqlite3_result_null(context);
  if (width > 32767) return resultError(context, Msg::SqlResultTooLong, "pad");   // Oracle's VARCHAR2 limit
  int columns = 0, kept = 0;            // the part of s that fits
  while (kept < s.length) {
    int end = charEnd(s.text, s.length, kept);
    int w = charWidth(s.text + kept, end - kept);
    if (columns + w > width) break;
    columns += w;
    kept = end;
  }
  std::string fill;
  for (int i = 0; columns < width;) {
    int end = charEnd(padding.text, padding.length, i);
    int w = charWidth(padding.text + i, end - i);
    if (columns + w > width) break;
    fill.append(padding.text + i, static_cast<size_t>(end - i));
    columns += w;
    i = end < padding.length ? end : 0;
    if (w == 0 && i == 0 && fill.size() > 4 * static_cast<size_t>(width)) break;   // a pad of no width
  }
  std::string out = left ? fill + std::string(s.text, static_cast<size_t>(kept)) : std::string(s.text, static_cast<size_t>(kept)) + fill;
  resultText(context, out.data(), static_cast<int>(out.size()));
}

void lpadFunction(sqlite3_context *context, int argc, sqlite3_value **argv) { pad(context, argc, argv, true); }
void rpadFunction(sqlite3_context *context, int argc, sqlite3_value **argv) { pad(context, argc, argv, false); }

// Append the UTF-8 of a code point.
void appendCode(std::string &out, utf8proc_int32_t code) {
  utf8proc_uint8_t bytes[4];
  utf8proc_ssize_t n = utf8proc_encode_char(code, bytes);
  out.append(reinterpret_cast<const char *>(bytes), static_cast<size_t>(n));
}

// Letters, digits and the marks that combine with them make words.
bool isAlphanumeric(utf8proc_int32_t code) {
  static constexpr utf8proc_category_t kWordCategories[] = {
      UTF8PROC_CATEGORY_LU, UTF8PROC_CATEGORY_LL, UTF8PROC_CATEGORY_LT, UTF8PROC_CATEGORY_LM, UTF8PROC_CATEGORY_LO,
      UTF8PROC_CATEGORY_ND, UTF8PROC_CATEGORY_NL, UTF8PROC_CATEGORY_NO, UTF8PROC_CATEGORY_MN};
  utf8proc_category_t category = utf8proc_category(code);
  for (utf8proc_category_t word : kWordCategories) {
    if (category == word) return true;
  }
  return false;
}

// INITCAP(s): the first letter of each word in upper case, the others in
// lower; words are runs of letters and digits.
void initcapFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(context);
  ArgumentText s;
  argumentText(argv[0], &s);
  std::string out;
  out.reserve(static_cast<size_t>(s.length));
  bool inWord = false;
  for (int i = 0; i < s.length;) {
    utf8proc_int32_t code = -1;
    utf8proc_ssize_t used =
        utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t *>(s.text + i), s.length - i, &code);
    if (used < 1 || code < 0) {         // a byte that is no UTF-8 is kept, and ends a word
      out.push_back(s.text[i++]);
      inWord = false;
      continue;
    }
    bool alphanumeric = isAlphanumeric(code);
    appendCode(out, alphanumeric ? (inWord ? utf8proc_tolower(code) : utf8proc_toupper(code)) : code);
    inWord = alphanumeric;
    i += static_cast<int>(used);
  }
  resultText(context, out.data(), static_cast<int>(out.size()));
}

// UPPER and LOWER of every letter, not only those of ASCII.
void changeCase(sqlite3_context *context, sqlite3_value *value, bool upper) {
  if (sqlite3_value_type(value) == SQLITE_NULL) return sqlite3_result_null(context);
  ArgumentText s;
  argumentText(value, &s);
  std::string out;
  out.reserve(static_cast<size_t>(s.length));
  for (int i = 0; i < s.length;) {
    utf8proc_int32_t code = -1;
    utf8proc_ssize_t used =
        utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t *>(s.text + i), s.length - i, &code);
    if (used < 1 || code < 0) {         // a byte that is no UTF-8 is kept
      out.push_back(s.text[i++]);
      continue;
    }
    bool sharpS = code == 0xDF;         // Oracle's UPPER keeps ß, which Unicode maps to ẞ
    appendCode(out, upper ? (sharpS ? code : utf8proc_toupper(code)) : utf8proc_tolower(code));
    i += static_cast<int>(used);
  }
  resultText(context, out.data(), static_cast<int>(out.size()));
}

void upperFunction(sqlite3_context *context, int, sqlite3_value **argv) { changeCase(context, argv[0], true); }
void lowerFunction(sqlite3_context *context, int, sqlite3_value **argv) { changeCase(context, argv[0], false); }

// LTRIM, RTRIM and TRIM: the characters of a set (a blank by default)
// taken off the left, the right or both ends.
void trim(sqlite3_context *context, int argc, sqlite3_value **argv, bool left, bool right) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  ArgumentText s, set;
  argumentText(argv[0], &s);
  if (argc == 2) {
    argumentText(argv[1], &set);
  } else {
    set.text = " ";
    set.length = 1;
  }
  int from = 0, to = s.length;
  while (left && from < to) {
    int end = charEnd(s.text, to, from);
    if (!inSet(s.text + from, end - from, set)) break;
    from = end;
  }
  while (right && to > from) {
    int start = to - 1;
    while (start > from && !startsChar(s.text, start)) --start;
    if (!inSet(s.text + start, to - start, set)) break;
    to = start;
  }
  resultText(context, s.text + from, to - from);
}

void ltrimFunction(sqlite3_context *context, int argc, sqlite3_value **argv) { trim(context, argc, argv, true, false); }
void rtrimFunction(sqlite3_context *context, int argc, sqlite3_value **argv) { trim(context, argc, argv, false, true); }
void trimFunction(sqlite3_context *context, int argc, sqlite3_value **argv) { trim(context, argc, argv, true, true); }

// REPLACE(s, search[, replacement]): without a replacement (or a null
// one) the occurrences are removed; a null search leaves s as it is.
void replaceFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(context);
  ArgumentText s, search, replacement;
  argumentText(argv[0], &s);
  if (sqlite3_value_type(argv[1]) != SQLITE_NULL) argumentText(argv[1], &search);
  if (argc == 3 && sqlite3_value_type(argv[2]) != SQLITE_NULL) argumentText(argv[2], &replacement);
  if (search.length == 0) return resultText(context, s.text, s.length);
  std::string out;
  for (int i = 0; i < s.length;) {
    if (occursAt(s, i, search)) {
      out.append(replacement.text, static_cast<size_t>(replacement.length));
      i += search.length;
    } else {
      out.push_back(s.text[i++]);
    }
  }
  resultText(context, out.data(), static_cast<int>(out.size()));
}

// The index of character text[0..bytes) among the characters of set;
// -1 when it is not there.
std::int64_t indexInSet(const char *text, int bytes, const ArgumentText &set) {
  std::int64_t index = 0;
  for (int i = 0; i < set.length; ++index) {
    int end = charEnd(set.text, set.length, i);
    if (end - i == bytes && std::memcmp(set.text + i, text, static_cast<size_t>(bytes)) == 0) return index;
    i = end;
  }
  return -1;
}

// TRANSLATE(s, from, to): each character of from becomes the character
// of to in its place, or goes when to is shorter.
void translateFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  ArgumentText s, from, to;
  argumentText(argv[0], &s);
  argumentText(argv[1], &from);
  argumentText(argv[2], &to);
  std::string out;
  for (int i = 0; i < s.length;) {
    int end = charEnd(s.text, s.length, i);
    std::int64_t index = indexInSet(s.text + i, end - i, from);
    if (index < 0) {
      out.append(s.text + i, static_cast<size_t>(end - i));
    } else {
      int at = charOffset(to.text, to.length, index);
      if (at < to.length) out.append(to.text + at, static_cast<size_t>(charEnd(to.text, to.length, at) - at));
    }
    i = end;
  }
  resultText(context, out.data(), static_cast<int>(out.size()));
}

// CHR(n): the character whose encoding is n in the database character
// set, UTF-8: the bytes of n, most significant first (CHR(50089) is é).
void chrFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(context);
  std::int64_t n;
  if (!integerArgument(context, argv[0], &n)) return;
  if (n < 0 || n > 0xFFFFFFFFLL) return resultError(context, Msg::SqlOutOfRange, "chr");
  char bytes[4];
  int count = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char byte = static_cast<char>((n >> shift) & 0xFF);
    if (count > 0 || byte != 0 || shift == 0) bytes[count++] = byte;
  }
  sqlite3_result_text(context, bytes, count, SQLITE_TRANSIENT);
}

// ASCII(s): the encoding of the first character as a number, the
// inverse of CHR.
void asciiFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(context);
  ArgumentText s;
  argumentText(argv[0], &s);
  if (s.length == 0) return sqlite3_result_null(context);
  int end = charEnd(s.text, s.length, 0);
  std::int64_t code = 0;
  for (int i = 0; i < end && i < 4; ++i) code = code << 8 | static_cast<unsigned char>(s.text[i]);
  sqlite3_result_int64(context, code);
}

// CONCAT(a, b): a null operand counts as empty text.
void concatFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  ArgumentText a, b;
  if (sqlite3_value_type(argv[0]) != SQLITE_NULL) argumentText(argv[0], &a);
  if (sqlite3_value_type(argv[1]) != SQLITE_NULL) argumentText(argv[1], &b);
  std::string out(a.text, static_cast<size_t>(a.length));
  out.append(b.text, static_cast<size_t>(b.length));
  resultText(context, out.data(), static_cast<int>(out.size()));
}

constexpr OracleFunction kFunctions[] = {
    {"substr", 2, 3, substrFunction, true},     {"instr", 2, 4, instrFunction, true},
    {"length", 1, 1, lengthFunction, true},     {"lpad", 2, 3, lpadFunction},
    {"rpad", 2, 3, rpadFunction},               {"initcap", 1, 1, initcapFunction},
    {"ltrim", 1, 2, ltrimFunction, true},       {"rtrim", 1, 2, rtrimFunction, true},
    {"trim", 1, 2, trimFunction, true},         {"replace", 2, 3, replaceFunction, true},
    {"translate", 3, 3, translateFunction},     {"chr", 1, 1, chrFunction},
    {"ascii", 1, 1, asciiFunction},             {"concat", 2, 2, concatFunction, true},
    {"upper", 1, 1, upperFunction, true},       {"lower", 1, 1, lowerFunction, true},
};

}  // namespace

std::span<const OracleFunction> oracleTextFunctions() { return kFunctions; }
