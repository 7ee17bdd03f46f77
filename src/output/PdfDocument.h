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

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Bytes of PDF syntax, with the number formats the content streams use.
class PdfBytes {
 public:
  PdfBytes &add(std::string_view text) {
    bytes_.append(text);
    return *this;
  }
  PdfBytes &add(char c) {
    bytes_.push_back(c);
    return *this;
  }
  PdfBytes &integer(long long n);
  // value rounded to decimals (at most 6), without trailing zeros ("12.5", "-3").
  PdfBytes &number(double value, int decimals = 3);
  // A number given in units of 10^-decimals (fixed(-1250, 3) is "-1.25").
  PdfBytes &fixed(long long scaled, int decimals);
  // The two bytes of a glyph id as four hex digits.
  PdfBytes &glyphHex(unsigned glyph) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    char digits[4] = {kHex[(glyph >> 12) & 15], kHex[(glyph >> 8) & 15], kHex[(glyph >> 4) & 15], kHex[glyph & 15]};
    bytes_.append(digits, 4);
    return *this;
  }
  // The two bytes of a glyph id inside a literal string, escaped.
  PdfBytes &glyphBytes(unsigned glyph) {
    literalByte(static_cast<unsigned char>(glyph >> 8));
    literalByte(static_cast<unsigned char>(glyph));
    return *this;
  }
  // A text string: ASCII as a literal, anything else as UTF-16 with a mark.
  PdfBytes &textString(const std::string &utf8);
  const std::string &str() const { return bytes_; }
  void clear() { bytes_.clear(); }
  bool empty() const { return bytes_.empty(); }

 private:
  void literalByte(unsigned char byte) {
    if (byte == '(' || byte == ')' || byte == '\\') {
      bytes_.push_back('\\');
    } else if (byte == '\r') {
      bytes_.append("\\r");  // a bare carriage return would be read as a line end
      return;
    }
    bytes_.push_back(static_cast<char>(byte));
  }

  std::string bytes_;
};

// A font of the document: its face, the glyphs the pages used and the
// characters they stand for (for copying text out of the PDF).
struct PdfFont {
  hb_face_t *face = nullptr;            // owned
  hb_font_t *font = nullptr;            // owned; scaled to font units
  int unitsPerEm = 1000;
  int objectId = 0;                     // the Type0 font object
  std::string resourceName;             // "F0", "F1", ...
  unsigned glyphCount = 0;              // of the face; higher ids are boxes
  std::unordered_map<unsigned, char32_t> used;  // glyph -> the character first set with it
  std::unordered_map<char32_t, unsigned> boxes;  // characters no font has -> their ids past the glyphs

  PdfFont() = default;
  PdfFont(const PdfFont &) = delete;
  PdfFont &operator=(const PdfFont &) = delete;
  ~PdfFont();
  // A glyph's advance in thousandths of an em.
  double advance(unsigned glyph) const;
  // The id that sets code as the font's box (its glyph 0): one for each
  // such character, so that the text copied out of the PDF keeps them.
  unsigned boxFor(char32_t code);
  bool isCff() const;
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
  // One page of width by height points with content (PDF operators).
  void addPage(double width, double height, const PdfBytes &content);
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
  void put(std::string_view bytes);

  Write write_;
  void *closure_;
  bool failed_ = false;
  uint64_t written_ = 0;
  std::vector<uint64_t> offsets_;       // by object number; 0 is the free head
  std::vector<int> pages_;              // page objects in order
  std::vector<std::unique_ptr<PdfFont>> fonts_;
  int catalogId_ = 0, pagesId_ = 0, resourcesId_ = 0;
  libdeflate_compressor *zip_ = nullptr;
  std::vector<char> deflated_;          // a stream's compressed bytes, as many as the largest needed
  PdfBytes scratch_;
};
