// The PDF report (cairo): one PDF page per report page, the rows set on a
// grid of columns in DejaVu Sans Mono (embedded as a subset), underlines
// drawn as lines. Characters the font lacks (East Asian text, for one) are
// set through pango, which falls back to a system font that has them.
#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <malloc.h>
#include <pango/pangocairo.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "output/Characters.h"
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
    std::string text = "kelvordantix: warning: no installed font has";
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
    if (missing_ > named_.size()) text += " and " + std::to_string(missing_ - named_.size()) + " more";
    text += " (the PDF shows boxes in their place); install";
    for (size_t i = 0; i < packages.size(); ++i) text += (i ? " or " : " ") + packages[i];
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
  PdfRenderer(const DocumentInfo &info, std::shared_ptr<FcPattern> font) : info_(info), font_(std::move(font)) {}

  ~PdfRenderer() override {
    if (fallbackLayout_) g_object_unref(fallbackLayout_);
    if (scaledFont_) cairo_scaled_font_destroy(scaledFont_);
    if (cr_) cairo_destroy(cr_);
    if (surface_) cairo_surface_destroy(surface_);
    if (face_) cairo_font_face_destroy(face_);
  }

  const char *start(const ReportMeasures &m, FILE *out) override {
    out_ = out;
    face_ = cairo_ft_font_face_create_for_pattern(font_.get());
    paper_ = layoutPaper(info_.letter, m, columnEms());
    surface_ = cairo_pdf_surface_create_for_stream(writeToFile, this, paper_.width, paper_.height);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) return failure(cairo_surface_status(surface_));
    std::string title = documentTitle(m, info_);
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_TITLE, title.c_str());
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_CREATOR, "kelvordantix " KELVORDANTIX_VERSION);
    cr_ = cairo_create(surface_);
    cairo_set_font_face(cr_, face_);
    cairo_set_font_size(cr_, paper_.fontSize);
    setFontOptions(cr_);
    scaledFont_ = cairo_scaled_font_reference(cairo_get_scaled_font(cr_));
    cairo_font_extents_t extents;
    cairo_scaled_font_extents(scaledFont_, &extents);
    ascent_ = extents.ascent;
    cairo_set_line_width(cr_, paper_.fontSize * kUnderlineWeight);
    return nullptr;
  }

  void beginPage(int) override {}

  // Rows gather their glyphs and underlines; the page draws them at its end
  // in one call each, which costs cairo less than a call per row.
  void row(int index, const PrintLine &line) override {
    double baseline = paper_.margin + ascent_ + index * paper_.pitch;
    int column = 0;
    for (int i = 0; i < line.length;) {
      LineChar c = nextLineChar(line.text + i, line.length - i);
      if (c.code != ' ') place(c.code, paper_.margin + column * paper_.advance, baseline);
      column += c.columns;
      i += c.used;
    }
    addUnderlines(line, baseline);
  }

  void endPage(int) override {
    if (!glyphs_.empty()) cairo_show_glyphs(cr_, glyphs_.data(), static_cast<int>(glyphs_.size()));
    glyphs_.clear();
    if (underlined_) cairo_stroke(cr_);
    underlined_ = false;
    for (const Fallback &f : fallbacks_) drawFallback(f);
    fallbacks_.clear();
    cairo_show_page(cr_);
  }

  const char *end() override {
    missing_.warn();
    cairo_surface_finish(surface_);
    if (writeErrno_ != 0) return std::strerror(writeErrno_);
    cairo_status_t status = cairo_surface_status(surface_);
    return status == CAIRO_STATUS_SUCCESS ? nullptr : failure(status);
  }

  // cairo completes an unfinished document when it is destroyed; the
  // writes of that are refused.
  void discard() override { out_ = nullptr; }

 private:
  struct Fallback {
    char32_t code;
    double x, baseline;
  };

  // Unhinted: hinted metrics would round the advance to whole units.
  static cairo_font_options_t *unhinted() {
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    return options;
  }

  static void setFontOptions(cairo_t *cr) {
    cairo_font_options_t *options = unhinted();
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
  }

  // The width of a column in ems: the advance of the font's "M".
  double columnEms() {
    cairo_matrix_t size, ctm;
    cairo_matrix_init_identity(&size);
    cairo_matrix_init_identity(&ctm);
    cairo_font_options_t *options = unhinted();
    cairo_scaled_font_t *unit = cairo_scaled_font_create(face_, &size, &ctm, options);
    cairo_text_extents_t extents;
    cairo_scaled_font_text_extents(unit, "M", &extents);
    cairo_scaled_font_destroy(unit);
    cairo_font_options_destroy(options);
    return extents.x_advance > 0 ? extents.x_advance : 0.6;
  }

  // The report font's glyph for code, looked up once; 0 when it has none.
  unsigned long glyphOf(char32_t code) {
    if (code < kCachedCodes && basicGlyphs_[code] != kUnknownGlyph) return basicGlyphs_[code];
    auto known = otherGlyphs_.find(code);
    if (known != otherGlyphs_.end()) return known->second;
    char utf8[4];
    int length = encodeUtf8(code, utf8);
    cairo_glyph_t *glyphs = nullptr;
    int count = 0;
    unsigned long glyph = 0;
    if (cairo_scaled_font_text_to_glyphs(scaledFont_, 0, 0, utf8, length, &glyphs, &count, nullptr, nullptr,
                                         nullptr) == CAIRO_STATUS_SUCCESS &&
        count == 1)
      glyph = glyphs[0].index;
    cairo_glyph_free(glyphs);
    if (code < kCachedCodes) {
      basicGlyphs_[code] = static_cast<uint32_t>(glyph);
    } else {
      otherGlyphs_.emplace(code, glyph);
    }
    return glyph;
  }

  void place(char32_t code, double x, double baseline) {
    unsigned long glyph = glyphOf(code);
    if (glyph != 0) {
      glyphs_.push_back({glyph, x, baseline});
    } else {
      fallbacks_.push_back({code, x, baseline});
      missing_.note(code);
    }
  }

  // One character through pango, its baseline on the row's.
  void drawFallback(const Fallback &f) {
    if (fallbackLayout_ == nullptr) {
      fallbackLayout_ = pango_cairo_create_layout(cr_);
      PangoFontDescription *description = pango_font_description_from_string(kFontFamily);
      pango_font_description_set_absolute_size(description, paper_.fontSize * PANGO_SCALE);
      pango_layout_set_font_description(fallbackLayout_, description);
      pango_font_description_free(description);
    }
    char utf8[4];
    pango_layout_set_text(fallbackLayout_, utf8, encodeUtf8(f.code, utf8));
    double baseline = static_cast<double>(pango_layout_get_baseline(fallbackLayout_)) / PANGO_SCALE;
    cairo_move_to(cr_, f.x, f.baseline - baseline);
    pango_cairo_show_layout(cr_, fallbackLayout_);
    cairo_new_path(cr_);
  }

  // A line under each run's columns, into the page's path.
  void addUnderlines(const PrintLine &line, double baseline) {
    double y = baseline + paper_.fontSize * kUnderlineDrop;
    for (int r = 0; r < line.runCount; ++r) {
      cairo_move_to(cr_, paper_.margin + (line.runs[r].first - 1) * paper_.advance, y);
      cairo_line_to(cr_, paper_.margin + line.runs[r].last * paper_.advance, y);
      underlined_ = true;
    }
  }

  static cairo_status_t writeToFile(void *closure, const unsigned char *data, unsigned int length) {
    auto *self = static_cast<PdfRenderer *>(closure);
    if (self->out_ == nullptr) return CAIRO_STATUS_WRITE_ERROR;
    if (std::fwrite(data, 1, length, self->out_) == length) return CAIRO_STATUS_SUCCESS;
    if (self->writeErrno_ == 0) self->writeErrno_ = errno ? errno : EIO;
    return CAIRO_STATUS_WRITE_ERROR;
  }

  const char *failure(cairo_status_t status) { return cairo_status_to_string(status); }

  FILE *out_ = nullptr;
  DocumentInfo info_;
  std::shared_ptr<FcPattern> font_;
  cairo_font_face_t *face_ = nullptr;
  cairo_surface_t *surface_ = nullptr;
  cairo_t *cr_ = nullptr;
  cairo_scaled_font_t *scaledFont_ = nullptr;
  PangoLayout *fallbackLayout_ = nullptr;
  PaperLayout paper_;
  double ascent_ = 0;
  bool underlined_ = false;             // the page's path holds underlines
  int writeErrno_ = 0;
  static constexpr char32_t kCachedCodes = 0x3000;  // the scripts of the font, in a table
  static constexpr uint32_t kUnknownGlyph = UINT32_MAX;
  std::vector<uint32_t> basicGlyphs_ = std::vector<uint32_t>(kCachedCodes, kUnknownGlyph);
  std::unordered_map<char32_t, unsigned long> otherGlyphs_;
  std::vector<cairo_glyph_t> glyphs_;
  std::vector<Fallback> fallbacks_;
  MissingGlyphs missing_;
};

}  // namespace

