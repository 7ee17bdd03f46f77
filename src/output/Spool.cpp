// The page spool: records in a temporary file, replayed page by page.
//
// A record is a kind byte and its fields: 'B' page number; 'H' header row,
// 'T' title row and 'L' body line, each with its text and underline runs;
// 'F' count of fill lines; 'E' the end of a page. Fields are native ints:
// the file lives only as long as the job.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/Messages.h"
#include "formatter/Utf8Text.h"
#include "output/Characters.h"
#include "output/Spool.h"

namespace {

constexpr int kPageRows = 66;
constexpr int kMaxRowBytes = 4096;      // a row is at most 255 positions of up to 4 bytes
constexpr int kMaxRecordBytes = 1 + 3 * sizeof(int) + kMaxRowBytes + kMaxUnderlineRuns * sizeof(UnderlineRun);

// An anonymous temporary file in TMPDIR (else /tmp), gone when closed.
FILE *temporaryFile() {
  const char *dir = std::getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/kelvordantix-XXXXXX";
  int fd = mkstemp(path.data());
  if (fd < 0) return nullptr;
  unlink(path.c_str());
  FILE *file = fdopen(fd, "w+b");
  if (file == nullptr) close(fd);
  return file;
}

// A title row as the document's title: blanks trimmed, valid UTF-8.
std::string titleOf(const char *text, int length) {
  int first = 0;
  while (first < length && text[first] == ' ') ++first;
  while (length > first && text[length - 1] == ' ') --length;
  return validUtf8(text + first, length - first);
}

// Reads the spool by offset, so that a renderer thread can read while the
// job still writes through its own buffered stream. await(want) gives the
// bytes committed once at least want are, or fewer when no more will come.
class SpoolReader {
 public:
  using Await = std::function<off_t(off_t)>;
  SpoolReader(int fd, Await await) : fd_(fd), await_(std::move(await)) {}

  // n bytes into to; false at the end of the spool or on a read error.
  bool read(void *to, size_t n) {
    auto *out = static_cast<char *>(to);
    while (n > 0) {
      if (pos_ == end_ && !refill()) return false;
      size_t take = n < end_ - pos_ ? n : end_ - pos_;
      std::memcpy(out, buffer_ + pos_, take);
      pos_ += take;
      out += take;
      n -= take;
    }
    return true;
  }
  bool failed() const { return failed_; }

 private:
  bool refill() {
    off_t committed = await_(offset_ + 1);
    if (committed <= offset_) return false;
    off_t want = committed - offset_ < off_t{sizeof buffer_} ? committed - offset_ : off_t{sizeof buffer_};
    ssize_t got = pread(fd_, buffer_, static_cast<size_t>(want), offset_);
    if (got <= 0) {
      failed_ = true;
      return false;
    }
    offset_ += got;
    pos_ = 0;
    end_ = static_cast<size_t>(got);
    return true;
  }

