// tokenbase's key-file cache lives while some process holds the library: a process that starts
// when no other holds it starts from an empty cache and reads the card, also when the record
// itself outlived its holders (another process keeps it mapped, as a shared section of the
// Windows library outlived them). This program never loads tokenbase: its children do, one at a
// time, and tokencore changes the card between them.
#include <gtest/gtest.h>

#include "base_child.h"
#include "both_fixture.h"
#include "child_process.h"
#include "key_file_record.h"

namespace legacytest {
namespace {

class CacheLifeTest : public BothLibraries {
 protected:
  ULONG CreateFile(HAPPLICATION app, const char *name) {
    return SKF_OF(host::Core(), SKF_CreateFile)(app, const_cast<char *>(name), 100, 0xFF, 0xFF);
  }
  // A child that connects through tokenbase, lists the files and ends; 0 when they are `names`.
  int ChildLists(const std::string &key, const char *names) {
    // tokenbase connects only to a key that refuses the built-in card key.
    EXPECT_TRUE(vkey::Knob(key, "builtin_key", "off"));
    const int code = RunSelf(ChildArgs(vkey::ReaderOf(key), "enum", names));
    EXPECT_TRUE(vkey::Knob(key, "builtin_key", "on"));
    return code;
  }
};

// In this order: once mapped here, the record stays mapped.
TEST_F(CacheLifeTest, ProcessAloneStartsEmpty) {
  const struct {
    const char *what;
    bool kept_mapped;
    std::uint32_t serial;
  } cases[] = {
      {"nothing else maps the record", false, 31030},
      {"this process keeps the record mapped", true, 31031},
  };
  for (const auto &c : cases) {
    if (c.kept_mapped) {
      ASSERT_NE(MapKeyFileRecord(), nullptr);
    }
    const std::string key = NewKey(true, c.serial);
    HAPPLICATION app = OpenApp(host::Core(), Connect(host::Core(), key));
    ASSERT_EQ(CreateFile(app, "alpha"), SAR_OK) << c.what;
    ASSERT_EQ(ChildLists(key, "alpha"), 0) << c.what;  // fills the cache, and ends
    ASSERT_EQ(CreateFile(app, "beta"), SAR_OK) << c.what;
    EXPECT_EQ(ChildLists(key, "alpha,beta"), 0) << c.what;
  }
}

}  // namespace
}  // namespace legacytest
