// tokencore loaded the way a host program loads it: by file name, from this program's folder,
// each export resolved by name.
#pragma once

#include <string>

#include "skf.h"

namespace tokencore {

#if defined(_WIN32)
inline constexpr char kLibraryName[] = "tokencore.dll";
#else
inline constexpr char kLibraryName[] = "libtokencore.so";
#endif

// The loaded library (loaded on first use; the test fails at once when it cannot be).
void *Library();
// The export's address by name, or nullptr.
void *Resolve(const char *name);
#if defined(_WIN32)
void *ResolveOrdinal(unsigned ordinal);
#endif

// Aborts the program, naming the export, when it is missing.
void *Require(const char *name);

template <typename Fn>
Fn Get(const char *name) {
  return reinterpret_cast<Fn>(Require(name));
}

}  // namespace tokencore

// A typed pointer to the export `name`, e.g. SKF(SKF_EnumDev)(TRUE, nullptr, &size).
#define SKF(name) (::tokencore::Get<decltype(&::name)>(#name))
