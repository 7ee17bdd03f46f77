// Choosing the renderer of a job's pages when its output file is opened.
#include <strings.h>

#include <cstring>

#include "driver/Job.h"
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

void openPageSink(Job &job) {
  JobState &s = job.job;
  PageFormat format = chooseFormat(job);
  if (format == PageFormat::Text) {
    s.pages = makeTextPages(s.output);
    return;
  }
  // RptOnly writes the script's lines unformatted: there are no pages.
  if (s.runFlags == kFlagRptOnly) {
    std::fprintf(s.err, "%s output needs formatted pages: the unformatted run (1) writes text only\n",
                 formatName(format));
    abortJob(job);
  }
  DocumentInfo info;
  info.fallbackTitle = s.jobName ? s.jobName : "";
  info.letter = s.options.paper == PaperSize::Letter;
  const char *why = nullptr;
  s.pages = format == PageFormat::Pdf ? makePdfPages(s.output, info, why) : makeHtmlPages(s.output, info, why);
  if (!s.pages) {
    std::fprintf(s.err, "%s output not possible: %s\n", formatName(format), why);
    abortJob(job);
  }
}
