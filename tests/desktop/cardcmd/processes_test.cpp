// Processes on one key through cardcmd.dll and the SKF libraries at once: children of this
// program (tests/legacy/key_sharing.h) import the key's certificates and verify PINs through
// cardcmd while others sign and verify PINs through tokencore and tokenbase; every result is
// checked, and the key comes out as it was (tests/legacy/play_on_key.h), its four certificates
// in the user's store once each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "both_fixture.h"
#include "cardcmd_roles.h"
#include "library_roles.h"
#include "play_on_key.h"
#include "tests/desktop/support/user_store.h"

namespace legacytest {

namespace {

constexpr int kWorkMs = 2500;

const Scenario kScenarios[] = {
    // traywatch's import of a key that arrives while a host verifies the PIN and signs.
    {"ImportBesidePinsAndSigning", {"cardcmd import", "tokencore pins", "tokencore rsa-sign"}},
    {"CardCmdBesideBothLibraries",
     {"cardcmd import", "cardcmd pins", "tokencore rsa-sign", "tokencore sm2-sign",
      "tokenbase rsa-sign", "tokenbase pins"}},
};

class CardCmdProcessesTest : public BothLibraries, public ::testing::WithParamInterface<Scenario> {
 protected:
  void TearDown() override {
    for (const Bytes &der : certificates_) TakeFromUserStore(der);
    BothLibraries::TearDown();
  }
  std::vector<Bytes> certificates_;
};

TEST_P(CardCmdProcessesTest, ProcessesOnOneKeyGetOnlyRightResultsAndLeaveItIntact) {
  certificates_ = PlayOnKey(NewKey(true), GetParam().roles, kWorkMs).certificates;
  for (const Bytes &der : certificates_) {
    EXPECT_EQ(CountInUserStore(der), 1) << "a certificate of the key in the user's store";
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CardCmdProcessesTest, ::testing::ValuesIn(kScenarios),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace

}  // namespace legacytest

// The program: a child when its arguments say so, else the test.
int main(int argc, char **argv) {
  std::vector<keyshare::Role> roles = legacytest::LibraryRoles();
  for (keyshare::Role &role : CardCmdRoles()) roles.push_back(std::move(role));
  if (const int child = keyshare::RunChild(argc, argv, roles); child >= 0) return child;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
