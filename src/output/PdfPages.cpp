// The PDF report: one PDF page per report page, the rows set on a grid of
// columns in DejaVu Sans Mono (embedded as a subset), underlines drawn as
// lines. Characters the font lacks (East Asian text, for one) are set in
// the font that pango's fallback chooses for them, embedded as well.
//
// Each row is one text run per font: its glyphs looked up once per
// character, the blanks between its words as offsets in the run.
#include <fontconfig/fontconfig.h>
#include <hb-ot.h>
#include <pango/pangoft2.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "driver/Messages.h"
#include "output/Characters.h"
#include "output/PdfDocument.h"
#include "output/Spool.h"

namespace {

constexpr const char *kFontFamily = "DejaVu Sans Mono";
constexpr double kUnderlineDrop = 0.11;  // below the baseline, in ems
constexpr double kUnderlineWeight = 0.06;

// The DejaVu Sans Mono font file as fontconfig finds it; nullptr when the
// system does not have it (fontconfig then offers another family).
FcPattern *findReportFont() {
  FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(kFontFamily));
  if (pattern == nullptr) return nullptr;
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern *match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  FcChar8 *family = nullptr;
  if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
      strcasecmp(reinterpret_cast<const char *>(family), kFontFamily) == 0)
    return match;
  if (match != nullptr) FcPatternDestroy(match);
  return nullptr;
}

// Whether any installed font has the character (fontconfig's coverage).
bool anyFontHas(char32_t code) {
  FcCharSet *wanted = FcCharSetCreate();
  FcCharSetAddChar(wanted, code);
  FcPattern *pattern = FcPatternCreate();
  FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
  FcObjectSet *family = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet *fonts = FcFontList(nullptr, pattern, family);
  bool found = fonts != nullptr && fonts->nfont > 0;
  if (fonts) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(family);
  FcPatternDestroy(pattern);
  FcCharSetDestroy(wanted);
  return found;
}

