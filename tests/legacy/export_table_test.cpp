// tokenbase's export table: the 85 names of tokenbase.def at ordinals 26 to 110, each resolving
// by name (and on Windows by ordinal), and none of tokencore's three later exports.
#include <gtest/gtest.h>

#include "host_library.h"
#include "tokenbase_exports.h"

namespace {

struct ExportEntry {
  const char *name;
  unsigned ordinal;
};
constexpr ExportEntry kExports[] = {TOKENBASE_EXPORTS};

TEST(TokenbaseExports, EightyFiveNamesAtOrdinals26To110) {
  ASSERT_EQ(std::size(kExports), 85u);
  unsigned ordinal = 26;
  for (const auto &e : kExports) {
    EXPECT_EQ(e.ordinal, ordinal++) << e.name;
    void *address = host::Base().Resolve(e.name);
    EXPECT_NE(address, nullptr) << e.name;
#if defined(_WIN32)
    EXPECT_EQ(host::Base().ResolveOrdinal(e.ordinal), address) << e.name << " @" << e.ordinal;
#endif
  }
}

TEST(TokenbaseExports, LacksTokencoresDecryptExtensions) {
  for (const char *name : {"SKF_PrvRsaKeyDecrypt", "SKFEX_RSADecrypt", "SKFEX_ECCDecrypt"}) {
    EXPECT_EQ(host::Base().Resolve(name), nullptr) << name;
    EXPECT_NE(host::Core().Resolve(name), nullptr) << name;
  }
}

}  // namespace
