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
