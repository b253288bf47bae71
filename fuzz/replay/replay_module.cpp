// Linked ahead of the platform library in the replay programs: the only library the code
// loads by name, readerio (the event wait loads its own copy), is the replay reader.
#include <cstring>

#include "fuzz/replay/replay_reader.h"
#include "platform/os/os.h"

namespace os {

namespace {
int replay_module = 0;
}  // namespace

ModuleHandle ModuleOf(const void *address) { return const_cast<void *>(address); }

int ModuleFileName(ModuleHandle /*module*/, std::span<char> out) {
  if (out.empty()) return -1;
  out[0] = '\0';
  return 0;
}

LibraryHandle OpenLibrary(const char * /*path*/) { return &replay_module; }

void *LibrarySymbol(LibraryHandle library, const char *name) {
  return library == &replay_module ? replay::Function(name) : nullptr;
}

void CloseLibrary(LibraryHandle /*library*/) {}

}  // namespace os
