// The export table: every name of the .def resolves by name, and on Windows by its ordinal to
// the same address.
#include <gtest/gtest.h>

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

}  // namespace
