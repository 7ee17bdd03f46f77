// The PDF file of a report: numbered objects written as they are made,
// page contents compressed into streams, the fonts embedded as subsets at
// the end, and the cross-reference table that ties them together.
//
// The pages are text on a grid in a few fonts and nothing else, so the
// writer sets glyph runs itself instead of going through a drawing library:
// that costs a small part of what a general renderer spends per glyph.
#pragma once

#include <hb.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Bytes of PDF syntax, with the number formats the content streams use.
// A plain growing buffer: the glyphs of a page go in byte by byte.
class PdfBytes {
 public:
  PdfBytes() = default;
  PdfBytes(const PdfBytes &) = delete;
  PdfBytes &operator=(const PdfBytes &) = delete;

  PdfBytes &add(std::string_view text) {
    std::memcpy(room(text.size()), text.data(), text.size());
    size_ += text.size();
    return *this;
  }
  PdfBytes &add(char c) {
    *room(1) = c;
    ++size_;
    return *this;
  }
  PdfBytes &integer(long long n);
  // value rounded to decimals (at most 6), without trailing zeros ("12.5", "-3").
  PdfBytes &number(double value, int decimals = 3);
  // A number given in units of 10^-decimals (fixed(-1250, 3) is "-1.25").
  PdfBytes &fixed(long long scaled, int decimals);
  // Two bytes as four hex digits (glyph ids, UTF-16 code units).
  PdfBytes &hex4(unsigned value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    char *to = room(4);
    to[0] = kHex[(value >> 12) & 15];
    to[1] = kHex[(value >> 8) & 15];
    to[2] = kHex[(value >> 4) & 15];
    to[3] = kHex[value & 15];
    size_ += 4;
    return *this;
  }
  PdfBytes &hex2(unsigned byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    char *to = room(2);
    to[0] = kHex[(byte >> 4) & 15];
    to[1] = kHex[byte & 15];
    size_ += 2;
    return *this;
  }
  // A text string: ASCII as a literal, anything else as UTF-16 with a mark.
  PdfBytes &textString(const std::string &utf8);
  std::string_view str() const { return {data_.get(), size_}; }
  void clear() { size_ = 0; }
  bool empty() const { return size_ == 0; }

 private:
  // Space for n more bytes at the end.
  char *room(size_t n) {
    if (size_ + n > capacity_) grow(n);
    return data_.get() + size_;
  }
  void grow(size_t n);

  std::unique_ptr<char[]> data_;
  size_t size_ = 0, capacity_ = 0;
};

// Numbers of one precision that come again and again (the offsets over the
// blanks between a row's columns, the moves from row to row), each written
// out once and then copied.
class PdfNumbers {
 public:
  explicit PdfNumbers(int decimals) : decimals_(decimals) {}
  // value in units of 10^-decimals, as PdfBytes::fixed writes it.
  void write(PdfBytes &out, long long value) {
    Entry &e = entries_[static_cast<unsigned long long>(value) % kEntries];
    if (e.value != value || e.length == 0) {
      scratch_.clear();
      scratch_.fixed(value, decimals_);
      e.value = value;
      e.length = static_cast<unsigned char>(scratch_.str().size());
      std::memcpy(e.text, scratch_.str().data(), e.length);
    }
    out.add(std::string_view(e.text, e.length));
  }

 private:
  static constexpr size_t kEntries = 64;
  struct Entry {
    long long value = 0;
    unsigned char length = 0;           // 0: empty
    char text[23];
  };
  int decimals_;
  Entry entries_[kEntries];
  PdfBytes scratch_;
};

// value rounded to the nearest integer, halves away from zero.
inline long long roundToInteger(double value) {
  return static_cast<long long>(value < 0 ? value - 0.5 : value + 0.5);
}

// A font of the document: its face, the glyphs the pages used and the
// characters they stand for (for copying text out of the PDF).
//
// The pages address glyphs by one-byte codes: each font has one or more
// sets of 256 codes (a PDF font each, all over the same embedded font),
// given to glyphs as they are first used.
struct PdfFont {
  static constexpr unsigned kFreeCode = UINT32_MAX;
  struct CodeSet {
    unsigned glyphs[256];               // by code: the glyph, or kFreeCode
    char32_t chars[256];                // by code: the character it stands for
    int objectId = 0;                   // its Type0 font object
    int resource = 0;                   // its number among the document's code sets
    CodeSet() { std::fill(std::begin(glyphs), std::end(glyphs), kFreeCode); }
  };

