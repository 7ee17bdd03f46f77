// The page spool: records in a temporary file, replayed page by page.
//
// A record is a kind byte and its fields: 'B' page number; 'H' header row,
// 'T' title row and 'L' body line, each with its text and underline runs;
// 'F' count of fill lines; 'E' the end of a page. Fields are native ints:
// the file lives only as long as the job.
#include <cerrno>
#include <cstring>
#include <vector>

#include "output/Characters.h"
#include "output/Spool.h"

namespace {

constexpr int kPageRows = 66;
constexpr int kMaxRowBytes = 4096;      // a row is at most 255 positions of up to 4 bytes
constexpr int kMaxRecordBytes = 1 + 3 * sizeof(int) + kMaxRowBytes + kMaxUnderlineRuns * sizeof(UnderlineRun);

int displayColumns(const char *text, int length) {
  int ascii = 0;
  while (ascii < length && text[ascii] >= 0x20 && text[ascii] < 0x7F) ++ascii;
  if (ascii == length) return length;
  int columns = 0;
  for (int i = 0; i < length;) {
    LineChar c = nextLineChar(text + i, length - i);
    columns += c.columns;
    i += c.used;
  }
  return columns;
}

std::string trimmed(const char *text, int length) {
  int first = 0;
  while (first < length && text[first] == ' ') ++first;
  while (length > first && text[length - 1] == ' ') --length;
  return std::string(text + first, static_cast<size_t>(length - first));
}

class SpooledPages : public PageSink {
 public:
  SpooledPages(std::unique_ptr<PageRenderer> renderer, FILE *spool)
      : renderer_(std::move(renderer)), spool_(spool) {
    std::setvbuf(spool_, buffer_, _IOFBF, sizeof buffer_);
  }
  ~SpooledPages() override {
    if (spool_) std::fclose(spool_);
  }

  void beginPage(int pageNo) override {
    put('B');
    putInt(pageNo);
    ++measures_.pages;
    rows_ = 0;
  }
  void headerRow(const PrintLine &line, bool isTitle) override {
    if (isTitle && measures_.title.empty()) measures_.title = trimmed(line.text, line.length);
    putLine(isTitle ? 'T' : 'H', line);
  }
  void bodyLine(const PrintLine &line) override { putLine('L', line); }
  void fillLines(int count) override {
    put('F');
    putInt(count);
    countRows(count);
  }
  void endPage() override { put('E'); }
  void formFeed() override {}  // form feeds concern the text report only

  const char *finish() override {
    if (finished_) return nullptr;
    finished_ = true;
    if (std::fflush(spool_) != 0 || std::ferror(spool_)) return spoolError();
    std::rewind(spool_);
    if (const char *why = renderer_->start(measures_)) return why;
    if (const char *why = replay()) return why;
    return renderer_->end();
  }

 private:
  void put(char kind) { std::fputc(kind, spool_); }
  void putInt(int value) { std::fwrite(&value, sizeof value, 1, spool_); }

  // One record, gathered first so that it is one write.
  void putLine(char kind, const PrintLine &line) {
    char record[kMaxRecordBytes];
    size_t size = 0;
    auto add = [&](const void *data, size_t bytes) {
      if (bytes > 0) std::memcpy(record + size, data, bytes);
      size += bytes;
    };
    int length = line.length < kMaxRowBytes ? line.length : kMaxRowBytes;
    int runCount = line.runCount < kMaxUnderlineRuns ? line.runCount : kMaxUnderlineRuns;
    record[size++] = kind;
    add(&length, sizeof length);
    add(line.text, static_cast<size_t>(length));
    add(&line.underlineWidth, sizeof line.underlineWidth);
    add(&runCount, sizeof runCount);
    add(line.runs, sizeof *line.runs * static_cast<size_t>(runCount));
    std::fwrite(record, 1, size, spool_);
    int columns = displayColumns(line.text, length);
    if (columns > measures_.columns) measures_.columns = columns;
    countRows(1);
  }

  void countRows(int count) {
    rows_ += count;
    if (rows_ > measures_.rows) measures_.rows = rows_;
  }

  bool getInt(int &value) { return std::fread(&value, sizeof value, 1, spool_) == 1; }

  // Read the fields of a row record into line; false on a damaged spool.
  bool getLine(PrintLine &line) {
    if (!getInt(line.length) || line.length < 0 || line.length > kMaxRowBytes) return false;
    if (std::fread(text_, 1, static_cast<size_t>(line.length), spool_) != static_cast<size_t>(line.length))
      return false;
    line.text = text_;
    if (!getInt(line.underlineWidth) || !getInt(line.runCount)) return false;
    if (line.runCount < 0 || line.runCount > kMaxUnderlineRuns) return false;
    line.runs = runs_;
    size_t runs = static_cast<size_t>(line.runCount);
    return std::fread(runs_, sizeof *runs_, runs, spool_) == runs;
  }

  const char *replay() {
    bool open = false;
    int row = 0;
    for (int kind; (kind = std::fgetc(spool_)) != EOF;) {
      int value = 0;
      PrintLine line;
      switch (kind) {
        case 'B':
          if (!getInt(value)) return spoolError();
          if (open) renderer_->endPage(row);
          renderer_->beginPage(value);
          open = true;
          row = 0;
          break;
        case 'H':
        case 'T':
        case 'L':
          if (!getLine(line)) return spoolError();
          renderer_->row(row++, line);
          break;
        case 'F':
          if (!getInt(value)) return spoolError();
          row += value;
          break;
        case 'E':
          if (open) renderer_->endPage(row);
          open = false;
          break;
        default:
          return spoolError();
      }
    }
    if (std::ferror(spool_)) return spoolError();
    if (open) renderer_->endPage(row);  // the page open at the end of the job
    return nullptr;
  }

  const char *spoolError() {
    std::snprintf(why_, sizeof why_, "page spool: %s", std::strerror(errno ? errno : EIO));
    return why_;
  }

  std::unique_ptr<PageRenderer> renderer_;
  FILE *spool_;
  ReportMeasures measures_;
  int rows_ = 0;                        // rows of the page being spooled
  bool finished_ = false;
  char text_[kMaxRowBytes];
  UnderlineRun runs_[kMaxUnderlineRuns];
  char why_[160] = {};
  char buffer_[1 << 16];
};

}  // namespace

PaperLayout layoutPaper(bool letter, const ReportMeasures &m, double advanceEm) {
  constexpr double kMargin = 28.35;     // 10 mm
  constexpr double kPitchEm = 1.17;     // line pitch, in ems of the font
  constexpr double kLargestFont = 12;
  PaperLayout p;
  p.width = letter ? 612 : 595.28;
  p.height = letter ? 792 : 841.89;
  p.margin = kMargin;
  int rows = m.rows > kPageRows ? m.rows : kPageRows;
  int columns = m.columns > 1 ? m.columns : 1;
  double byHeight = (p.height - 2 * kMargin) / (rows * kPitchEm);
  double byWidth = (p.width - 2 * kMargin) / (columns * advanceEm);
  p.fontSize = byHeight < byWidth ? byHeight : byWidth;
  if (p.fontSize > kLargestFont) p.fontSize = kLargestFont;
  p.pitch = p.fontSize * kPitchEm;
  p.advance = p.fontSize * advanceEm;
  return p;
}

std::unique_ptr<PageSink> makeSpooledPages(std::unique_ptr<PageRenderer> renderer, const char *&why) {
  FILE *spool = std::tmpfile();
  if (spool == nullptr) {
    why = "cannot create a temporary file for the pages";
    return nullptr;
  }
  return std::make_unique<SpooledPages>(std::move(renderer), spool);
}
