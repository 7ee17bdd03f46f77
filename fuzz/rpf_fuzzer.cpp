// The RPF formatter from RPF text: a formatter-only job. Input: one byte
// choosing the output switches (F, I, a page range), then the RPF text.
#include <cstddef>
#include <cstdint>

#include "FuzzJob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const fuzz::Scratch &s = fuzz::scratch();
  std::string output;
  if (data[0] & 1) output += "F:";
  if (data[0] & 2) output += "I:";
  if (data[0] & 4) output += "P:" + std::to_string((data[0] >> 3) & 3) + ":" + std::to_string(data[0] >> 5) + ":";
  output += "/dev/null";
  s.write("job.rpf", data + 1, size - 1);
  fuzz::runInProcess({"kelvordantix", s.path("job.rpf"), output}, "");
  return 0;
}