  hb_face_t *face = nullptr;            // owned
  hb_font_t *font = nullptr;            // owned; scaled to font units
  int unitsPerEm = 1000;
  unsigned glyphCount = 0;              // of the face; higher ids are boxes
  std::unordered_map<unsigned, char32_t> used;  // glyph -> the character first set with it
  std::unordered_map<char32_t, unsigned> boxes;  // characters no font has -> their ids past the glyphs
  std::vector<double> boxAdvances;      // by id past the glyphs, in thousandths of an em
  std::vector<std::unique_ptr<CodeSet>> codeSets;

  PdfFont() = default;
  PdfFont(const PdfFont &) = delete;
  PdfFont &operator=(const PdfFont &) = delete;
  ~PdfFont();
  // A glyph's advance in thousandths of an em.
  double advance(unsigned glyph) const;
  // The advance as the document states it, in whole thousandths.
  long long width(unsigned glyph) const { return roundToInteger(advance(glyph)); }
  // The id that sets code as the font's box (its glyph 0) over advance
  // (thousandths of an em): one for each such character, so that the text
  // copied out of the PDF keeps them, each filling its columns.
  unsigned boxFor(char32_t code, double advance);
  bool isCff() const;
};

// Where the pages find a glyph: a code set (its PDF font) and the code.
struct PdfCode {
  int resource = 0;                     // the code set, among the document's
  unsigned char code = 0;
};

class PdfDocument {
 public:
  // write gets every byte of the file; it returns false when the bytes
  // could not be written (the document goes on, its status then failed).
  using Write = bool (*)(void *closure, const char *data, size_t length);
  PdfDocument(Write write, void *closure);
  ~PdfDocument();

  // The header and the numbers of the objects written last.
  void begin();
  // A font from a face (the document owns it from now on); its index.
  int addFont(hb_face_t *face);
  PdfFont &font(int index) { return *fonts_[static_cast<size_t>(index)]; }
  int fontCount() const { return static_cast<int>(fonts_.size()); }
  // The code that sets glyph of font, which stands for character c.
  PdfCode encode(int font, unsigned glyph, char32_t c);
  // The name of a code set's font in the pages' resources ("F0", "F1", ...).
  static void resourceName(PdfBytes &out, int resource) { out.add('F').integer(resource); }
  // One page of width by height points with content (PDF operators).
  void addPage(double width, double height, const PdfBytes &content);
  // The size of the blank page that a document without pages gets.
  void setPageSize(double width, double height) {
    lastWidth_ = width;
    lastHeight_ = height;
  }
  // The fonts, the page tree, the document's title and creator, and the
  // cross-reference table; false when a font could not be embedded.
  bool end(const std::string &title, const std::string &creator);
  bool failed() const { return failed_; }

 private:
  int newObject() { offsets_.push_back(0); return static_cast<int>(offsets_.size()) - 1; }
  void beginObject(int id);
  void endObject() { put("endobj\n"); }
  // A stream object: its dictionary's further entries, its data deflated.
  void writeStream(int id, std::string_view entries, std::string_view data);
  bool embedFont(PdfFont &f, int index);
  void writeCodeSet(PdfFont::CodeSet &set, int cidFontId, const std::string &name);
  void put(std::string_view bytes);
  void flush();

  Write write_;
  void *closure_;
  bool failed_ = false;
  uint64_t written_ = 0;
  std::vector<uint64_t> offsets_;       // by object number; 0 is the free head
  std::vector<int> pages_;              // page objects in order
  double lastWidth_ = 595.28, lastHeight_ = 841.89;  // the sheet of the last page
  std::vector<std::unique_ptr<PdfFont>> fonts_;
  std::vector<PdfFont::CodeSet *> codeSets_;  // every font's, by resource number
  int catalogId_ = 0, pagesId_ = 0, resourcesId_ = 0;
  libdeflate_compressor *zip_ = nullptr;
  std::vector<char> deflated_;          // a stream's compressed bytes, as many as the largest needed
  PdfBytes scratch_;
  PdfBytes pending_;                    // bytes not yet given to write
};
