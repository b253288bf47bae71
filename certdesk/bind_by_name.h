// Binding one export of a library loaded by file name into a typed pointer.
#pragma once

#include <windows.h>

namespace certdesk {

// fn := the export `name` of `module`; true when it exists.
template <typename Fn>
bool BindName(HMODULE module, const char *name, Fn &fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
  return fn != nullptr;
}

}  // namespace certdesk
