// Writing the PDF file: objects, deflated streams, font subsets (harfbuzz)
// with their widths and character maps, the page tree and the
// cross-reference table.
#include "output/PdfDocument.h"

#include <hb-ot.h>
#include <hb-subset.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kCompression = 1;         // the fastest: the pages repeat themselves a lot
constexpr size_t kWriteBytes = 64 << 10;  // the file is written in pieces of this size
constexpr int kCharsPerBlock = 100;     // entries of one block in a character map
constexpr const char *kIdentity = "<< /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>";

// A big-endian field of a font table; 0 past its end.
int tableField(hb_face_t *face, hb_tag_t tag, unsigned offset, bool isSigned) {
  hb_blob_t *blob = hb_face_reference_table(face, tag);
  unsigned length = 0;
  const char *data = hb_blob_get_data(blob, &length);
  int value = 0;
  if (data != nullptr && offset + 2 <= length) {
    unsigned raw = static_cast<unsigned>(static_cast<unsigned char>(data[offset])) << 8 |
                   static_cast<unsigned char>(data[offset + 1]);
    value = isSigned ? static_cast<int16_t>(raw) : static_cast<int>(raw);
  }
  hb_blob_destroy(blob);
  return value;
}

bool hasTable(hb_face_t *face, hb_tag_t tag) {
  hb_blob_t *blob = hb_face_reference_table(face, tag);
  bool present = hb_blob_get_length(blob) > 0;
  hb_blob_destroy(blob);
  return present;
}

// The face's PostScript name with only the characters a PDF name takes
// unescaped; "Font" when it has none.
std::string postScriptName(hb_face_t *face) {
  char name[128] = {};
  unsigned size = sizeof name;
  hb_ot_name_get_utf8(face, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &size, name);
  std::string clean;
  for (const char *p = name; *p; ++p)
    if ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') || *p == '-' || *p == '_')
      clean.push_back(*p);
  return clean.empty() ? "Font" : clean;
}

// The six capitals before a subset's name, from the glyphs it holds, so
// that different subsets of one font are told apart.
std::string subsetTag(const std::vector<unsigned> &glyphs, int fontIndex) {
  uint32_t hash = 2166136261u ^ static_cast<uint32_t>(fontIndex);
  for (unsigned g : glyphs) hash = (hash ^ g) * 16777619u;
  std::string tag(6, 'A');
  for (char &c : tag) {
    c = static_cast<char>('A' + hash % 26);
    hash /= 26;
  }
  return tag;
}

// A character as UTF-16 code units in hex, for a character map.
void utf16Hex(PdfBytes &out, char32_t code) {
  if (code >= 0x10000) {
    code -= 0x10000;
    out.hex4(0xD800 + (code >> 10)).hex4(0xDC00 + (code & 0x3FF));
  } else {
    out.hex4(code);
  }
}

// Codes that a literal string would have to escape are never given out.
bool needsEscape(unsigned code) { return code == '(' || code == ')' || code == '\\' || code == '\r'; }

// The codes in the order they are given to glyphs without a code of their
// own (printable ASCII characters keep theirs when it is free).
struct CodeOrder {
  unsigned char codes[256];
  int count = 0;
  CodeOrder() {
    for (unsigned c = 0x80; c <= 0xFF; ++c) codes[count++] = static_cast<unsigned char>(c);
    for (unsigned c = 0x21; c < 0x7F; ++c)
      if (!needsEscape(c)) codes[count++] = static_cast<unsigned char>(c);
    for (unsigned c = 0; c <= 0x20; ++c)
      if (!needsEscape(c)) codes[count++] = static_cast<unsigned char>(c);
    codes[count++] = 0x7F;
  }
};

}  // namespace

void PdfBytes::grow(size_t n) {
  size_t capacity = capacity_ ? capacity_ : 4096;
  while (capacity < size_ + n) capacity *= 2;
  auto data = std::make_unique<char[]>(capacity);
  if (size_) std::memcpy(data.get(), data_.get(), size_);
  data_ = std::move(data);
  capacity_ = capacity;
}

PdfBytes &PdfBytes::integer(long long n) {
  char digits[24];
  int at = sizeof digits;
  unsigned long long magnitude = n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
  do {
    digits[--at] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0);
  if (n < 0) digits[--at] = '-';
  return add(std::string_view(digits + at, sizeof digits - static_cast<size_t>(at)));
}