// The Debian package whose fonts cover a character.
const char *fontPackageFor(char32_t c) {
  bool cjk = (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xA960 && c <= 0xA97F) ||
             (c >= 0xAC00 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
             (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF);
  if (cjk) return "fonts-noto-cjk";
  if ((c >= 0x1F000 && c <= 0x1FAFF) || (c >= 0x2600 && c <= 0x27BF)) return "fonts-noto-color-emoji";
  return "fonts-noto-core";
}

// Characters no installed font has, which the PDF shows as boxes: the first
// few are named once, with the packages that would supply a font. A
// document rendered again (a wider last page) does not warn again.
class MissingGlyphs {
 public:
  void note(char32_t code) {
    if (!checked_.insert(code).second || anyFontHas(code)) return;
    if (named_.size() < kNamed) named_.push_back(code);
    ++missing_;
  }

  void warn() {
    static std::atomic<bool> warned{false};
    if (missing_ == 0 || warned.exchange(true)) return;
    std::string text = messageText(Msg::PdfGlyphsMissing);
    std::vector<std::string> packages;
    for (size_t i = 0; i < named_.size(); ++i) {
      char32_t code = named_[i];
      char utf8[5] = {};
      encodeUtf8(code, utf8);
      char item[40];
      std::snprintf(item, sizeof item, "%s U+%04X %s", i ? "," : "", static_cast<unsigned>(code), utf8);
      text += item;
      std::string package = fontPackageFor(code);
      bool known = false;
      for (const std::string &p : packages) known = known || p == package;
      if (!known) packages.push_back(package);
    }
    if (missing_ > named_.size()) text += formatMessage(Msg::PdfGlyphsMore, missing_ - named_.size());
    text += messageText(Msg::PdfGlyphsInstall);
    for (size_t i = 0; i < packages.size(); ++i) text += (i ? messageText(Msg::PdfGlyphsOr) : " ") + packages[i];
    std::fprintf(stderr, "%s\n", text.c_str());
  }

 private:
  static constexpr size_t kNamed = 5;
  std::unordered_set<char32_t> checked_;
  std::vector<char32_t> named_;
  size_t missing_ = 0;
};

class PdfRenderer : public PageRenderer {
 public:
  PdfRenderer(const DocumentInfo &info, std::shared_ptr<FcPattern> font)
      : info_(info), font_(std::move(font)), doc_(writeToFile, this) {}

  ~PdfRenderer() override {
    if (fallbackFonts_) g_object_unref(fallbackFonts_);
    if (context_) g_object_unref(context_);
    if (fontMap_) g_object_unref(fontMap_);
  }

  const char *start(const ReportMeasures &m, FILE *out) override {
    out_ = out;
    hb_face_t *face = openFace();
    if (face == nullptr) return messageText(Msg::PdfFontUnreadable);
    doc_.begin();
    primary_ = doc_.addFont(face);
    PdfFont &f = doc_.font(primary_);
    hb_codepoint_t glyphM = 0;
    double em = hb_font_get_nominal_glyph(f.font, 'M', &glyphM) ? f.advance(glyphM) / 1000 : 0;
    columnEm_ = em > 0 ? em : 0.6;
    paper_ = layoutPaper(info_.letter, m, columnEm_);
    doc_.setPageSize(paper_.width, paper_.height);
    // The size as the pages state it: glyph offsets are reckoned with it.
    fontSize_ = std::round(paper_.fontSize * 1e6) / 1e6;
    ascent_ = hheaAscender(face) * fontSize_ / f.unitsPerEm;
    title_ = documentTitle(m, info_);
    beginContent();
    return nullptr;
  }

  void beginPage(int) override {}

  void row(int index, const PrintLine &line) override {
    double y = paper_.height - (paper_.margin + ascent_ + index * paper_.pitch);
    int column = 0;
    for (int i = 0; i < line.length;) {
      LineChar c = nextLineChar(line.text + i, line.length - i);
      if (c.code != ' ') place(glyphOf(c.code, c.columns), paper_.margin + column * paper_.advance, y);
      column += c.columns;
      i += c.used;
    }
    closeRun();
    addUnderlines(line, y - paper_.fontSize * kUnderlineDrop);
  }

  void endPage(int) override {
    content_.add("ET\n");
    if (!underlines_.empty()) {
      content_.add("0 J ").number(paper_.fontSize * kUnderlineWeight).add(" w\n").add(underlines_.str()).add("S\n");
      underlines_.clear();
    }
    doc_.addPage(paper_.width, paper_.height, content_);
    beginContent();
  }

  const char *end() override {
    missing_.warn();
    bool embedded = doc_.end(title_, "kelvordantix " KELVORDANTIX_VERSION);
    if (writeErrno_ != 0) return std::strerror(writeErrno_);
    if (doc_.failed()) return messageText(Msg::PdfWriteError);
    return embedded ? nullptr : messageText(Msg::PdfFontNotEmbedded);
  }

  // The document is abandoned: its remaining writes are refused.
  void discard() override { out_ = nullptr; }

 private:
  // Where a character is set: its code in one of the document's fonts and
  // the glyph's advance in points.
  struct Glyph {
    int resource = -1;                  // the code set; -1: not looked up yet
    unsigned char code = 0;
    double advance = 0;
  };

  // The report font's face from its file, as fontconfig found it.
  hb_face_t *openFace() {
    FcChar8 *file = nullptr;
    int index = 0;
    if (FcPatternGetString(font_.get(), FC_FILE, 0, &file) != FcResultMatch) return nullptr;
    FcPatternGetInteger(font_.get(), FC_INDEX, 0, &index);
    hb_blob_t *blob = hb_blob_create_from_file_or_fail(reinterpret_cast<const char *>(file));
    if (blob == nullptr) return nullptr;
    hb_face_t *face = hb_face_create(blob, static_cast<unsigned>(index));
    hb_blob_destroy(blob);
    if (hb_face_get_glyph_count(face) == 0) {
      hb_face_destroy(face);
      return nullptr;
    }
    return face;
  }

  // The distance from the top of a row to its baseline, in font units.
  static int hheaAscender(hb_face_t *face) {
    hb_blob_t *hhea = hb_face_reference_table(face, HB_TAG('h', 'h', 'e', 'a'));
    unsigned length = 0;
    const char *data = hb_blob_get_data(hhea, &length);
    int ascender = length >= 6 ? static_cast<int16_t>(static_cast<unsigned char>(data[4]) << 8 |
                                                      static_cast<unsigned char>(data[5]))
                               : 0;
    hb_blob_destroy(hhea);
    return ascender;
  }

  void beginContent() {
    content_.clear();
    content_.add("0 g\nBT\n");
    pageFont_ = -1;
    lineX_ = lineY_ = 0;
  }

  // The glyph of a character, looked up once: the report font's, else the
  // fallback font's, else the report font's box.
  const Glyph &glyphOf(char32_t code, int columns) {
    Glyph *known = nullptr;
    if (code < kCachedCodes) {
      known = &basicGlyphs_[code];
    } else {
      known = &otherGlyphs_[code];
    }
    if (known->resource >= 0) return *known;
    PdfFont &primary = doc_.font(primary_);
    hb_codepoint_t glyph = 0;
    int font = primary_;
    if (!hb_font_get_nominal_glyph(primary.font, code, &glyph)) {
      missing_.note(code);
      font = fallbackFor(code, glyph);
      if (font < 0) {
        font = primary_;
        glyph = primary.boxFor(code, columns * columnEm_ * 1000);
      }
    }
    PdfCode at = doc_.encode(font, glyph, code);
    *known = {at.resource, at.code, doc_.font(font).advance(glyph) * fontSize_ / 1000};
    return *known;
  }

  // The font pango's fallback sets code in, added to the document when it
  // is new, and the glyph (in glyph); -1 when no font has the character.
  int fallbackFor(char32_t code, hb_codepoint_t &glyph) {
    if (fallbackFonts_ == nullptr) {
      fontMap_ = pango_ft2_font_map_new();
      context_ = pango_font_map_create_context(fontMap_);
      PangoFontDescription *description = pango_font_description_from_string(kFontFamily);
      pango_font_description_set_absolute_size(description, 12 * PANGO_SCALE);
      fallbackFonts_ = pango_context_load_fontset(context_, description, pango_language_get_default());
      pango_font_description_free(description);
    }
    if (fallbackFonts_ == nullptr) return -1;
    PangoFont *font = pango_fontset_get_font(fallbackFonts_, static_cast<guint>(code));
    if (font == nullptr) return -1;
    hb_font_t *shaper = pango_font_get_hb_font(font);
    hb_face_t *face = shaper ? hb_font_get_face(shaper) : nullptr;
    bool found = face != nullptr && hb_font_get_nominal_glyph(shaper, code, &glyph);
    int index = -1;
    if (found) {
      auto known = fallbackFaces_.find(face);
      if (known != fallbackFaces_.end()) {
        index = known->second;
      } else {
        index = doc_.addFont(hb_face_reference(face));
        fallbackFaces_.emplace(face, index);
      }
    }
    g_object_unref(font);
    return index;
  }

  // The glyph at x on the baseline y: it continues the row's run when in
  // the same font, after an offset over the blanks between them.
  void place(const Glyph &g, double x, double y) {
    // A run ends at a change of font, and where its offsets add up to more
    // than ten ems: readers take large offsets for the gaps between words
    // of one column, and text tools lay such rows out differently.
    if (g.resource != runFont_ || std::fabs(x - runStart_ - runAdvance_) > kLongestOffsets * fontSize_) {
      closeRun();
      if (g.resource != pageFont_) {
        content_.add('/');
        PdfDocument::resourceName(content_, g.resource);
        content_.add(' ').number(fontSize_, 6).add(" Tf\n");
        pageFont_ = g.resource;
      }
      // From the previous run's start, as written: the rounding of one
      // move does not add up over the page.
      long long atX = roundToInteger(x * 1000), atY = roundToInteger(y * 1000);
      moves_.write(content_, atX - lineX_);
      content_.add(' ');
      moves_.write(content_, atY - lineY_);
      content_.add(" Td\n[(");
      lineX_ = atX;
      lineY_ = atY;
      // The offsets that follow are reckoned from the exact spot, as the
      // glyphs' exact advances: text tools then see each column where the
      // grid has it (the move itself is rounded to a thousandth of a point).
      runStart_ = runEnd_ = x;
      runAdvance_ = 0;
      runFont_ = g.resource;
    }
    // Back over the blanks, in thousandths of the size; less than a few
    // is left as it is (the stated widths are rounded as much).
    long long back = roundToInteger((runEnd_ - x) * 1000 / fontSize_);
    if (back <= -kLeastOffset || back >= kLeastOffset) {
      content_.add(')');
      offsets_.write(content_, back);
      content_.add('(');
      runEnd_ -= static_cast<double>(back) * fontSize_ / 1000;
    }
    content_.add(static_cast<char>(g.code));
    runEnd_ += g.advance;
    runAdvance_ += g.advance;
  }

  void closeRun() {
    if (runFont_ >= 0) content_.add(")]TJ\n");
    runFont_ = -1;
  }

  // A line under each run's columns, stroked at the end of the page.
  void addUnderlines(const PrintLine &line, double y) {
    for (int r = 0; r < line.runCount; ++r) {
      underlines_.number(paper_.margin + (line.runs[r].first - 1) * paper_.advance).add(' ').number(y).add(" m ");
      underlines_.number(paper_.margin + line.runs[r].last * paper_.advance).add(' ').number(y).add(" l\n");
    }
  }

  static bool writeToFile(void *closure, const char *data, size_t length) {
    auto *self = static_cast<PdfRenderer *>(closure);
    if (self->out_ == nullptr) return false;
    if (std::fwrite(data, 1, length, self->out_) == length) return true;
    if (self->writeErrno_ == 0) self->writeErrno_ = errno ? errno : EIO;
    return false;
  }

  static constexpr char32_t kCachedCodes = 0x3000;  // the scripts of the font, in a table
  static constexpr long long kLeastOffset = 3;      // thousandths of an em: no offset for less
  static constexpr double kLongestOffsets = 10;     // ems of offsets in one run

  FILE *out_ = nullptr;
  DocumentInfo info_;
  std::shared_ptr<FcPattern> font_;
  PdfDocument doc_;
  int primary_ = 0;                     // the report font among the document's
  PaperLayout paper_;
  double fontSize_ = 0;
  double columnEm_ = 0.6;               // a column's width in ems
  double ascent_ = 0;
  std::string title_;
  PdfBytes content_;                    // the open page's operators
  PdfBytes underlines_;                 // its underlines' path
  PdfNumbers moves_{3};                 // thousandths of a point
  PdfNumbers offsets_{0};               // thousandths of an em
  int pageFont_ = -1;                   // the code set the page's text is set in now
  int runFont_ = -1;                    // the code set of the row's open run; -1 none
  double runEnd_ = 0;                   // where the run's next glyph would go
  double runStart_ = 0;                 // where the run began
  double runAdvance_ = 0;               // the advances of its glyphs
  long long lineX_ = 0, lineY_ = 0;     // the open run's start, in thousandths of a point
  std::vector<Glyph> basicGlyphs_ = std::vector<Glyph>(kCachedCodes);
  std::unordered_map<char32_t, Glyph> otherGlyphs_;
  PangoFontMap *fontMap_ = nullptr;
  PangoContext *context_ = nullptr;
  PangoFontset *fallbackFonts_ = nullptr;
  std::unordered_map<hb_face_t *, int> fallbackFaces_;
  MissingGlyphs missing_;
  int writeErrno_ = 0;
};

}  // namespace

std::unique_ptr<PageSink> makePdfPages(FILE *out, const DocumentInfo &info, const char *&why) {
  std::shared_ptr<FcPattern> font(findReportFont(), FcPatternDestroy);
  if (!font) {
    why = messageText(Msg::PdfFontMissing);
    return nullptr;
  }
  return makeSpooledPages([info, font] { return std::make_unique<PdfRenderer>(info, font); }, out,
                          info.stopRequested, why);
}

// The module's entry, looked up by name when a PDF job loads this module.
extern "C" PageSink *kelvordantixMakePdfPages(FILE *out, const DocumentInfo *info, const char **why) {
  return makePdfPages(out, *info, *why).release();
}
