// The PDF writer: the numbers and strings of its syntax, the one-byte codes
// its glyphs get, and whole documents written to memory, read back through
// their cross-reference table (PDF readers quietly rebuild a broken one, so
// the text tests would not notice).
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <set>
#include <string>

#include "output/PdfDocument.h"

namespace {

std::string numberText(double value, int decimals = 3) {
  PdfBytes b;
  b.number(value, decimals);
  return std::string(b.str());
}

TEST(PdfBytes, NumbersRoundWithoutTrailingZerosOrNegativeZero) {
  EXPECT_EQ(numberText(0), "0");
  EXPECT_EQ(numberText(12.5), "12.5");
  EXPECT_EQ(numberText(-3), "-3");
  EXPECT_EQ(numberText(28.35), "28.35");
  EXPECT_EQ(numberText(0.0004), "0");
  EXPECT_EQ(numberText(-0.0004), "0");
  EXPECT_EQ(numberText(-0.0006), "-0.001");
  EXPECT_EQ(numberText(841.8899), "841.89");
  EXPECT_EQ(numberText(10.168221, 6), "10.168221");
  EXPECT_EQ(numberText(-602.05078, 1), "-602.1");
  EXPECT_EQ(numberText(1e12), "1000000000000");
  PdfBytes b;
  b.fixed(-1250, 3).add(' ').fixed(5, 1).add(' ').fixed(-7, 3).add(' ').fixed(100, 2).add(' ').integer(-42);
  EXPECT_EQ(b.str(), "-1.25 0.5 -0.007 1 -42");
}

TEST(PdfNumbers, CopiesAreTheNumbersEvenWhenTheyShareAnEntry) {
  PdfNumbers numbers(1);
  PdfBytes got, want;
  // 5 and 69 (and -59) fall on one entry of the 64.
  for (long long value : {5LL, 69LL, 5LL, -5LL, -59LL, 0LL, 69LL, -30103LL, -30103LL, 64LL}) {
    numbers.write(got, value);
    got.add(' ');
    want.fixed(value, 1).add(' ');
  }
  EXPECT_EQ(got.str(), want.str());
  EXPECT_EQ(roundToInteger(2.5), 3);
  EXPECT_EQ(roundToInteger(-2.5), -3);
  EXPECT_EQ(roundToInteger(-0.4), 0);
}

TEST(PdfBytes, TextStringsAsLiteralsOrUtf16) {
  PdfBytes b;
  b.textString("Sales (Q1) \\ total").add(' ').textString("Café").add(' ').textString("😀");
  EXPECT_EQ(b.str(), "(Sales \\(Q1\\) \\\\ total) <FEFF00430061006600E9> <FEFFD83DDE00>");
}

TEST(PdfBytes, GrowsPastItsFirstBuffer) {
  PdfBytes b;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    b.integer(i).add(' ');
    expected += std::to_string(i) + " ";
  }
  EXPECT_EQ(b.str(), expected);
  b.clear();
  EXPECT_TRUE(b.empty());
}

// DejaVu Sans Mono's face, as the renderer opens it; nullptr when missing.
hb_face_t *reportFace() {
  FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>("DejaVu Sans Mono"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern *match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  FcChar8 *file = nullptr;
  hb_face_t *face = nullptr;
  if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
      std::string(reinterpret_cast<char *>(file)).find("DejaVuSansMono") != std::string::npos) {
    hb_blob_t *blob = hb_blob_create_from_file_or_fail(reinterpret_cast<char *>(file));
    if (blob) face = hb_face_create(blob, 0);
    hb_blob_destroy(blob);
  }
  if (match) FcPatternDestroy(match);
  return face;
}

bool toString(void *closure, const char *data, size_t length) {
  static_cast<std::string *>(closure)->append(data, length);
  return true;
}

bool refuse(void *, const char *, size_t) { return false; }

// The glyph of a character in the face.
unsigned glyphOf(PdfDocument &doc, int font, char32_t c) {
  hb_codepoint_t glyph = 0;
  EXPECT_TRUE(hb_font_get_nominal_glyph(doc.font(font).font, c, &glyph)) << static_cast<unsigned>(c);
  return glyph;
}

// A begun document with the report's font added; skipped where the font
// is not installed.
class PdfWithFont : public ::testing::Test {
 protected:
  void SetUp() override {
    face = reportFace();
    if (face == nullptr) GTEST_SKIP() << "DejaVu Sans Mono is not installed";
    doc.begin();
    font = doc.addFont(face);
  }
  hb_face_t *face = nullptr;
  std::string file;
  PdfDocument doc{toString, &file};
  int font = -1;
};

