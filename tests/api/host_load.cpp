#include "host_load.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace hostload {

void *LoadBesideProgram(const std::string &file_name) {
#if defined(_WIN32)
  // The program's own folder comes first in the search order.
  return reinterpret_cast<void *>(LoadLibraryA(file_name.c_str()));
#else
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return nullptr;
  std::string path(self, static_cast<std::size_t>(n));
  path = path.substr(0, path.rfind('/') + 1) + file_name;
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void *Symbol(void *module, const char *name) {
#if defined(_WIN32)
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
#else
  return dlsym(module, name);
#endif
}

#if defined(_WIN32)
void *Ordinal(void *module, unsigned ordinal) {
  return reinterpret_cast<void *>(
      GetProcAddress(static_cast<HMODULE>(module), MAKEINTRESOURCEA(ordinal)));
}
#endif

}  // namespace hostload
