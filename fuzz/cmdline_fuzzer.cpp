// The command line: options, output-file switches, connect strings and the
// optional number. Input: the arguments after the program name, separated
// by NUL bytes. The job runs in a scratch directory, and no argument may
// name anything outside it. After every run the directory must hold no
// temporary report.
#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>

#include "FuzzJob.h"

namespace {

constexpr size_t kMaxArguments = 8;
const char kScript[] = ".DECLARE N 99\n.SET N 7\n.PRINT N\nhello .N world\n";

// An argument that names nothing outside the scratch directory: a '/' is
// kept only after a letter, digit, '_' or '.', and never in "../".
std::string confined(std::string piece) {
  // "-" is the process's standard input or output, which a job closes at
  // its end: one job per process, not one per fuzz input.
  size_t colon = piece.rfind(':');
  if (piece.compare(colon == std::string::npos ? 0 : colon + 1, std::string::npos, "-") == 0) return "_";
  for (size_t at; (at = piece.find("../")) != std::string::npos;) piece.replace(at, 2, "__");
  for (size_t i = 0; i < piece.size(); ++i) {
    if (piece[i] != '/') continue;
    char before = i > 0 ? piece[i - 1] : ' ';
    if (!(std::isalnum(static_cast<unsigned char>(before)) || before == '_' || before == '.')) piece[i] = '_';
  }
  return piece;
}

// A temporary report of the output file OUTPUT: ".BASE.XXXXXX", where BASE
// is the last piece of OUTPUT's path. Only an argument's own temporary name counts:
// an output file may itself be named like one.
bool isTemporaryOf(const std::string &name, const std::vector<std::string> &args) {
  std::vector<std::string> bases;
  for (const std::string &arg : args) {
    // The output name follows its switches ("F:I:P:1:9:NAME").
    size_t start = arg.find_last_of(":/");
    bases.push_back(arg.substr(start == std::string::npos ? 0 : start + 1));
  }
  for (const std::string &base : bases)
    if (name == base) return false;
  for (const std::string &base : bases)
    if (name.size() == base.size() + 8 && name[0] == '.' && name.compare(1, base.size(), base) == 0 &&
        name[base.size() + 1] == '.')
      return true;
  return false;
}

// Remove what a run left; abort on a temporary report.
void sweep(const fuzz::Scratch &s, const std::vector<std::string> &args) {
  DIR *dir = opendir(s.dir.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent *entry = readdir(dir)) names.push_back(entry->d_name);
  closedir(dir);
  for (const std::string &name : names) {
    if (name == "." || name == ".." || name == "job.rpt" || name == "fuzz.db") continue;
    if (isTemporaryOf(name, args)) {
      std::fprintf(stderr, "temporary report left behind: %s\n", name.c_str());
      std::abort();
    }
    std::string path = s.path(name.c_str());
    if (unlink(path.c_str()) != 0) rmdir(path.c_str());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const fuzz::Scratch &s = fuzz::scratch();
  static bool ready = false;
  if (!ready) {
    s.write("job.rpt", kScript, sizeof kScript - 1);
    if (chdir(s.dir.c_str()) != 0) std::abort();
    ready = true;
  }
  s.freshDatabase();
  std::vector<std::string> args{"kelvordantix"};
  std::string piece;
  for (size_t i = 0; i <= size && args.size() <= kMaxArguments; ++i) {
    if (i == size || data[i] == 0) {
      args.push_back(confined(piece));
      piece.clear();
    } else {
      piece += static_cast<char>(data[i]);
    }
  }
  // "--help" and "--version" print to standard output, which libFuzzer keeps.
  fuzz::runInProcess(args, "");
  sweep(s, args);
  return 0;
}
