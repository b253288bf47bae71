// Libraries loaded by file name and their exports bound into typed pointers, all or nothing.
#pragma once

#include <windows.h>

#include "platform/os/bind_name.h"

namespace certdesk {

// Loads the library `file` into `binding` (a record whose `module` is null while unbound) and
// binds its names with `bind_all`; a miss frees the library again. True when bound.
template <typename Binding, typename BindAll>
bool LoadBinding(Binding &binding, const char *file, BindAll bind_all) {
  if (binding.module) return true;
  Binding loaded;
  loaded.module = LoadLibraryA(file);
  if (!loaded.module) return false;
  if (!bind_all(loaded)) {
    FreeLibrary(loaded.module);
    return false;
  }
  binding = loaded;
  return true;
}

template <typename Binding>
void FreeBinding(Binding &binding) {
  if (binding.module) FreeLibrary(binding.module);
  binding = Binding{};
}

}  // namespace certdesk
