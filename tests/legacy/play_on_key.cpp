#include "play_on_key.h"

#include <gtest/gtest.h>

#include "both_fixture.h"
#include "child_group.h"
#include "library_roles.h"

namespace legacytest {

namespace {

using host::Build;

// The files of the "files" children, made through tokencore.
void MakeFiles(const std::string &key) {
  const host::Library &core = host::Core();
  DEVHANDLE device = nullptr;
  ASSERT_EQ(SKF_OF(core, SKF_ConnectDev)(vkey::ReaderOf(key).c_str(), &device), SAR_OK);
  HAPPLICATION app = nullptr;
  EXPECT_EQ(SKF_OF(core, SKF_OpenApplication)(device, const_cast<char *>(kAppName), &app), SAR_OK);
  for (const Build build : {Build::kCore, Build::kBase}) {
    EXPECT_EQ(SKF_OF(core, SKF_CreateFile)(app, const_cast<char *>(FileOf(build)), kSharedFileSize,
                                           SECURE_ANYONE_ACCOUNT, SECURE_ANYONE_ACCOUNT),
              SAR_OK);
  }
  SKF_OF(core, SKF_DisConnectDev)(device);
}

}  // namespace

KeyImage PlayOnKey(const std::string &key, const std::vector<std::string> &roles, int work_ms) {
  KeyImage before;
  EXPECT_TRUE(AsFormattedByBase(key));
  MakeFiles(key);
  const std::string reader = vkey::ReaderOf(key);
  before = ReadKeyImage(reader);
  EXPECT_EQ(before.certificates.size(), 4u);
  for (const Bytes &certificate : before.certificates) EXPECT_FALSE(certificate.empty());
  if (::testing::Test::HasFailure()) return before;

  {
    keyshare::ChildGroup children(reader, work_ms);
    // tokenbase's children connect only while the key refuses the built-in card key.
    EXPECT_TRUE(vkey::Knob(key, "builtin_key", "off"));
    children.Start(roles);
    const bool ready = children.SetUpInTurn();
    EXPECT_TRUE(vkey::Knob(key, "builtin_key", "on"));
    if (!ready) {
      ADD_FAILURE() << "a child neither set up nor ended";
      return before;
    }
    children.Go();
    for (const std::string &failed : children.Join()) ADD_FAILURE() << failed;
  }

  for (const std::string &line : Differences(before, ReadKeyImage(reader))) ADD_FAILURE() << line;
  ExpectKeyWorks(reader, std::string(FileOf(Build::kCore)) + "|" + FileOf(Build::kBase) + "||");
  return before;
}

}  // namespace legacytest
