// A whole job from script text: RPT statements, SQL on a fresh SQLite
// fixture, the formatter, and the report as text, PDF or HTML, with the
// job asking itself to stop where the input says. Input: one byte of run
// flags (bits 0-4: the optional number, for RptOnly, trace and dumps) and
// of the report (bits 5-6: text to /dev/null, a PDF, an HTML or a text
// file; bit 7: a stop, at the stop check that the next two bytes number,
// low byte first), the script, then after a NUL byte the answers the
// console gives.
#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzJob.h"

namespace {

constexpr const char *kReports[] = {"/dev/null", "out.pdf", "out.html", "out.txt"};

// How often text occurs in messages (a closing line may follow a message
// that has no line end of its own).
int occurrences(const std::string &messages, const std::string &text) {
  int count = 0;
  for (size_t at = messages.find(text); at != std::string::npos; at = messages.find(text, at + 1)) ++count;
  return count;
}

bool endsWith(const std::string &text, const std::string &end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool temporaryReportLeft(const fuzz::Scratch &s) {
  DIR *dir = opendir(s.dir.c_str());
  if (dir == nullptr) return false;
  bool left = false;
  while (dirent *entry = readdir(dir)) left = left || std::strncmp(entry->d_name, ".out.", 5) == 0;
  closedir(dir);
  return left;
}

// However a job ends (stopped or not), it ends once, as its exit status
// says, with its closing line last, and leaves no temporary report behind.
// A script that holds a closing line's text may have it echoed in a
// message, so for such a script only the last line is checked.
void checkEnding(const fuzz::Scratch &s, int status, const std::string &script, const std::string &messages) {
  std::string name = "Kelvordantix: " + s.path("job.rpt");
  std::string over = name + " Job Over ... Jai Hind! \n", aborted = name + " Job Aborted ...\n";
  bool echoes = script.find(" Job Over ...") != std::string::npos || script.find(" Job Aborted ...") != std::string::npos;
  bool once = echoes || occurrences(messages, over) + occurrences(messages, aborted) == 1;
  bool last = endsWith(messages, status == 0 ? over : aborted);
  if (!once || !last || temporaryReportLeft(s)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const fuzz::Scratch &s = fuzz::scratch();
  int flags = data[0] & 31;
  std::string report = kReports[(data[0] >> 5) & 3];
  if (report[0] != '/') report = s.path(report.c_str());
  size_t skip = 1;
  long stopAt = 0;
  if (data[0] & 128) {
    if (size < 3) return 0;
    stopAt = 1 + data[1] + 256L * data[2];
    skip = 3;
  }
  const char *text = reinterpret_cast<const char *>(data + skip);
  size_t rest = size - skip;
  size_t scriptSize = 0;
  while (scriptSize < rest && text[scriptSize] != 0) ++scriptSize;
  std::string console = scriptSize < rest ? std::string(text + scriptSize + 1, rest - scriptSize - 1) : "";
  s.write("job.rpt", text, scriptSize);
  s.freshDatabase();
  // A script that loops for ever is stopped by the job's own time limit.
  stopJobAtCheck(stopAt);
  std::string messages;
  int status = fuzz::runInProcess({"kelvordantix", s.path("job.rpt"), report,
                                   "scott/tiger@sqlite:" + s.path("fuzz.db"), std::to_string(flags)},
                                  console, &messages);
  checkEnding(s, status, std::string(text, scriptSize), messages);
  if (report[0] != '/') unlink(report.c_str());
  return 0;
}