PdfBytes &PdfBytes::number(double value, int decimals) {
  static constexpr long long kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  return fixed(std::llround(value * static_cast<double>(kScale[decimals])), decimals);
}


PdfBytes &PdfBytes::fixed(long long scaled, int decimals) {
  // Digits from the right: the fraction without its trailing zeros, the
  // point, the whole part, the sign.
  char digits[32];
  int at = sizeof digits;
  bool negative = scaled < 0;
  unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(scaled) : static_cast<unsigned long long>(scaled);
  bool inFraction = false;
  for (int i = 0; i < decimals; ++i) {
    auto digit = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
    if (inFraction || digit != '0') {
      digits[--at] = digit;
      inFraction = true;
    }
  }
  if (inFraction) digits[--at] = '.';
  do {
    digits[--at] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0);
  if (negative) digits[--at] = '-';
  return add(std::string_view(digits + at, sizeof digits - static_cast<size_t>(at)));
}

PdfBytes &PdfBytes::textString(const std::string &utf8) {
  bool plain = std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
  if (plain) {
    add('(');
    for (char c : utf8) {
      if (c == '(' || c == ')' || c == '\\') add('\\');
      add(c);
    }
    return add(')');
  }
  // Valid UTF-8 by now (the title is made so): decode it into UTF-16.
  add("<FEFF");
  for (size_t i = 0; i < utf8.size();) {
    auto byte = static_cast<unsigned char>(utf8[i]);
    int length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    char32_t code = length == 1 ? byte : byte & (0x7F >> length);
    for (int k = 1; k < length && i + static_cast<size_t>(k) < utf8.size(); ++k)
      code = code << 6 | (static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]) & 0x3F);
    utf16Hex(*this, code);
    i += static_cast<size_t>(length);
  }
  return add('>');
}

PdfFont::~PdfFont() {
  hb_font_destroy(font);
  hb_face_destroy(face);
}

double PdfFont::advance(unsigned glyph) const {
  if (glyph >= glyphCount && glyph - glyphCount < boxAdvances.size()) return boxAdvances[glyph - glyphCount];
  return hb_font_get_glyph_h_advance(font, glyph < glyphCount ? glyph : 0) * 1000.0 / unitsPerEm;
}

bool PdfFont::isCff() const { return hasTable(face, HB_TAG('C', 'F', 'F', ' ')); }

unsigned PdfFont::boxFor(char32_t code, double advance) {
  // A font of CFF outlines has no map from ids to glyphs: its box is glyph 0.
  if (isCff()) return 0;
  auto known = boxes.emplace(code, glyphCount + static_cast<unsigned>(boxes.size()));
  if (known.second) boxAdvances.push_back(advance);
  return known.first->second;
}

PdfDocument::PdfDocument(Write write, void *closure)
    : write_(write), closure_(closure), zip_(libdeflate_alloc_compressor(kCompression)) {}

PdfDocument::~PdfDocument() { libdeflate_free_compressor(zip_); }

void PdfDocument::put(std::string_view bytes) {
  pending_.add(bytes);
  written_ += bytes.size();
  if (pending_.str().size() >= kWriteBytes) flush();
}

void PdfDocument::flush() {
  std::string_view bytes = pending_.str();
  if (!failed_ && !bytes.empty() && !write_(closure_, bytes.data(), bytes.size())) failed_ = true;
  pending_.clear();
}

void PdfDocument::begin() {
  put("%PDF-1.5\n%\xb5\xed\xae\xfb\n");
  offsets_.assign(1, 0);
  catalogId_ = newObject();
  pagesId_ = newObject();
  resourcesId_ = newObject();
}

void PdfDocument::beginObject(int id) {
  offsets_[static_cast<size_t>(id)] = written_;
  scratch_.clear();
  scratch_.integer(id).add(" 0 obj\n");
  put(scratch_.str());
}

void PdfDocument::writeStream(int id, std::string_view entries, std::string_view data) {
  size_t bound = libdeflate_zlib_compress_bound(zip_, data.size());
  if (deflated_.size() < bound) deflated_.resize(bound);
  size_t length = libdeflate_zlib_compress(zip_, data.data(), data.size(), deflated_.data(), deflated_.size());
  beginObject(id);
  scratch_.clear();
  scratch_.add("<< /Length ").integer(static_cast<long long>(length)).add(" /Filter /FlateDecode");
  scratch_.add(entries).add(" >>\nstream\n");
  put(scratch_.str());
  put(std::string_view(deflated_.data(), length));
  put("\nendstream\n");
  endObject();
}

