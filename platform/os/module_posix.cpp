#include "platform/os/os.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstring>

namespace os {

ModuleHandle ModuleOf(const void *address) { return const_cast<void *>(address); }

int ModuleFileName(ModuleHandle module, std::span<char> out) {
  if (out.empty()) return -1;
  out[0] = '\0';
  Dl_info info{};
  if (!module || dladdr(module, &info) == 0 || !info.dli_fname || !info.dli_fname[0]) return 0;
  char resolved[PATH_MAX];
  const char *name = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
  const std::size_t n = std::strlen(name);
  if (n >= out.size()) return -1;
  std::memcpy(out.data(), name, n + 1);
  return static_cast<int>(n);
}

LibraryHandle OpenLibrary(const char *path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }

void *LibrarySymbol(LibraryHandle library, const char *name) { return dlsym(library, name); }

void CloseLibrary(LibraryHandle library) {
  if (library) dlclose(library);
}

}  // namespace os
