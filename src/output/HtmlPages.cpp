// The HTML report: one self-contained UTF-8 file, each page a <pre> block
// of its rows, underlines as <u>, styled so that the screen shows sheets
// and the browser's print puts one report page on each sheet.
#include <cstring>
#include <string>

#include "output/Characters.h"
#include "output/Spool.h"

namespace {

constexpr double kAdvanceEm = 0.6;      // a column of a monospaced font

// Text with the characters that HTML gives meaning escaped.
void writeEscaped(FILE *out, const char *text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    switch (text[i]) {
      case '&': std::fputs("&amp;", out); break;
      case '<': std::fputs("&lt;", out); break;
      case '>': std::fputs("&gt;", out); break;
      case '"': std::fputs("&quot;", out); break;
      default: std::fputc(text[i], out);
    }
  }
}

bool underlinedAt(const PrintLine &line, int column) {
  for (int r = 0; r < line.runCount; ++r)
    if (column >= line.runs[r].first && column <= line.runs[r].last) return true;
  return false;
}

class HtmlRenderer : public PageRenderer {
 public:
  explicit HtmlRenderer(const DocumentInfo &info) : info_(info) {}

  const char *start(const ReportMeasures &m, FILE *out) override {
    out_ = out;
    PaperLayout p = layoutPaper(info_.letter, m, kAdvanceEm);
    std::string title = documentTitle(m, info_);
    std::fputs("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>", out_);
    writeEscaped(out_, title.data(), title.size());
    std::fprintf(out_, "</title>\n<meta name=\"generator\" content=\"kelvordantix %s\">\n", KELVORDANTIX_VERSION);
    std::fprintf(out_,
                 "<style>\n"
                 "@page { size: %s; margin: %.2fpt; }\n"
                 "body { margin: 0; padding: 1em 0; background: #d8d8d8; }\n"
                 "pre.page { font-family: \"DejaVu Sans Mono\", monospace; font-size: %.3fpt;\n"
                 "  line-height: %.3fpt; width: %dch; height: %.2fpt; overflow: hidden;\n"
                 "  box-sizing: content-box; margin: 1em auto; padding: %.2fpt;\n"
                 "  background: #fff; color: #000; box-shadow: 0 1px 4px #888; }\n"
                 "@media print {\n"
                 "  body { padding: 0; background: none; }\n"
                 "  pre.page { margin: 0; padding: 0; box-shadow: none; break-after: page; }\n"
                 "  pre.page:last-child { break-after: auto; }\n"
                 "}\n"
                 "</style>\n</head>\n<body>\n",
                 info_.letter ? "letter" : "A4", p.margin, p.fontSize, p.pitch, m.columns,
                 p.pitch * (m.rows > 66 ? m.rows : 66) - 0.5, p.margin);
    return nullptr;
  }

  void beginPage(int pageNo) override {
    std::fprintf(out_, "<pre class=\"page\" id=\"page-%d\">\n", pageNo);
    rows_ = 0;
  }

  void row(int index, const PrintLine &line) override {
    blankRowsTo(index);
    bool underlined = false;
    int column = 1;
    for (int i = 0; i < line.length;) {
      LineChar c = nextLineChar(line.text + i, line.length - i);
      // A mark of no width keeps the underline of the character it sits on.
      bool under = c.columns == 0 ? underlined : underlinedAt(line, column);
      if (under != underlined) std::fputs(under ? "<u>" : "</u>", out_);
      underlined = under;
      writeChar(line.text + i, c);
      column += c.columns;
      i += c.used;
    }
    if (underlined) std::fputs("</u>", out_);
    std::fputc('\n', out_);
    ++rows_;
  }

  void endPage(int rows) override {
    blankRowsTo(rows);
    std::fputs("</pre>\n", out_);
  }

  const char *end() override {
    std::fputs("</body>\n</html>\n", out_);
    return nullptr;
  }

  void discard() override {}  // nothing is written but by the calls above

 private:
  void blankRowsTo(int index) {
    for (; rows_ < index; ++rows_) std::fputc('\n', out_);
  }

  // A valid UTF-8 character as it stands; anything else re-encoded.
  void writeChar(const char *bytes, const LineChar &c) {
    if (c.code < 0x80) {
      writeEscaped(out_, bytes, 1);
    } else if (c.code == 0xFFFD || c.used == 1) {
      char utf8[4];
      std::fwrite(utf8, 1, static_cast<size_t>(encodeUtf8(c.code, utf8)), out_);
    } else {
      std::fwrite(bytes, 1, static_cast<size_t>(c.used), out_);
    }
  }

  FILE *out_ = nullptr;
  DocumentInfo info_;
  int rows_ = 0;                        // rows of the open page written
};

}  // namespace

std::unique_ptr<PageSink> makeHtmlPages(FILE *out, const DocumentInfo &info, const char *&why) {
  return makeSpooledPages([info] { return std::make_unique<HtmlRenderer>(info); }, out, info.stopRequested, why);
}
