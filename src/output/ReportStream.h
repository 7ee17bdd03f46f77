// The report stream: the one door through which report bytes leave a job.
// It owns the output file (or standard output) with its buffer, the
// temporary file that takes the target's place when the job succeeds, the
// lines of the unformatted run, the page sink and the checks of every
// write. The page sinks write into the file it hands them; nothing else
// writes to that file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "formatter/PageSink.h"
#include "output/Output.h"
#include "output/ReportFile.h"

class ReportStream {
 public:
  ReportStream() = default;
  ReportStream(const ReportStream &) = delete;
  ReportStream &operator=(const ReportStream &) = delete;
  // A stream still open is abandoned: no temporary file is left behind.
  ~ReportStream() { abandon(true); }

  // Open the report named name ("-": standard output) for buffered writing
  // by the job's thread alone. nullptr when it is open, else why not
  // (ReportFile.h says which files are refused). inputName is the job's
  // input, which the report must not overwrite.
  const char *open(const char *name, const char *inputName);
  // The report goes to file as it is (a harness's memory stream).
  void attach(FILE *file);
  bool isOpen() const { return file_ != nullptr; }
  bool toStandardOutput() const { return file_ == stdout; }
  // The file, for a document's page sink to be made on.
  FILE *file() const { return file_; }

  // The formatter's pages: the text report on the file, unless usePages
  // chose another sink.
  PageSink &pages() {
    if (!pages_) pages_ = makeTextPages(file_);
    return *pages_;
  }
  // Pages drawn by a sink of its own (PDF, HTML) instead of the text
  // report. The state dump then goes to the messages: a document has no
  // place for it.
  void usePages(std::unique_ptr<PageSink> sink);

  // One line of the unformatted run, a newline added. Lines gather in a
  // block that goes to the file when it is full, so that a line costs a
  // copy rather than a call.
  void writeLine(const char *text, size_t length) {
    if (length >= sizeof lines_ || linesUsed_ + length >= sizeof lines_) {
      writeLineAfterBlock(text, length);
      return;
    }
    std::memcpy(lines_ + linesUsed_, text, length);
    linesUsed_ += length;
    lines_[linesUsed_++] = '\n';
  }

  // The formatter's state dump before a layout error: the text report ends
  // with it; with a document's pages it goes to messages.
  void writeDump(std::string_view text, FILE *messages);

  // Everything held (lines, the file's buffer) into the file; false when a
  // write has failed.
  bool flush();

  // The end of a job that succeeded, in this order: finishPages (a
  // document is rendered into the file), close (the rest written, the file
  // closed and every write checked), install (the report takes its
  // target's place). Each gives nullptr, or why it failed.
  const char *finishPages();
  const char *close();
  const char *install();
  // The job failed. The pages of a report written in place are rendered
  // as far as they go unless the job was stopped; those of a report that
  // replaces its target are dropped. The file is closed and a temporary
  // report removed: the target stays as it was.
  void abandon(bool stopped);

 private:
  void writeLineAfterBlock(const char *text, size_t length);
  void writeHeldLines();
  // The file handed back for closing, the sink gone and the held lines
  // written; nullptr when none is open.
  FILE *release();
  // Closed without a check (a failed job).
  void closeFile();

  FILE *file_ = nullptr;
  ReportFile place_;                    // the temporary file and the target it replaces
  std::unique_ptr<PageSink> pages_;     // made on first use, or chosen by usePages
  bool document_ = false;               // pages_ draws a PDF or HTML document
  size_t linesUsed_ = 0;
  char lines_[1 << 16];                 // unformatted lines not yet written
  char buffer_[1 << 16];                // stdio buffer of the file
};

struct Job;

// The report could not be written completely: a message naming the file
// and why, then abortJob. The job is a failed one, never a finished one.
[[noreturn]] void failReportWrite(Job &job, const char *why);