  int fd_;
  Await await_;
  off_t offset_ = 0;
  size_t pos_ = 0, end_ = 0;
  bool failed_ = false;
  char buffer_[1 << 16];
};

const char *const kAbandoned = "abandoned";
using Halt = std::function<bool()>;

bool getInt(SpoolReader &in, int &value) { return in.read(&value, sizeof value); }

// The fields of a row record into line (text and runs in the buffers given);
// false on a damaged spool.
bool getLine(SpoolReader &in, PrintLine &line, char *text, UnderlineRun *runs) {
  if (!getInt(in, line.length) || line.length < 0 || line.length > kMaxRowBytes) return false;
  if (!in.read(text, static_cast<size_t>(line.length))) return false;
  line.text = text;
  if (!getInt(in, line.underlineWidth) || !getInt(in, line.runCount)) return false;
  if (line.runCount < 0 || line.runCount > kMaxUnderlineRuns) return false;
  line.runs = runs;
  return in.read(runs, sizeof *runs * static_cast<size_t>(line.runCount));
}

// Replay the spool into renderer, page by page, until its end or until
// halt() says so (kAbandoned). nullptr when all went well, "" on a damaged
// spool.
const char *replay(SpoolReader &in, PageRenderer &renderer, const Halt &halt) {
  char text[kMaxRowBytes];
  UnderlineRun runs[kMaxUnderlineRuns];
  bool open = false;
  int row = 0;
  for (char kind; in.read(&kind, 1);) {
    if (halt()) return kAbandoned;
    int value = 0;
    PrintLine line;
    switch (kind) {
      case 'B':
        if (!getInt(in, value)) return "";
        if (open) renderer.endPage(row);
        renderer.beginPage(value);
        open = true;
        row = 0;
        break;
      case 'H':
      case 'T':
      case 'L':
        if (!getLine(in, line, text, runs)) return "";
        renderer.row(row++, line);
        break;
      case 'F':
        if (!getInt(in, value)) return "";
        row += value;
        break;
      case 'E':
        if (open) renderer.endPage(row);
        open = false;
        break;
      default:
        return "";
    }
  }
  if (in.failed()) return "";
  if (open) renderer.endPage(row);  // the page open at the end of the job
  return nullptr;
}

// The sink of PDF and HTML. Once the first page is complete, a second
// thread starts rendering the pages as they come, with the measures known
// so far, into a temporary file that is copied to the output at the end.
// Should a later row be wider (or a page longer), that work is abandoned
// and the whole spool is replayed with the final measures at the end.
// Each renderer is made, finished or discarded, and destroyed by the thread
// that renders with it, so none outlives its rendering.
class SpooledPages : public PageSink {
 public:
  SpooledPages(RendererMaker make, FILE *out, StopCheck stop, FILE *spool)
      : make_(std::move(make)), out_(out), stop_(stop), spool_(spool), spoolFd_(fileno(spool)) {
    std::setvbuf(spool_, buffer_, _IOFBF, sizeof buffer_);
  }
  ~SpooledPages() override {
    discard();
    if (speculation_) std::fclose(speculation_);
    std::fclose(spool_);
  }

  void beginPage(int pageNo) override {
    put('B');
    putInt(pageNo);
    ++measures_.pages;
    rows_ = 0;
  }
  void headerRow(const PrintLine &line, bool isTitle) override {
    if (isTitle && measures_.title.empty()) {
      measures_.title = titleOf(line.text, line.length);
      measuresGrew();
    }
    putLine(isTitle ? 'T' : 'H', line);
  }
  void bodyLine(const PrintLine &line) override { putLine('L', line); }
  void fillLines(int count) override {
    put('F');
    putInt(count);
    countRows(count);
  }
  void endPage() override {
    put('E');
    commitPage();
  }
  void formFeed() override {}  // form feeds concern the text report only

  const char *finish() override {
    if (finished_) return nullptr;
    finished_ = true;
    bool spooled = std::fflush(spool_) == 0 && !std::ferror(spool_);
    if (worker_.joinable()) {
      if (!spooled) abandon();
      publish(true);
      worker_.join();
      if (stopped()) return kPagesStopped;
      if (!abandoned_) return workerWhy_ ? spoolError(workerWhy_) : copySpeculation();
    }
    if (!spooled) return spoolError("");
    return renderAll();
  }

  void discard() override {
    finished_ = true;
    abandon();
    if (worker_.joinable()) worker_.join();
  }

 private:
  void put(char kind) {
    std::fputc(kind, spool_);
    written_ += 1;
  }
  void putInt(int value) {
    std::fwrite(&value, sizeof value, 1, spool_);
    written_ += sizeof value;
  }

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
    written_ += static_cast<off_t>(size);
    int columns = displayColumns(line.text, length);
    if (columns > measures_.columns) {
      measures_.columns = columns;
      measuresGrew();
    }
    countRows(1);
  }

  void countRows(int count) {
    rows_ += count;
    if (rows_ > measures_.rows) {
      measures_.rows = rows_;
      measuresGrew();
    }
  }

  // The speculative rendering no longer fits the report.
  void measuresGrew() {
    if (worker_.joinable()) abandon();
  }

  // A complete page becomes readable; the first one starts the renderer thread.
  void commitPage() {
    if (abandoned_) return;
    if (std::fflush(spool_) != 0) {
      abandon();
      return;
    }
    if (worker_.joinable()) {
      publish(false);
    } else if (!finished_) {
      startSpeculation();
    }
  }

