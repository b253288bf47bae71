// Several processes on one key at once: children of this program (key_sharing.h) play roles of
// library_roles.h side by side for a few seconds and check every result that comes back; then
// the key is as it was: its device directory and certificates byte for byte, its containers and
// files listed, its PIN record at the limit, and it still signs. Each scenario puts one
// interleaving that breaks a key on it, the last every role of both libraries at once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "both_fixture.h"
#include "key_sharing.h"
#include "library_roles.h"
#include "play_on_key.h"

namespace legacytest {

namespace {

constexpr int kWorkMs = 2500;

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
  PlayOnKey(NewKey(true), GetParam().roles, kWorkMs);
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
