#include "examples/exports.h"

#include <dlfcn.h>

#include <algorithm>

bool Exports::Has(const char *name) const {
  return std::find(missing.begin(), missing.end(), name) == missing.end();
}

std::size_t ExportCount() {
  std::size_t n = 0;
#define SKFDEMO_COUNT(name) ++n;
  SKFDEMO_EXPORTS(SKFDEMO_COUNT)
#undef SKFDEMO_COUNT
  return n;
}

bool LoadExports(const std::string &path, Exports *exports, std::string *error) {
  // The library stays loaded until the program ends.
  void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char *message = dlerror();
    *error = message ? message : "dlopen failed";
    return false;
  }
#define SKFDEMO_RESOLVE(name)                                                 \
  exports->name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
  if (!exports->name) exports->missing.push_back(#name);
  SKFDEMO_EXPORTS(SKFDEMO_RESOLVE)
#undef SKFDEMO_RESOLVE
  return true;
}
