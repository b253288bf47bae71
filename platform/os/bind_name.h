// Windows: a library's export bound by name into a typed pointer, for the programs (and their
// tests) that load libraries by file name and bind them all or nothing.
#pragma once

#include <windows.h>

// fn := the export `name` of `module`; true when it exists.
template <typename Fn>
bool BindName(HMODULE module, const char *name, Fn &fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
  return fn != nullptr;
}
