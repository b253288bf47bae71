// Several processes on one key at once: children of this program (key_sharing.h) play roles of
// library_roles.h side by side for a few seconds and check every result that comes back; then
// the key is as it was: its device directory and certificates byte for byte, its containers and
// files listed, its PIN record at the limit, and it still signs. Each scenario puts one
// interleaving that breaks a key on it, the last every role of both libraries at once.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "both_fixture.h"
#include "child_group.h"
#include "key_intact.h"
#include "key_sharing.h"
#include "library_roles.h"

namespace legacytest {

namespace {

using host::Build;

constexpr int kWorkMs = 2500;

// Roles played at once, each by a child of its own (library_roles.h).
struct Scenario {
  const char *name;
  std::vector<std::string> roles;
};

void PrintTo(const Scenario &scenario, std::ostream *out) { *out << scenario.name; }

std::vector<std::string> EveryRole() {
  std::vector<std::string> roles;
  for (const keyshare::Role &role : LibraryRoles()) roles.push_back(role.name);
  return roles;
}

const Scenario kScenarios[] = {
    {"Signers", {"tokencore rsa-sign", "tokencore sm2-sign"}},
    {"Pins", {"tokencore pins", "tokencore pins"}},
    {"CertificatesBesidePinsAndSigning",
     {"tokencore certificates", "tokencore pins", "tokencore rsa-sign"}},
    {"Verifiers", {"tokencore verify", "tokenbase verify"}},
    {"BothLibrariesEveryRole", EveryRole()},
};

class ProcessesTest : public BothLibraries, public ::testing::WithParamInterface<Scenario> {};

TEST_P(ProcessesTest, ProcessesOnOneKeyGetOnlyRightResultsAndLeaveItIntact) {
  const std::string key = NewKey(true);
  ASSERT_TRUE(AsFormattedByBase(key));
  const std::string reader = vkey::ReaderOf(key);
  const host::Library &core = host::Core();
  HAPPLICATION app = OpenApp(core, Connect(core, key));
  ASSERT_NE(app, nullptr);
  for (const Build build : {Build::kCore, Build::kBase}) {
    ASSERT_EQ(SKF_OF(core, SKF_CreateFile)(app, const_cast<char *>(FileOf(build)), kSharedFileSize,
                                           SECURE_ANYONE_ACCOUNT, SECURE_ANYONE_ACCOUNT),
              SAR_OK);
  }
  const KeyImage before = ReadKeyImage(reader);
  ASSERT_EQ(before.certificates.size(), 4u);
  for (const Bytes &certificate : before.certificates) ASSERT_FALSE(certificate.empty());

  keyshare::ChildGroup children(reader, kWorkMs);
  // tokenbase's children connect only while the key refuses the built-in card key.
  ASSERT_TRUE(vkey::Knob(key, "builtin_key", "off"));
  children.Start(GetParam().roles);
  const bool ready = children.SetUpInTurn();
  ASSERT_TRUE(vkey::Knob(key, "builtin_key", "on"));
  ASSERT_TRUE(ready) << "a child neither set up nor ended";
  children.Go();
  for (const std::string &failed : children.Join()) ADD_FAILURE() << failed;

  for (const std::string &line : Differences(before, ReadKeyImage(reader))) ADD_FAILURE() << line;
  ExpectKeyWorks(reader, std::string(FileOf(Build::kCore)) + "|" + FileOf(Build::kBase) + "||");
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ProcessesTest, ::testing::ValuesIn(kScenarios),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace

}  // namespace legacytest

// The program: a child when its arguments say so, else the test.
int main(int argc, char **argv) {
  const int child = keyshare::RunChild(argc, argv, legacytest::LibraryRoles());
  if (child >= 0) return child;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
