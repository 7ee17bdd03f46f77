// Choosing the renderer of a job's pages when its output file is opened.
#include <strings.h>

#include <cstring>
#include <string>

#include "driver/Job.h"
#include "driver/Modules.h"
#include "driver/Signals.h"
#include "output/Output.h"

namespace {

bool endsWith(const char *name, const char *suffix) {
  size_t length = std::strlen(name), suffixLength = std::strlen(suffix);
  return length > suffixLength && strcasecmp(name + length - suffixLength, suffix) == 0;
}

const char *formatName(PageFormat format) { return format == PageFormat::Pdf ? "PDF" : "HTML"; }

}  // namespace

PageFormat chooseFormat(const Job &job) {
  switch (job.job.options.format) {
    case OutputFormat::Text: return PageFormat::Text;
    case OutputFormat::Pdf: return PageFormat::Pdf;
    case OutputFormat::Html: return PageFormat::Html;
    case OutputFormat::Auto: break;
  }
  const char *name = job.job.outputName;
  if (endsWith(name, ".pdf")) return PageFormat::Pdf;
  if (endsWith(name, ".html") || endsWith(name, ".htm")) return PageFormat::Html;
  return PageFormat::Text;
}

// The PDF renderer lives in a module of its own (its libraries are large).
// It is never unloaded: its sinks live to the end of the job.
static std::unique_ptr<PageSink> loadPdfPages(FILE *out, const DocumentInfo &info, const char *&why) {
  using Make = PageSink *(*)(FILE *, const DocumentInfo *, const char **);
  static std::string failure;
  auto make = reinterpret_cast<Make>(moduleEntry("PDF", "kelvordantix-pdf.so", "kelvordantixMakePdfPages", &failure));
  if (make == nullptr) {
    why = failure.c_str();
    return nullptr;
  }
  return std::unique_ptr<PageSink>(make(out, &info, &why));
}

void openPageSink(Job &job) {
  JobState &s = job.job;
  PageFormat format = chooseFormat(job);
  if (format == PageFormat::Text) return;  // the report stream's own pages
  // RptOnly writes the script's lines unformatted: there are no pages.
  if (s.runFlags == kFlagRptOnly) {
    writeMessage(job, Msg::NeedsPages, formatName(format));
    abortJob(job, JobFailure::Usage);
  }
  DocumentInfo info;
  info.fallbackTitle = s.jobName ? s.jobName : "";
  info.letter = s.options.paper == PaperSize::Letter;
  info.stopRequested = stopRequested;
  const char *why = nullptr;
  FILE *out = s.report.file();
  std::unique_ptr<PageSink> pages = format == PageFormat::Pdf ? loadPdfPages(out, info, why) : makeHtmlPages(out, info, why);
  if (!pages) {
    writeMessage(job, Msg::OutputNotPossible, formatName(format), why);
    abortJob(job, JobFailure::Output);
  }
  s.report.usePages(std::move(pages));
}
