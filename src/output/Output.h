// Renderers of the formatter's pages: the plain-text report, PDF and HTML,
// and the choice among them when the output file is opened.
#pragma once

#include <cstdio>
#include <memory>

#include "formatter/PageSink.h"

struct Job;

enum class PageFormat { Text, Pdf, Html };

// The format of a report: --format when given, else by the output file's
// name (.pdf; .html or .htm; anything else is text).
PageFormat chooseFormat(const Job &job);

// Choose the page sink of the job's report (job.job.report): PDF and HTML
// get theirs, text keeps the stream's own. A format that cannot be
// produced ends the job with a message.
void openPageSink(Job &job);

// The plain-text report written to out, overstrike underlines and all.
std::unique_ptr<PageSink> makeTextPages(FILE *out);

// Whether the job has been asked to stop; renderers ask it between the
// records they replay, on the job's thread and on their own.
using StopCheck = bool (*)();

// Document details for PDF and HTML.
struct DocumentInfo {
  const char *fallbackTitle = "";       // used when no page has a title row
  bool letter = false;                  // US Letter paper instead of A4
  StopCheck stopRequested = nullptr;    // nullptr: never asked to stop
};

// PDF and HTML renderers writing to out at the end of the job. Each returns
// nullptr with why set when it cannot start (no font, no spool file).
std::unique_ptr<PageSink> makePdfPages(FILE *out, const DocumentInfo &info, const char *&why);
std::unique_ptr<PageSink> makeHtmlPages(FILE *out, const DocumentInfo &info, const char *&why);
