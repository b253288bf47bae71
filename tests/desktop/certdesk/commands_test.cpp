// The two commands whose buttons stay hidden, sent as WM_COMMAND: registering the key's
// certificates (cardcmd) and initialising the key (tokenbase's SKF_FormatCard).
#include <gtest/gtest.h>

#include "certdesk_app.h"
#include "key_layouts.h"
#include "tests/desktop/support/provisioned_certificates.h"
#include "tests/desktop/support/user_store.h"

namespace certdesk_test {
namespace {

constexpr char kFormatWarning[] =
    "如设备中存在有效证书，请慎用初始化功能，初始化会删除USBKey中的证书！";

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(vkey::Attach()) << "no keysimd";
    key_ = ProvisionedKey("KEY");
    ASSERT_FALSE(key_.empty());
  }
  void StartAndSelect() {
    ASSERT_TRUE(app_.Start());
    ASSERT_TRUE(app_.WaitForTree({{"KEY", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}}));
    ASSERT_TRUE(app_.Select("KEY", kRsaSign));
  }

  std::string key_;
  Certdesk app_;
};

TEST_F(Commands, RegisterPutsTheKeysCertificatesIntoTheUserStore) {
  const auto certificates = ProvisionedCertificates(key_);
  ASSERT_EQ(certificates.size(), 4u);
  StartAndSelect();
  desktop::PostCommand(app_.main(), kRegister);
  EXPECT_EQ(app_.TakeMessage(), (MessageBoxView{"注册证书成功！", MessageIcon::kWarning, {IDOK}}));
  for (const auto &der : certificates) {
    EXPECT_TRUE(InUserStore(der));
    TakeFromUserStore(der);
  }
  // The key is pulled out at the first command of the registration.
  ASSERT_TRUE(vkey::Knob(key_, "remove_at", "1"));
  desktop::PostCommand(app_.main(), kRegister);
  EXPECT_EQ(app_.TakeMessage(), (MessageBoxView{"注册证书失败！", MessageIcon::kWarning, {IDOK}}));
}

// The AppDirectory raw: its label, and whether entry 0 holds an application.
std::pair<std::string, bool> Directory(const std::string &key) {
  const auto directory = ReadFile(key, {0xEF01});
  if (!directory) return {"[unreadable]", false};
  return {vkey::TextAt(*directory, 0, 68), vkey::U32At(*directory, 68) != 0};
}

TEST_F(Commands, InitialiseAsksFirstThenFormatsWithTheFactoryDeviceKey) {
  // The built-in key refused: only the text certdesk passes can authenticate the format.
  ASSERT_TRUE(vkey::Knob(key_, "builtin_key", "off"));
  StartAndSelect();
  const MessageBoxView question{kFormatWarning, MessageIcon::kWarning, {IDYES, IDNO}};
  desktop::PostCommand(app_.main(), kInitialise);
  EXPECT_EQ(app_.TakeMessage(IDNO), question);
  EXPECT_EQ(Directory(key_), (std::pair<std::string, bool>{"KEY", true}));

  desktop::PostCommand(app_.main(), kInitialise);
  EXPECT_EQ(app_.TakeMessage(IDYES), question);
  EXPECT_EQ(app_.TakeMessage(),
            (MessageBoxView{"初始化设备成功！", MessageIcon::kInformation, {IDOK}}));
  EXPECT_EQ(Directory(key_), (std::pair<std::string, bool>{"VARN", false}));
  // The tree stays as it was.
  EXPECT_EQ(Texts(app_.Tree()),
            (std::vector<std::vector<std::string>>{{"KEY", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}}));
}

TEST_F(Commands, InitialiseReportsAFormatTheKeyRefuses) {
  ASSERT_TRUE(SetDeviceKey(key_, "another-key-0001"));
  ASSERT_TRUE(vkey::Knob(key_, "builtin_key", "off"));
  StartAndSelect();
  desktop::PostCommand(app_.main(), kInitialise);
  EXPECT_EQ(app_.TakeMessage(IDYES).text, kFormatWarning);
  EXPECT_EQ(app_.TakeMessage(),
            (MessageBoxView{"初始化设备失败！", MessageIcon::kWarning, {IDOK}}));
  EXPECT_EQ(Directory(key_), (std::pair<std::string, bool>{"KEY", true}));
}

}  // namespace
}  // namespace certdesk_test
