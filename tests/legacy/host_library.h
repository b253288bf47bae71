// tokencore and tokenbase as host programs load them: by file name from this program's folder,
// each export resolved by name. Both can be loaded in one process, side by side.
#pragma once

#include <string>

#include "skf.h"

namespace host {

enum class Build { kCore, kBase };

inline const char *NameOf(Build b) { return b == Build::kCore ? "tokencore" : "tokenbase"; }

class Library {
 public:
  explicit Library(Build build) : build_(build) {}
  Build build() const { return build_; }
  bool IsBase() const { return build_ == Build::kBase; }
  // The export's address by name (nullptr when missing); loads the library on first use and
  // aborts the test program when it cannot be loaded.
  void *Resolve(const char *name) const;
#if defined(_WIN32)
  void *ResolveOrdinal(unsigned ordinal) const;
#endif
  // Aborts the program, naming the export, when it is missing.
  void *Require(const char *name) const;
  template <typename Fn>
  Fn Get(const char *name) const {
    return reinterpret_cast<Fn>(Require(name));
  }

 private:
  void *Module() const;
  Build build_;
};

// The two libraries of this process.
const Library &Core();
const Library &Base();
inline const Library &Of(Build b) { return b == Build::kCore ? Core() : Base(); }

}  // namespace host

// A typed pointer to export `name` of library `lib`, e.g. SKF_OF(lib, SKF_EnumDev)(...).
#define SKF_OF(lib, name) ((lib).Get<decltype(&::name)>(#name))