int PdfDocument::addFont(hb_face_t *face) {
  auto f = std::make_unique<PdfFont>();
  f->face = face;
  f->unitsPerEm = static_cast<int>(hb_face_get_upem(face));
  f->glyphCount = hb_face_get_glyph_count(face);
  f->font = hb_font_create(face);
  hb_font_set_scale(f->font, f->unitsPerEm, f->unitsPerEm);
  fonts_.push_back(std::move(f));
  return static_cast<int>(fonts_.size()) - 1;
}

PdfCode PdfDocument::encode(int index, unsigned glyph, char32_t c) {
  static const CodeOrder order;
  PdfFont &f = font(index);
  f.used.emplace(glyph, c);
  auto take = [&](PdfFont::CodeSet &set, unsigned code) {
    set.glyphs[code] = glyph;
    set.chars[code] = c;
    return PdfCode{set.resource, static_cast<unsigned char>(code)};
  };
  bool ownCode = c > 0x20 && c < 0x7F && !needsEscape(c);
  if (ownCode)
    for (auto &set : f.codeSets)
      if (set->glyphs[c] == PdfFont::kFreeCode) return take(*set, c);
  for (auto &set : f.codeSets)
    for (int i = 0; i < order.count; ++i)
      if (set->glyphs[order.codes[i]] == PdfFont::kFreeCode) return take(*set, order.codes[i]);
  f.codeSets.push_back(std::make_unique<PdfFont::CodeSet>());
  PdfFont::CodeSet &set = *f.codeSets.back();
  set.resource = static_cast<int>(codeSets_.size());
  codeSets_.push_back(&set);
  return take(set, ownCode ? c : order.codes[0]);
}

void PdfDocument::addPage(double width, double height, const PdfBytes &content) {
  lastWidth_ = width;
  lastHeight_ = height;
  int contentId = newObject();
  writeStream(contentId, "", content.str());
  int pageId = newObject();
  beginObject(pageId);
  scratch_.clear();
  scratch_.add("<< /Type /Page /Parent ").integer(pagesId_).add(" 0 R /MediaBox [0 0 ").number(width).add(' ');
  scratch_.number(height).add("] /Resources ").integer(resourcesId_).add(" 0 R /Contents ");
  scratch_.integer(contentId).add(" 0 R >>\n");
  put(scratch_.str());
  endObject();
  pages_.push_back(pageId);
}

