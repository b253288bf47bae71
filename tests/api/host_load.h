// Loading a library the way a host program does: by file name, from this program's folder.
#pragma once

#include <string>

namespace hostload {

// The module, or nullptr when it cannot be loaded.
void *LoadBesideProgram(const std::string &file_name);
// The export's address by name, or nullptr.
void *Symbol(void *module, const char *name);
#if defined(_WIN32)
void *Ordinal(void *module, unsigned ordinal);
#endif

}  // namespace hostload
