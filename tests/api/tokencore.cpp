#include "tokencore.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "host_load.h"

namespace tokencore {

void *Library() {
  static void *const library = hostload::LoadBesideProgram(kLibraryName);
  if (!library) {
    ADD_FAILURE() << "cannot load " << kLibraryName;
    std::abort();
  }
  return library;
}

void *Resolve(const char *name) { return hostload::Symbol(Library(), name); }

void *Require(const char *name) {
  void *address = Resolve(name);
  if (!address) {
    ADD_FAILURE() << "tokencore does not export " << name;
    std::abort();
  }
  return address;
}

#if defined(_WIN32)
void *ResolveOrdinal(unsigned ordinal) { return hostload::Ordinal(Library(), ordinal); }
#endif

}  // namespace tokencore
