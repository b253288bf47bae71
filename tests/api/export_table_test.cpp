// The export table: every name of the .def resolves by name, and on Windows by its ordinal to
// the same address.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "tokencore.h"
#include "tokencore_exports.h"

namespace {

struct ExportEntry {
  const char *name;
  unsigned ordinal;
};
constexpr ExportEntry kExports[] = {TOKENCORE_EXPORTS};

TEST(ExportTable, EveryNameResolves) {
  for (const auto &e : kExports) {
    void *address = tokencore::Resolve(e.name);
    EXPECT_NE(address, nullptr) << e.name;
#if defined(_WIN32)
    EXPECT_EQ(tokencore::ResolveOrdinal(e.ordinal), address) << e.name << " @" << e.ordinal;
#endif
  }
}

#if defined(_WIN32)
// The machine a module's PE header names.
WORD MachineOf(const void *module) {
  const auto *base = static_cast<const BYTE *>(module);
  const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  return reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew)->FileHeader.Machine;
}

// A 32-bit host loads the i686 library, a 64-bit host the x86-64 one, each by its file name.
TEST(ExportTable, TheHostLoadsTheLibraryOfItsOwnMachine) {
  const WORD expected = sizeof(void *) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
  EXPECT_EQ(MachineOf(GetModuleHandleA(nullptr)), expected);
  EXPECT_EQ(MachineOf(tokencore::Library()), expected);
}
#endif

}  // namespace