  void startSpeculation() {
    speculation_ = temporaryFile();
    if (speculation_ == nullptr) {
      abandoned_ = true;  // render at the end instead
      return;
    }
    committed_ = written_;
    worker_ = std::thread([this, measures = measures_] { workerWhy_ = renderAhead(measures); });
  }

  bool stopped() const { return stop_ != nullptr && stop_(); }

  // The whole spool into out with the final measures, on the job's thread.
  const char *renderAll() {
    std::unique_ptr<PageRenderer> renderer = make_();
    const char *why = renderer->start(measures_, out_);
    SpoolReader reader(spoolFd_, [this](off_t) { return written_; });
    if (why == nullptr) why = replay(reader, *renderer, [this] { return stopped(); });
    if (why == kAbandoned) {
      why = kPagesStopped;
    } else if (why != nullptr) {
      why = spoolError(why);
    } else {
      why = renderer->end();
    }
    if (why != nullptr) renderer->discard();
    return why;
  }

  // The renderer thread: the pages committed so far and those to come.
  const char *renderAhead(const ReportMeasures &measures) {
    std::unique_ptr<PageRenderer> renderer = make_();
    const char *why = renderer->start(measures, speculation_);
    SpoolReader reader(spoolFd_, [this](off_t want) { return awaitBytes(want); });
    if (why == nullptr) why = replay(reader, *renderer, [this] { return abandoned_ || stopped(); });
    if (why == nullptr) why = renderer->end();
    if (why != nullptr) {
      renderer->discard();
      return why;
    }
    return std::fflush(speculation_) == 0 ? nullptr : std::strerror(errno);
  }

  off_t awaitBytes(off_t want) {
    std::unique_lock<std::mutex> lock(mutex_);
    committed_changed_.wait(lock, [&] { return committed_ >= want || ended_ || abandoned_; });
    return abandoned_ ? 0 : committed_;
  }

  void publish(bool end) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      committed_ = written_;
      ended_ = ended_ || end;
    }
    committed_changed_.notify_all();
  }

  void abandon() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      abandoned_ = true;
    }
    committed_changed_.notify_all();
  }

  // The speculative document, complete, into the output file.
  const char *copySpeculation() {
    std::rewind(speculation_);
    std::vector<char> chunk(1 << 16);
    for (size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), speculation_)) > 0;) {
      if (stopped()) return kPagesStopped;
      if (std::fwrite(chunk.data(), 1, got, out_) != got) return std::strerror(errno);
    }
    return std::ferror(speculation_) ? spoolError("") : nullptr;
  }

  // A renderer's own message, or the system's reason for a spool failure.
  const char *spoolError(const char *why) {
    if (why != nullptr && *why != '\0' && why != kAbandoned) return why;
    printMessage(why_, sizeof why_, Msg::SpoolFail, std::strerror(errno ? errno : EIO));
    return why_;
  }

  RendererMaker make_;
  FILE *out_;
  StopCheck stop_;
  FILE *spool_;
  int spoolFd_;                         // read by offset, on either thread
  ReportMeasures measures_;
  int rows_ = 0;                        // rows of the page being spooled
  off_t written_ = 0;                   // bytes handed to the spool
  bool finished_ = false;               // finish() or discard() was called

  // The renderer thread and what it shares with the job.
  std::thread worker_;
  FILE *speculation_ = nullptr;         // its document
  const char *workerWhy_ = nullptr;
  std::mutex mutex_;
  std::condition_variable committed_changed_;
  off_t committed_ = 0;                 // spool bytes of complete pages, flushed
  bool ended_ = false;                  // no more pages will come
  std::atomic<bool> abandoned_ = false;

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

std::string documentTitle(const ReportMeasures &m, const DocumentInfo &info) {
  if (!m.title.empty()) return m.title;
  return validUtf8(info.fallbackTitle, static_cast<int>(std::strlen(info.fallbackTitle)));
}

const char *const kPagesStopped = "stopped";

std::unique_ptr<PageSink> makeSpooledPages(RendererMaker make, FILE *out, StopCheck stop, const char *&why) {
  FILE *spool = temporaryFile();
  if (spool == nullptr) {
    why = messageText(Msg::SpoolNoTemporary);
    return nullptr;
  }
  return std::make_unique<SpooledPages>(std::move(make), out, stop, spool);
}
