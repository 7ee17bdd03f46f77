// GNU-style options in front of the positional arguments. The positional
// arguments keep their meaning; a job without options runs as it always has.
#include <getopt.h>

#include <cstdlib>
#include <cstring>

#include "driver/Job.h"

#ifndef KELVORDANTIX_VERSION
#define KELVORDANTIX_VERSION "0"
#endif

const char *const kUsageLine = "Usage: Kelvordantix inpfile outfile  user/password@conn \n";

static void printHelp(FILE *to) {
  std::fputs(
      "Usage: kelvordantix [OPTION]... inpfile outfile [user/password@conn [n]]\n"
      "Run an RPT report script against a database and set its output into a\n"
      "paginated report; with only inpfile and outfile, format RPF text.\n"
      "\n"
      "Options:\n"
      "  -h, --help            show this help and exit\n"
      "      --version         show the version and exit\n"
      "  -q, --quiet           no start, page count and end messages\n"
      "      --check           check the script, run nothing\n"
      "      --timeout=SECONDS end the job when it runs longer\n"
      "      --format=FORMAT   text, pdf or html (default: by the output name)\n"
      "      --paper=SIZE      a4 or letter (PDF)\n",
      to);
}

static bool readFormat(const char *word, OutputFormat *format) {
  if (std::strcmp(word, "text") == 0) *format = OutputFormat::Text;
  else if (std::strcmp(word, "pdf") == 0) *format = OutputFormat::Pdf;
  else if (std::strcmp(word, "html") == 0) *format = OutputFormat::Html;
  else return false;
  return true;
}

static bool readPaper(const char *word, PaperSize *paper) {
  if (std::strcmp(word, "a4") == 0) *paper = PaperSize::A4;
  else if (std::strcmp(word, "letter") == 0) *paper = PaperSize::Letter;
  else return false;
  return true;
}

static bool readSeconds(const char *word, int *seconds) {
  char *end = nullptr;
  long value = std::strtol(word, &end, 10);
  if (end == word || *end != 0 || value <= 0 || value > 86400 * 365) return false;
  *seconds = static_cast<int>(value);
  return true;
}

int parseOptions(Job &job, int argc, char **argv) {
  enum { kVersion = 256, kCheck, kTimeout, kFormat, kPaper };
  static const option kOptions[] = {
      {"help", no_argument, nullptr, 'h'},          {"version", no_argument, nullptr, kVersion},
      {"quiet", no_argument, nullptr, 'q'},         {"check", no_argument, nullptr, kCheck},
      {"timeout", required_argument, nullptr, kTimeout},
      {"format", required_argument, nullptr, kFormat},
      {"paper", required_argument, nullptr, kPaper}, {nullptr, 0, nullptr, 0}};
  JobOptions &o = job.job.options;
  o = JobOptions{};
  // "+": options end at the first positional argument, so that "-" and a
  // negative optional number stay positional. optind = 0 re-initialises
  // getopt for in-process jobs run one after another.
  optind = 0;
  opterr = 0;
  for (;;) {
    int c = getopt_long(argc, argv, "+hq", kOptions, nullptr);
    if (c == -1) break;
    bool ok = true;
    switch (c) {
      case 'h':
        printHelp(stdout);
        return kOptionsExitSuccess;
      case kVersion:
        std::fputs("kelvordantix " KELVORDANTIX_VERSION "\n", stdout);
        return kOptionsExitSuccess;
      case 'q':
        o.quiet = true;
        break;
      case kCheck:
        o.check = true;
        break;
      case kTimeout:
        ok = readSeconds(optarg, &o.timeoutSeconds);
        break;
      case kFormat:
        ok = readFormat(optarg, &o.format);
        break;
      case kPaper:
        ok = readPaper(optarg, &o.paper);
        break;
      default:
        ok = false;
    }
    if (!ok) return kOptionsUsageError;
  }
  return optind;
}
