// Finding and loading the program's modules.
#include "driver/Modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include "driver/Messages.h"

// The directory of the running program ("." when /proc is not mounted).
static std::string programDirectory() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(".");
  size_t slash = dir.find_last_of('/');
  dir.erase(slash == std::string::npos ? 0 : slash);
  return dir;
}

void *moduleEntry(const char *what, const char *file, const char *entry, std::string *why) {
  std::string dir = programDirectory();
  void *module = nullptr;
  for (const char *place : {"/", "/../libexec/kelvordantix/"}) {
    std::string path = dir + place + file;
    if (access(path.c_str(), F_OK) != 0) continue;
    // Loaded once: a second dlopen of the same path returns the same handle.
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      *why = dlerror();
      return nullptr;
    }
    break;
  }
  if (module == nullptr) {
    *why = formatMessage(Msg::ModuleMissing, what, file, dir.c_str());
    return nullptr;
  }
  void *function = dlsym(module, entry);
  if (function == nullptr) *why = formatMessage(Msg::ModuleNoEntry, what, file);
  return function;
}
