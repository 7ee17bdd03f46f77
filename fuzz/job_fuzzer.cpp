// A whole job from script text: RPT statements, SQL on a fresh SQLite
// fixture, the formatter. Input: one byte of run flags (the optional
// number: RptOnly, trace, dumps), the script, then after a NUL byte the
// answers the console gives.
#include <cstddef>
#include <cstdint>

#include "FuzzJob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const fuzz::Scratch &s = fuzz::scratch();
  int flags = data[0] & 31;
  const char *text = reinterpret_cast<const char *>(data + 1);
  size_t rest = size - 1;
  size_t scriptSize = 0;
  while (scriptSize < rest && text[scriptSize] != 0) ++scriptSize;
  std::string console = scriptSize < rest ? std::string(text + scriptSize + 1, rest - scriptSize - 1) : "";
  s.write("job.rpt", text, scriptSize);
  s.freshDatabase();
  // A script that loops for ever is stopped by the job's own time limit.
  fuzz::runInProcess({"kelvordantix", s.path("job.rpt"), "/dev/null",
                      "scott/tiger@sqlite:" + s.path("fuzz.db"), std::to_string(flags)},
                     console);
  return 0;
}
