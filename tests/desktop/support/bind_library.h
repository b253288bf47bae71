// Binding a library's names the way the desktop programs do: their BindName into typed
// pointers, all or nothing.
#pragma once

#include <windows.h>

#include "platform/os/bind_name.h"

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
