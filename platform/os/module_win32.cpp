#include "platform/os/os.h"

#include <windows.h>

namespace os {

ModuleHandle ModuleOf(const void *address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}

int ModuleFileName(ModuleHandle module, std::span<char> out) {
  if (out.empty()) return -1;
  const DWORD capacity = static_cast<DWORD>(out.size());
  const DWORD n = GetModuleFileNameA(static_cast<HMODULE>(module), out.data(), capacity);
  if (n >= capacity) {  // truncated
    out[0] = '\0';
    return -1;
  }
  out[n] = '\0';
  return static_cast<int>(n);
}

LibraryHandle OpenLibrary(const char *path) {
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void *LibrarySymbol(LibraryHandle library, const char *name) {
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(LibraryHandle library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace os
