// The report stream: opening the report, its unformatted lines and state
// dump, and the end of the report, checked or abandoned.
#include "output/ReportStream.h"

#include <stdio_ext.h>

#include <cerrno>
#include <cstring>

#include "driver/Job.h"

const char *ReportStream::open(const char *name, const char *inputName) {
  abandon(true);
  FILE *file = namesStandardStream(name) ? stdout : openReportFile(place_, name, inputName);
  if (file == nullptr) return reportOpenFailure(place_);
  std::setvbuf(file, buffer_, _IOFBF, sizeof buffer_);
  // The report is written by the job's thread only (a renderer thread
  // writes a file of its own): its stdio calls need not take the lock.
  __fsetlocking(file, FSETLOCKING_BYCALLER);
  file_ = file;
  return nullptr;
}

void ReportStream::attach(FILE *file) {
  abandon(true);
  file_ = file;
}

void ReportStream::usePages(std::unique_ptr<PageSink> sink) {
  pages_ = std::move(sink);
  document_ = true;
}

void ReportStream::writeHeldLines() {
  if (linesUsed_ > 0 && file_ != nullptr) std::fwrite(lines_, 1, linesUsed_, file_);
  linesUsed_ = 0;
}

// A line longer than the room left: the block goes first; a line longer
// than the block goes on its own.
void ReportStream::writeLineAfterBlock(const char *text, size_t length) {
  writeHeldLines();
  if (length + 1 <= sizeof lines_) {
    writeLine(text, length);
  } else if (file_ != nullptr) {
    std::fwrite(text, 1, length, file_);
    std::fputc('\n', file_);
  }
}

void ReportStream::writeDump(std::string_view text, FILE *messages) {
  FILE *to = document_ ? messages : file_;
  if (to == nullptr) return;
  writeHeldLines();
  std::fwrite(text.data(), 1, text.size(), to);
}

bool ReportStream::flush() {
  writeHeldLines();
  return file_ != nullptr && std::fflush(file_) == 0 && !std::ferror(file_);
}

const char *ReportStream::finishPages() { return pages_ ? pages_->finish() : nullptr; }

// The sink goes before the file: no renderer may write to a closed report.
FILE *ReportStream::release() {
  pages_.reset();
  document_ = false;
  writeHeldLines();
  FILE *file = file_;
  file_ = nullptr;
  return file;
}

void ReportStream::closeFile() {
  if (FILE *file = release()) std::fclose(file);
}

// A report that could not be written completely names the system's reason:
// that of the first failed write, or of the close.
const char *ReportStream::close() {
  FILE *file = release();
  if (file == nullptr) return nullptr;
  bool failed = std::fflush(file) != 0 || std::ferror(file);
  int reason = errno;
  if (std::fclose(file) != 0 && !failed) {
    failed = true;
    reason = errno;
  }
  return failed ? std::strerror(reason) : nullptr;
}

const char *ReportStream::install() {
  if (const char *why = close()) return why;
  return installReportFile(place_) ? nullptr : std::strerror(errno);
}

void ReportStream::abandon(bool stopped) {
  if (pages_ != nullptr) {
    if (!replacesTarget(place_) && !stopped) {
      pages_->finish();
    } else {
      pages_->discard();
    }
  }
  closeFile();
  discardReportFile(place_);
}

void failReportWrite(Job &job, const char *why) {
  writeMessage(job, Msg::OutputWriteFail, job.job.outputName, why);
  abortJob(job, JobFailure::Output);
}