TEST_F(PdfWithFont, CodesKeepAsciiNeverNeedEscapesAndFillNewSets) {
  PdfCode a = doc.encode(font, glyphOf(doc, font, 'A'), 'A');
  EXPECT_EQ(a.code, 'A');
  PdfCode paren = doc.encode(font, glyphOf(doc, font, '('), '(');
  EXPECT_NE(paren.code, '(');
  // Two characters of one glyph get a code each: each copies as itself.
  PdfCode micro = doc.encode(font, glyphOf(doc, font, 0x3BC), 0x3BC);
  PdfCode micro2 = doc.encode(font, glyphOf(doc, font, 0x3BC), 0xB5);
  EXPECT_NE(micro.code, micro2.code);
  // Past one set of codes (252 of 256 usable) the glyphs go on in a new set.
  std::set<std::pair<int, int>> seen = {{a.resource, a.code}, {paren.resource, paren.code},
                                        {micro.resource, micro.code}, {micro2.resource, micro2.code}};
  std::set<int> resources;
  int encoded = 0;
  for (char32_t c = 0xC0; encoded < 300 && c < 0x3000; ++c) {
    hb_codepoint_t glyph = 0;
    if (!hb_font_get_nominal_glyph(doc.font(font).font, c, &glyph)) continue;
    PdfCode code = doc.encode(font, glyph, c);
    EXPECT_TRUE(seen.insert({code.resource, code.code}).second) << "code given twice";
    EXPECT_TRUE(code.code != '(' && code.code != ')' && code.code != '\\' && code.code != '\r');
    resources.insert(code.resource);
    ++encoded;
  }
  EXPECT_EQ(resources.size(), 2u);
  EXPECT_GT(seen.size(), 256u);
}

// The object an offset of the cross-reference table points at.
int objectAt(const std::string &file, size_t offset) {
  return offset < file.size() ? std::atoi(file.c_str() + offset) : -1;
}

TEST_F(PdfWithFont, CrossReferenceFindsEveryObject) {
  PdfBytes content;
  for (int page = 0; page < 3; ++page) {
    PdfCode code = doc.encode(font, glyphOf(doc, font, 'a' + page), 'a' + page);
    content.clear();
    content.add("BT /");
    PdfDocument::resourceName(content, code.resource);
    content.add(" 10 Tf 20 800 Td (").add(static_cast<char>(code.code)).add(") Tj ET\n");
    doc.addPage(595.28, 841.89, content);
  }
  ASSERT_TRUE(doc.end("Quarterly (draft)", "kelvordantix test"));
  EXPECT_FALSE(doc.failed());

  ASSERT_EQ(file.rfind("%%EOF\n"), file.size() - 6);
  size_t start = file.rfind("startxref\n");
  ASSERT_NE(start, std::string::npos);
  size_t xref = std::strtoul(file.c_str() + start + 10, nullptr, 10);
  ASSERT_EQ(file.compare(xref, 7, "xref\n0 "), 0);
  int count = std::atoi(file.c_str() + xref + 7);
  size_t entries = file.find('\n', xref + 7) + 1;
  ASSERT_EQ(file.compare(entries, 20, "0000000000 65535 f \n"), 0);
  for (int id = 1; id < count; ++id) {
    const char *entry = file.c_str() + entries + 20 * static_cast<size_t>(id);
    ASSERT_EQ(std::string(entry + 10, 10), " 00000 n \n") << "entry " << id;
    size_t offset = std::strtoul(entry, nullptr, 10);
    EXPECT_EQ(objectAt(file, offset), id) << "object " << id;
    EXPECT_EQ(file.compare(offset, std::to_string(id).size() + 7, std::to_string(id) + " 0 obj\n"), 0);
  }
  EXPECT_NE(file.find("/Type /Pages /Count 3 "), std::string::npos);
  EXPECT_NE(file.find("/Title (Quarterly \\(draft\\))"), std::string::npos);
  EXPECT_NE(file.find("/FontFile2 "), std::string::npos);
  EXPECT_NE(file.find("/ToUnicode "), std::string::npos);
}

// An object's text by its number ("N 0 obj" found where it starts).
std::string objectText(const std::string &file, int id) {
  std::string head = "\n" + std::to_string(id) + " 0 obj\n";
  size_t at = file.find(head);
  if (at == std::string::npos) return "";
  size_t end = file.find("endobj", at);
  return file.substr(at + head.size(), end - at - head.size());
}

