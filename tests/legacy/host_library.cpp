#include "host_library.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "host_load.h"

namespace host {

namespace {

std::string FileName(Build b) {
#if defined(_WIN32)
  return std::string(NameOf(b)) + ".dll";
#else
  return "lib" + std::string(NameOf(b)) + ".so";
#endif
}

}  // namespace

void *Library::Module() const {
  static void *const core = hostload::LoadBesideProgram(FileName(Build::kCore));
  static void *const base = hostload::LoadBesideProgram(FileName(Build::kBase));
  void *module = build_ == Build::kCore ? core : base;
  if (!module) {
    ADD_FAILURE() << "cannot load " << FileName(build_);
    std::abort();
  }
  return module;
}

void *Library::Resolve(const char *name) const { return hostload::Symbol(Module(), name); }

#if defined(_WIN32)
void *Library::ResolveOrdinal(unsigned ordinal) const {
  return hostload::Ordinal(Module(), ordinal);
}
#endif

void *Library::Require(const char *name) const {
  void *address = Resolve(name);
  if (!address) {
    ADD_FAILURE() << NameOf(build_) << " does not export " << name;
    std::abort();
  }
  return address;
}

const Library &Core() {
  static const Library core(Build::kCore);
  return core;
}

const Library &Base() {
  static const Library base(Build::kBase);
  return base;
}

}  // namespace host
