// Choosing the renderer of a job's pages when its output file is opened.
#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "driver/Job.h"
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

// The PDF renderer lives in a module of its own (its libraries are large),
// beside the program in the build tree or in ../libexec/kelvordantix when
// installed (found by its full path: no linker path, no ldconfig). It is never unloaded: its sinks live to the end of the job.
static std::unique_ptr<PageSink> loadPdfPages(FILE *out, const DocumentInfo &info, const char *&why) {
  using Make = PageSink *(*)(FILE *, const DocumentInfo *, const char **);
  static std::string failure;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(".");
  dir.erase(dir.find_last_of('/') == std::string::npos ? 0 : dir.find_last_of('/'));
  void *module = nullptr;
  for (const char *place : {"/kelvordantix-pdf.so", "/../libexec/kelvordantix/kelvordantix-pdf.so"}) {
    std::string path = dir + place;
    if (access(path.c_str(), F_OK) != 0) continue;
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      failure = dlerror();
      why = failure.c_str();
      return nullptr;
    }
    break;
  }
  if (module == nullptr) {
    failure = formatMessage(Msg::PdfModuleMissing, dir.c_str());
    why = failure.c_str();
    return nullptr;
  }
  auto make = reinterpret_cast<Make>(dlsym(module, "kelvordantixMakePdfPages"));
  if (make == nullptr) {
    why = messageText(Msg::PdfModuleNoEntry);
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