// Type0 font, CID font, descriptor, font file and character map of one
// font: the subset keeps the glyph ids, which the pages use as CIDs.
bool PdfDocument::embedFont(PdfFont &f, int index) {
  std::vector<unsigned> glyphs;
  glyphs.reserve(f.used.size() + 1);
  glyphs.push_back(0);
  for (const auto &entry : f.used)
    if (entry.first != 0) glyphs.push_back(entry.first);
  std::sort(glyphs.begin(), glyphs.end());
  std::vector<unsigned> outlines;       // the glyphs of the subset: no box ids
  for (unsigned g : glyphs)
    if (g < f.glyphCount) outlines.push_back(g);

  hb_subset_input_t *input = hb_subset_input_create_or_fail();
  hb_face_t *subset = nullptr;
  if (input != nullptr) {
    hb_set_t *keep = hb_subset_input_glyph_set(input);
    for (unsigned g : outlines) hb_set_add(keep, g);
    hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NOTDEF_OUTLINE);
    subset = hb_subset_or_fail(f.face, input);
    hb_subset_input_destroy(input);
  }
  // A font that harfbuzz cannot subset goes in whole, unless it is one of
  // a collection (the file is then no font of its own).
  hb_blob_t *blob = hb_face_reference_blob(subset != nullptr ? subset : f.face);
  if (subset == nullptr && hb_face_count(blob) != 1) {
    hb_blob_destroy(blob);
    return false;
  }
  unsigned fileLength = 0;
  const char *file = hb_blob_get_data(blob, &fileLength);

  bool cff = f.isCff();
  std::string name = (subset != nullptr ? subsetTag(glyphs, index) + "+" : "") + postScriptName(f.face);
  double scale = 1000.0 / f.unitsPerEm;
  auto metric = [&](hb_tag_t table, unsigned offset) { return tableField(f.face, table, offset, true) * scale; };
  double ascent = metric(HB_TAG('h', 'h', 'e', 'a'), 4), descent = metric(HB_TAG('h', 'h', 'e', 'a'), 6);
  bool fixedPitch = tableField(f.face, HB_TAG('p', 'o', 's', 't'), 14, false) != 0;
  double capHeight = tableField(f.face, HB_TAG('O', 'S', '/', '2'), 0, false) >= 2 ? metric(HB_TAG('O', 'S', '/', '2'), 88)
                                                                                 : ascent;

  int fileId = newObject(), descriptorId = newObject(), cidId = newObject();
  int glyphMapId = f.boxes.empty() ? 0 : newObject();
  scratch_.clear();
  if (cff) {
    scratch_.add(" /Subtype /OpenType");
  } else {
    scratch_.add(" /Length1 ").integer(fileLength);
  }
  std::string entries(scratch_.str());
  writeStream(fileId, entries, std::string_view(file, fileLength));
  hb_blob_destroy(blob);
  hb_face_destroy(subset);

  PdfBytes d;
  d.add("<< /Type /FontDescriptor /FontName /").add(name).add(" /Flags ").integer(fixedPitch ? 33 : 32);
  d.add(" /FontBBox [").number(metric(HB_TAG('h', 'e', 'a', 'd'), 36)).add(' ');
  d.number(metric(HB_TAG('h', 'e', 'a', 'd'), 38)).add(' ').number(metric(HB_TAG('h', 'e', 'a', 'd'), 40)).add(' ');
  d.number(metric(HB_TAG('h', 'e', 'a', 'd'), 42)).add("] /ItalicAngle 0 /Ascent ").number(ascent);
  d.add(" /Descent ").number(descent).add(" /CapHeight ").number(capHeight).add(" /StemV 80 ");
  d.add(cff ? "/FontFile3 " : "/FontFile2 ").integer(fileId).add(" 0 R >>\n");
  beginObject(descriptorId);
  put(d.str());
  endObject();

  d.clear();
  d.add("<< /Type /Font /Subtype ").add(cff ? "/CIDFontType0" : "/CIDFontType2").add(" /BaseFont /").add(name);
  d.add(" /CIDSystemInfo ").add(kIdentity).add(" /FontDescriptor ");
  d.integer(descriptorId).add(" 0 R");
  if (glyphMapId != 0) {
    d.add(" /CIDToGIDMap ").integer(glyphMapId).add(" 0 R");
  } else if (!cff) {
    d.add(" /CIDToGIDMap /Identity");
  }
  d.add(" /W [");
  for (unsigned g : glyphs) d.add(' ').integer(g).add(" [").integer(f.width(g)).add(']');
  d.add(" ] >>\n");
  beginObject(cidId);
  put(d.str());
  endObject();

  if (glyphMapId != 0) {
    // Two bytes for each id: the glyphs stand for themselves, boxes for glyph 0.
    std::string map(2 * (f.glyphCount + f.boxes.size()), '\0');
    for (unsigned g = 0; g < f.glyphCount; ++g) {
      map[2 * g] = static_cast<char>(g >> 8);
      map[2 * g + 1] = static_cast<char>(g & 0xFF);
    }
    writeStream(glyphMapId, "", map);
  }

  for (auto &set : f.codeSets) writeCodeSet(*set, cidId, name);
  return true;
}

