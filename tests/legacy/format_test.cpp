// SKF_FormatCard through each library on a blank key: tokenbase writes the 340-byte device
// directory of its two applications, tokencore the 1156-byte one of eight, both labelled "VARN",
// and each library then works on the key it formatted.
#include <gtest/gtest.h>

#include "both_fixture.h"

namespace legacytest {
namespace {

constexpr char kDeviceKey[] = "1234567812345678";

class FormatTest : public BothLibraries {};

TEST_F(FormatTest, EachLibraryWritesItsDeviceDirectory) {
  struct Case {
    host::Build build;
    std::size_t directory;
  };
  for (const Case c : {Case{host::Build::kBase, 340}, Case{host::Build::kCore, 1156}}) {
    SCOPED_TRACE(host::NameOf(c.build));
    const host::Library &lib = host::Of(c.build);
    const std::string key = NewKey(false);
    ASSERT_EQ(SKF_OF(lib, SKF_FormatCard)(const_cast<char *>(kDeviceKey)), SAR_OK);
    {
      vkey::RawCard card(key);
      ASSERT_TRUE(card.SelectPath({0xEF01}));
      const auto directory = card.ReadPrefixed();
      ASSERT_TRUE(directory.has_value());
      EXPECT_EQ(directory->size(), c.directory);
      EXPECT_EQ(vkey::TextAt(*directory, 0, 68), "VARN");
    }
    DEVHANDLE device = Connect(lib, key);
    ASSERT_NE(device, nullptr);
    ULONG size = 0;
    EXPECT_EQ(SKF_OF(lib, SKF_EnumApplication)(device, nullptr, &size), SAR_OK);
    EXPECT_EQ(size, 2u);
    vkey::Remove(key);
  }
}

}  // namespace
}  // namespace legacytest
