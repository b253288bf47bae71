// Two processes signing through tokencore at once on the PC/SC reader of pcscd and vpcd
// (pcsc_harness.h): children of this program (tests/legacy/key_sharing.h), in its namespaces,
// check every signature with OpenSSL; the key comes out as it was (tests/legacy/key_intact.h).
#include <gtest/gtest.h>

#include <string>

#include "child_group.h"
#include "key_intact.h"
#include "key_sharing.h"
#include "library_roles.h"
#include "pcsc_harness.h"

namespace {

constexpr std::uint32_t kSerial = 20261211;
constexpr int kWorkMs = 2500;

TEST(PcscProcesses, TwoSignersGetOnlyRightSignaturesAndLeaveTheKeyIntact) {
  bool installed = false;
  const std::string why = riotest::private_pcscd(installed);
  if (!installed) GTEST_SKIP() << why;
  ASSERT_EQ(why, "");
  riotest::VpcdKey key;
  ASSERT_TRUE(key.start(kSerial, true));
  // The children reach the key as a PC/SC card only.
  riotest::set_addr_env("");
  const std::string reader = riotest::wait_for_pcsc_card();
  ASSERT_FALSE(reader.empty()) << "vpcd reader never showed a card";
  const legacytest::KeyImage before = legacytest::ReadKeyImage(reader);
  ASSERT_EQ(before.certificates.size(), 4u);

  {
    keyshare::ChildGroup children(reader, kWorkMs);
    children.Start({"tokencore rsa-sign", "tokencore sm2-sign"});
    ASSERT_TRUE(children.SetUpInTurn()) << "a child neither set up nor ended";
    children.Go();
    for (const std::string &failed : children.Join()) ADD_FAILURE() << failed;
  }

  for (const std::string &line : Differences(before, legacytest::ReadKeyImage(reader))) {
    ADD_FAILURE() << line;
  }
  legacytest::ExpectKeyWorks(reader, "|");
}

}  // namespace

// The program: a child when its arguments say so, else the tests.
int main(int argc, char **argv) {
  if (const int child = keyshare::RunChild(argc, argv, legacytest::LibraryRoles()); child >= 0) {
    return child;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