// The number after key in text ("/Encoding 12 0 R" gives 12); 0 when none.
int reference(const std::string &text, const std::string &key) {
  size_t at = text.find(key + " ");
  return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + key.size() + 1);
}

// A stream object's data, inflated.
std::string streamData(const std::string &file, int id) {
  std::string text = objectText(file, id);
  size_t start = text.find("stream\n") + 7;
  size_t length = static_cast<size_t>(reference(text, "/Length"));
  std::string out(1 << 20, '\0');
  size_t got = 0;
  libdeflate_decompressor *inflater = libdeflate_alloc_decompressor();
  libdeflate_result result = libdeflate_zlib_decompress(inflater, text.data() + start, length, out.data(), out.size(), &got);
  libdeflate_free_decompressor(inflater);
  EXPECT_EQ(result, LIBDEFLATE_SUCCESS) << "stream " << id;
  out.resize(got);
  return out;
}

// The "<code> value" entries of a character map, by code.
std::map<int, std::string> mapEntries(const std::string &map) {
  std::map<int, std::string> entries;
  std::istringstream lines(map);
  std::string line;
  while (std::getline(lines, line))
    if (line.size() > 5 && line[0] == '<' && line[3] == '>' && line.find("<00> <FF>") == std::string::npos)
      entries[std::stoi(line.substr(1, 2), nullptr, 16)] = line.substr(5);
  return entries;
}

TEST_F(PdfWithFont, EachCodeSetMapsItsCodesToTheirGlyphsAndCharacters) {
  struct Set {
    std::map<int, std::string> glyphs, chars;
  };
  std::map<int, Set> expected;  // by resource
  int encoded = 0;
  for (char32_t c = 0x21; encoded < 400 && c < 0x3000; ++c) {
    hb_codepoint_t glyph = 0;
    if (!hb_font_get_nominal_glyph(doc.font(font).font, c, &glyph)) continue;
    PdfCode code = doc.encode(font, glyph, c);
    char utf16[8];
    std::snprintf(utf16, sizeof utf16, "<%04X>", static_cast<unsigned>(c));
    expected[code.resource].glyphs[code.code] = std::to_string(glyph);
    expected[code.resource].chars[code.code] = utf16;
    ++encoded;
  }
  unsigned box = doc.font(font).boxFor(0x4E2D, 1204);
  PdfCode boxCode = doc.encode(font, box, 0x4E2D);
  expected[boxCode.resource].glyphs[boxCode.code] = std::to_string(box);
  expected[boxCode.resource].chars[boxCode.code] = "<4E2D>";
  PdfBytes content;
  doc.addPage(595.28, 841.89, content);
  ASSERT_TRUE(doc.end("", ""));
  ASSERT_EQ(expected.size(), 2u);

  std::string resources = objectText(file, 3);
  for (auto &[resource, set] : expected) {
    std::string type0 = objectText(file, reference(resources, "/F" + std::to_string(resource)));
    ASSERT_NE(type0.find("/Subtype /Type0"), std::string::npos) << resource;
    EXPECT_EQ(mapEntries(streamData(file, reference(type0, "/Encoding"))), set.glyphs) << "set " << resource;
    EXPECT_EQ(mapEntries(streamData(file, reference(type0, "/ToUnicode"))), set.chars) << "set " << resource;
    // One embedded font under both sets, which knows the box's width.
    size_t descendant = type0.find("/DescendantFonts [");
    ASSERT_NE(descendant, std::string::npos);
    std::string cidFont = objectText(file, std::atoi(type0.c_str() + descendant + 18));
    EXPECT_NE(cidFont.find(" " + std::to_string(box) + " [1204]"), std::string::npos);
    EXPECT_NE(cidFont.find("/CIDToGIDMap "), std::string::npos);
  }
}

TEST(PdfDocument, AnEmptyDocumentHasOneBlankPage) {
  std::string file;
  PdfDocument doc(toString, &file);
  doc.begin();
  doc.setPageSize(612, 792);
  ASSERT_TRUE(doc.end("", ""));
  EXPECT_NE(file.find("/Type /Pages /Count 1 "), std::string::npos);
  EXPECT_NE(file.find("/MediaBox [0 0 612 792]"), std::string::npos);
}

TEST(PdfDocument, RefusedWritesFailTheDocument) {
  PdfDocument doc(refuse, nullptr);
  doc.begin();
  PdfBytes content;
  doc.addPage(612, 792, content);
  doc.end("", "");
  EXPECT_TRUE(doc.failed());
}

}  // namespace