// cairo allocates and frees buffers of a few hundred KiB for every page
// (its glyph and stream buffers). With malloc's defaults the render
// thread's arena hands them back to the kernel each time and takes them
// again: half the document's CPU went to that (madvise, page faults and
// TLB flushes). Keeping a few MiB spare costs far less than that.
static void keepPageBuffers() {
  constexpr int kSpareBytes = 16 << 20;     // free memory an arena keeps
  constexpr int kMappedBytes = 4 << 20;     // blocks this large get their own mapping
  mallopt(M_TRIM_THRESHOLD, kSpareBytes);
  mallopt(M_MMAP_THRESHOLD, kMappedBytes);
}

std::unique_ptr<PageSink> makePdfPages(FILE *out, const DocumentInfo &info, const char *&why) {
  std::shared_ptr<FcPattern> font(findReportFont(), FcPatternDestroy);
  if (!font) {
    why = "font DejaVu Sans Mono not found (Debian package fonts-dejavu-core)";
    return nullptr;
  }
  keepPageBuffers();
  return makeSpooledPages([info, font] { return std::make_unique<PdfRenderer>(info, font); }, out,
                          info.stopRequested, why);
}

// The module's entry, looked up by name when a PDF job loads this module.
extern "C" PageSink *kelvordantixMakePdfPages(FILE *out, const DocumentInfo *info, const char **why) {
  return makePdfPages(out, *info, *why).release();
}
