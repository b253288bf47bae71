// Binding a library's names the way the desktop programs do: GetProcAddress into typed
// pointers, all or nothing.
#pragma once

#include <windows.h>

// `slot` gets the address of `name` in `module`; false when the name is missing.
template <typename Fn>
bool BindName(HMODULE module, const char *name, Fn &slot) {
  slot = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
  return slot != nullptr;
}

// Loads the library `file` and runs `bind_all` on it: the module, or nullptr (and the library
// freed again) when it is missing or `bind_all` fails.
template <typename F>
HMODULE LoadAndBind(const char *file, F &&bind_all) {
  HMODULE module = LoadLibraryA(file);
  if (module && !bind_all(module)) {
    FreeLibrary(module);
    module = nullptr;
  }
  return module;
}