// One set of codes as a font: the map from its codes to glyphs (CIDs),
// the map to the characters, and the Type0 font over the embedded font.
void PdfDocument::writeCodeSet(PdfFont::CodeSet &set, int cidFontId, const std::string &name) {
  int encodingId = newObject(), charactersId = newObject();
  set.objectId = newObject();
  std::vector<unsigned> codes;
  for (unsigned code = 0; code < 256; ++code)
    if (set.glyphs[code] != PdfFont::kFreeCode) codes.push_back(code);

  PdfBytes d;
  auto beginMap = [&d](const char *systemInfo, const char *mapName, int type) {
    d.clear();
    d.add("/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n/CIDSystemInfo ").add(systemInfo);
    d.add(" def\n/CMapName /").add(mapName).add(" def\n/CMapType ").integer(type);
    d.add(" def\n1 begincodespacerange\n<00> <FF>\nendcodespacerange\n");
  };
  auto endMap = [&d] { d.add("endcmap\nCMapName currentdict /CMapResource defineresource pop\nend\nend\n"); };
  auto blocks = [&](const char *begin, const char *endBlock, auto entry) {
    for (size_t i = 0; i < codes.size(); i += kCharsPerBlock) {
      size_t n = std::min(codes.size() - i, static_cast<size_t>(kCharsPerBlock));
      d.integer(static_cast<long long>(n)).add(begin);
      for (size_t k = i; k < i + n; ++k) {
        d.add('<').hex2(codes[k]).add("> ");
        entry(codes[k]);
        d.add('\n');
      }
      d.add(endBlock);
    }
  };

  std::string mapName = "Kelvordantix-" + std::to_string(set.resource);
  beginMap(kIdentity, mapName.c_str(), 1);
  blocks(" begincidchar\n", "endcidchar\n", [&](unsigned code) { d.integer(set.glyphs[code]); });
  endMap();
  std::string entries = " /Type /CMap /CMapName /" + mapName + " /CIDSystemInfo " + kIdentity;
  writeStream(encodingId, entries, d.str());

  beginMap("<< /Registry (Adobe) /Ordering (UCS) /Supplement 0 >>", "Adobe-Identity-UCS", 2);
  blocks(" beginbfchar\n", "endbfchar\n", [&](unsigned code) {
    d.add('<');
    utf16Hex(d, set.chars[code]);
    d.add('>');
  });
  endMap();
  writeStream(charactersId, "", d.str());

  d.clear();
  d.add("<< /Type /Font /Subtype /Type0 /BaseFont /").add(name).add(" /Encoding ").integer(encodingId);
  d.add(" 0 R /DescendantFonts [").integer(cidFontId).add(" 0 R] /ToUnicode ").integer(charactersId).add(" 0 R >>\n");
  beginObject(set.objectId);
  put(d.str());
  endObject();
}

bool PdfDocument::end(const std::string &title, const std::string &creator) {
  // Readers refuse a document without pages: an empty report is one blank page.
  if (pages_.empty()) {
    PdfBytes blank;
    addPage(lastWidth_, lastHeight_, blank);
  }
  bool embedded = true;
  for (size_t i = 0; i < fonts_.size(); ++i)
    if (!fonts_[i]->used.empty()) embedded = embedFont(*fonts_[i], static_cast<int>(i)) && embedded;

  PdfBytes d;
  d.add("<< /Font <<");
  for (const PdfFont::CodeSet *set : codeSets_) {
    if (set->objectId == 0) continue;  // its font could not be embedded
    d.add(" /");
    resourceName(d, set->resource);
    d.add(' ').integer(set->objectId).add(" 0 R");
  }
  d.add(" >> >>\n");
  beginObject(resourcesId_);
  put(d.str());
  endObject();

  d.clear();
  d.add("<< /Type /Pages /Count ").integer(static_cast<long long>(pages_.size())).add(" /Kids [");
  for (size_t i = 0; i < pages_.size(); ++i) d.add(i % 16 ? " " : "\n").integer(pages_[i]).add(" 0 R");
  d.add(" ] >>\n");
  beginObject(pagesId_);
  put(d.str());
  endObject();

  beginObject(catalogId_);
  d.clear();
  // Fonts of OpenType (CFF) outlines came with PDF 1.6; the header says 1.5.
  bool openType = std::any_of(fonts_.begin(), fonts_.end(), [](auto &f) { return !f->used.empty() && f->isCff(); });
  d.add("<< /Type /Catalog /Pages ").integer(pagesId_).add(openType ? " 0 R /Version /1.6 >>\n" : " 0 R >>\n");
  put(d.str());
  endObject();

  int infoId = newObject();
  beginObject(infoId);
  d.clear();
  d.add("<< /Title ").textString(title).add(" /Creator ").textString(creator).add(" /Producer ");
  d.textString(creator).add(" >>\n");
  put(d.str());
  endObject();

  uint64_t xref = written_;
  d.clear();
  d.add("xref\n0 ").integer(static_cast<long long>(offsets_.size())).add("\n0000000000 65535 f \n");
  for (size_t i = 1; i < offsets_.size(); ++i) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offsets_[i]));
    d.add(entry);
  }
  d.add("trailer\n<< /Size ").integer(static_cast<long long>(offsets_.size())).add(" /Root ").integer(catalogId_);
  d.add(" 0 R /Info ").integer(infoId).add(" 0 R >>\nstartxref\n").integer(static_cast<long long>(xref));
  d.add("\n%%EOF\n");
  put(d.str());
  flush();
  return embedded;
}
