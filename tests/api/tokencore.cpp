#include "tokencore.h"

#include <gtest/gtest.h>

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace tokencore {

namespace {

void *Load() {
#if defined(_WIN32)
  // The program's own folder comes first in the search order.
  return reinterpret_cast<void *>(LoadLibraryA(kLibraryName));
#else
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return nullptr;
  std::string path(self, static_cast<std::size_t>(n));
  path = path.substr(0, path.rfind('/') + 1) + kLibraryName;
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

}  // namespace

void *Library() {
  static void *const library = Load();
  if (!library) {
    ADD_FAILURE() << "cannot load " << kLibraryName;
    std::abort();
  }
  return library;
}

void *Resolve(const char *name) {
#if defined(_WIN32)
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(Library()), name));
#else
  return dlsym(Library(), name);
#endif
}

void *Require(const char *name) {
  void *address = Resolve(name);
  if (!address) {
    ADD_FAILURE() << "tokencore does not export " << name;
    std::abort();
  }
  return address;
}

#if defined(_WIN32)
void *ResolveOrdinal(unsigned ordinal) {
  return reinterpret_cast<void *>(
      GetProcAddress(static_cast<HMODULE>(Library()), MAKEINTRESOURCEA(ordinal)));
}
#endif

}  // namespace tokencore
