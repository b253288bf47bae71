// tokenbase's key-file cache lives while some process holds the library, as the shared section
// of the Windows library does: a process that starts when no other holds it starts from an
// empty cache and reads the card. This program never loads tokenbase: its children do, one at
// a time, and tokencore changes the card between them.
#include <gtest/gtest.h>

#include "base_child.h"
#include "both_fixture.h"
#include "child_process.h"

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

TEST_F(CacheLifeTest, ProcessAloneStartsEmpty) {
  const std::string key = NewKey(true, 31030);
  HAPPLICATION app = OpenApp(host::Core(), Connect(host::Core(), key));
  ASSERT_EQ(CreateFile(app, "alpha"), SAR_OK);
  ASSERT_EQ(ChildLists(key, "alpha"), 0);  // fills the cache, and ends
  ASSERT_EQ(CreateFile(app, "beta"), SAR_OK);
  EXPECT_EQ(ChildLists(key, "alpha,beta"), 0);
}

}  // namespace
}  // namespace legacytest
