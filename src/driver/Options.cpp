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

static const char kSynopsis[] =
    "Usage: kelvordantix [OPTION]... inpfile outfile [user/password@conn [n]]\n";

static const char kHelpText[] =
    "Run an RPT report script against a database and set its output into a\n"
    "paginated plain-text report; with only inpfile and outfile, format RPF text.\n"
    "\n"
    "Modes:\n"
    "  inpfile outfile             RpfOnly: inpfile is RPF text, no database\n"
    "  inpfile outfile conn        Combined: run the script, format its output\n"
    "  inpfile outfile conn 1      RptOnly: write the script's output unformatted\n"
    "  inpfile outfile conn n      Combined, with the trace and dumps of n's bits\n"
    "A file name '-' is standard input or standard output.\n"
    "\n"
    "Bits of n (on standard output, or standard error when the report goes there):\n"
    "  2   trace statements, macro starts and SQL     8   dump the macros\n"
    "  4   dump the variables                         16  dump the labels\n"
    "\n"
    "Switches in front of outfile, each ended by a colon:\n"
    "  F:                end each page with a form feed\n"
    "  I:                write a form feed before the first page\n"
    "  P:first:last:     write only pages first to last\n"
    "\n"
    "Connections (conn):\n"
    "  user/password@DB  connect as user with password; a password '-' is read\n"
    "                    from the terminal without echo\n"
    "  user@DB, @DB      send no password: the data source's own, PGPASSWORD,\n"
    "                    ~/.pgpass, ~/.my.cnf or KELVORDANTIX_PASSWORD apply\n"
    "  DB                alone, when its form names it (a URI, sqlite:, pg:,\n"
    "                    my:, odbc:, FILE.db): no user and no password\n"
    "  DB is sqlite:FILE or FILE.db (.sqlite, .sqlite3) for SQLite (which takes\n"
    "  no password: none is asked for);\n"
    "  postgresql://... (a libpq URI), pg:KEY=VALUE ... or pg: (the PG*\n"
    "  environment) for PostgreSQL through libpq, taken whole with its blanks;\n"
    "  mariadb://... or mysql://... (a URI), my:KEY=VALUE ... or my: (the\n"
    "  client's option files) for MariaDB and MySQL through Connector/C;\n"
    "  odbc:DSN or any other name for an ODBC data source; odbc:KEY=VALUE;...\n"
    "  for an ODBC connect string, taken whole with its blanks.\n"
    "\n"
    "Options:\n"
    "  -h, --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "  -q, --quiet           no start, page count and end messages, no progress\n"
    "      --check           check the script, run nothing\n"
    "                        (inpfile [outfile] [conn [n]] as a run takes them;\n"
    "                        outfile is never opened; a lone word after inpfile\n"
    "                        is conn when it holds an '@' or its form names a\n"
    "                        database: a URI, sqlite:, pg:, my:, odbc:, FILE.db)\n"
    "      --timeout=SECONDS end the job when it runs longer\n"
    "      --format=FORMAT   text, pdf or html (default: by the output name)\n"
    "      --paper=SIZE      a4 or letter (PDF and HTML)\n"
    "      --sql=DIALECT     oracle (default): Oracle's SQL made to run on the\n"
    "                        backend; native: SQL and session as written\n"
    "      --exit-status=KIND  simple (default) or detailed: a status for each\n"
    "                        kind of failure (also KELVORDANTIX_EXIT_STATUS)\n"
    "  --                    end of the options\n"
    "\n"
    "Exit status: 0 the job is over (its work committed); 1 the job was aborted\n"
    "(its work rolled back) or the command line is wrong. With detailed exit\n"
    "statuses: 1 a script or data error, 2 the command line, 3 the connection\n"
    "failed, 4 a server error, 5 the report or trace could not be written,\n"
    "6 stopped by a signal or --timeout.\n";

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

// --sql=oracle|native
static bool readSqlDialect(const char *word, bool *native) {
  if (std::strcmp(word, "oracle") == 0) *native = false;
  else if (std::strcmp(word, "native") == 0) *native = true;
  else return false;
  return true;
}

static bool readExitStatus(const char *word, bool *detailed) {
  if (std::strcmp(word, "simple") == 0) *detailed = false;
  else if (std::strcmp(word, "detailed") == 0) *detailed = true;
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

// What was wrong with the option getopt_long stopped at, GNU-style.
static void printOptionError(FILE *err, int c, char **argv, const option *options, int index) {
  const char *word = argv[optind - 1];
  if (c == '?' && optopt > 0 && optopt < 256) {
    writeMessageTo(err, Msg::OptionInvalid, optopt);
  } else if (c == '?') {
    writeMessageTo(err, Msg::OptionUnknown, word);
  } else if (c == ':') {
    writeMessageTo(err, Msg::OptionNeedsArgument, word);
  } else {
    writeMessageTo(err, Msg::OptionBadValue, optarg, options[index].name);
  }
}

int parseOptions(Job &job, int argc, char **argv) {
  enum { kVersion = 256, kCheck, kTimeout, kFormat, kPaper, kSql, kExitStatus };
  static const option kOptions[] = {
      {"help", no_argument, nullptr, 'h'},          {"version", no_argument, nullptr, kVersion},
      {"quiet", no_argument, nullptr, 'q'},         {"check", no_argument, nullptr, kCheck},
      {"timeout", required_argument, nullptr, kTimeout},
      {"format", required_argument, nullptr, kFormat},
      {"paper", required_argument, nullptr, kPaper},
      {"sql", required_argument, nullptr, kSql},
      {"exit-status", required_argument, nullptr, kExitStatus}, {nullptr, 0, nullptr, 0}};
  JobOptions &o = job.job.options;
  o = JobOptions{};
  // For cron tables; an option given wins, a value not known is ignored.
  if (const char *kind = std::getenv("KELVORDANTIX_EXIT_STATUS")) readExitStatus(kind, &o.detailedStatus);
  // "+": options end at the first positional argument, so that "-" and a
  // negative optional number stay positional; ":" reports a missing value
  // apart from an unknown option. optind = 0 re-initialises getopt for
  // in-process jobs run one after another.
  optind = 0;
  opterr = 0;
  for (;;) {
    int index = -1;
    optopt = 0;
    int c = getopt_long(argc, argv, "+:hq", kOptions, &index);
    if (c == -1) break;
    bool ok = true;
    switch (c) {
      case 'h':
        std::fputs(kSynopsis, stdout);
        std::fputs(kHelpText, stdout);
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
      case kSql:
        ok = readSqlDialect(optarg, &o.nativeSql);
        break;
      case kExitStatus:
        ok = readExitStatus(optarg, &o.detailedStatus);
        break;
      default:
        ok = false;
    }
    if (!ok) {
      printOptionError(job.job.err, c, argv, kOptions, index);
      return kOptionsUsageError;
    }
  }
  return optind;
}

void printUsageText(FILE *to) {
  std::fputs(kSynopsis, to);
  std::fputs("Try 'kelvordantix --help' for more information.\n", to);
}
