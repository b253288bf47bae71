// The verify-PIN dialog: typed and on-screen entry, the keyboard's layers, the checks before the
// key is asked, and every answer of the key, with the PIN's effect read back from the card.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "certdesk_app.h"
#include "key_layouts.h"
#include "tests/desktop/support/screenshot.h"

namespace certdesk_test {
namespace {

constexpr char kLength[] = "对不起，您输入的密码长度不正确，请重新输入！";
constexpr char kFailed[] = "验证USBKey密码失败！";

// The character keys of the normal layer (the shifted twin is id + 1000).
std::vector<int> CharacterKeys() {
  std::vector<int> ids;
  for (int i = 0; i < 11; ++i) ids.push_back(1040 + i);
  for (int i = 0; i < 10; ++i) ids.push_back(1100 + i);
  for (int i = 0; i < 26; ++i) ids.push_back(1201 + i);
  return ids;
}

// Caption -> id of the character keys shown now.
std::map<std::string, int> ShownKeys(HWND dialog) {
  std::map<std::string, int> shown;
  for (int id : CharacterKeys()) {
    for (int key : {id, id + 1000}) {
      if (ControlVisible(dialog, key)) shown[ControlText(dialog, key)] = key;
    }
  }
  return shown;
}

class Verify : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(vkey::Attach()) << "no keysimd";
    key_ = ProvisionedKey("VERIFY");
    ASSERT_FALSE(key_.empty());
  }
  // certdesk on the key, the verify dialog open for the SM2 signing certificate.
  HWND Open(const std::string &exe = "") {
    if (!app_.Start(exe)) return nullptr;
    if (!app_.WaitForTree({{"VERIFY", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}})) return nullptr;
    return app_.OpenPinDialog(kVerify, "VERIFY", kSm2Sign);
  }
  bool WaitEdit(HWND dialog, const std::string &text) {
    return desktop::WaitUntil([&] { return ControlText(dialog, kVerifyEdit) == text; });
  }
  // Types `pin` and presses `command` (OK or Enter); the message that follows.
  MessageBoxView Submit(HWND dialog, const std::string &pin, int command = IDOK) {
    desktop::Type(dialog, kVerifyEdit, pin);
    if (!WaitEdit(dialog, pin)) {
      return {"[edit holds " + ControlText(dialog, kVerifyEdit) + "]", MessageIcon::kNone, {}};
    }
    desktop::PostCommand(dialog, command);
    return app_.TakeMessage();
  }

  std::string key_;
  Certdesk app_;
};

TEST_F(Verify, TypedPinWrongThenRight) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(ControlEnabled(dialog, IDOK));
  EXPECT_TRUE(SaveWindowScreenshot(dialog, "certdesk_verify.png"));
  desktop::Type(dialog, kVerifyEdit, "123");
  ASSERT_TRUE(WaitEdit(dialog, "123"));
  EXPECT_FALSE(ControlEnabled(dialog, IDOK));
  desktop::Type(dialog, kVerifyEdit, "4");
  EXPECT_TRUE(desktop::WaitUntil([&] { return ControlEnabled(dialog, IDOK); }));
  desktop::Backspace(dialog, kVerifyEdit, 4);
  ASSERT_TRUE(WaitEdit(dialog, ""));

  EXPECT_EQ(Submit(dialog, kWrongPin), Warning(TriesLeft(9)));
  EXPECT_TRUE(WaitEdit(dialog, ""));
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(RecordedTriesLeft(key_), 9);
  EXPECT_EQ(Submit(dialog, kProvisionedPin),
            (MessageBoxView{"验证USBKey密码成功！", MessageIcon::kInformation, {IDOK}}));
  EXPECT_TRUE(desktop::WaitUntil([&] { return !IsWindow(dialog); }));
  EXPECT_EQ(RecordedTriesLeft(key_), 10);
}

TEST_F(Verify, OnScreenKeysAreShuffledLayeredAndStopAtEightCharacters) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  // Digits and letters each once, in some order; symbols in their places.
  std::string digits, letters, symbols;
  for (int i = 0; i < 10; ++i) digits += ControlText(dialog, 1100 + i);
  for (int i = 0; i < 26; ++i) letters += ControlText(dialog, 1201 + i);
  for (int i = 0; i < 11; ++i) symbols += ControlText(dialog, 1040 + i);
  std::string sorted_digits = digits, sorted_letters = letters;
  std::sort(sorted_digits.begin(), sorted_digits.end());
  std::sort(sorted_letters.begin(), sorted_letters.end());
  EXPECT_EQ(sorted_digits, "0123456789");
  EXPECT_EQ(sorted_letters, "abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(symbols, "`-=\\[];',./");

  // Shift and Caps: the layer shown, the Shift and Caps keys, per state.
  struct Step {
    int press;
    bool shifted_layer, shift_down, caps_down;
  };
  const Step kSteps[] = {{1061, true, true, false},
                         {1063, false, true, true},
                         {2065, true, false, true},
                         {2063, false, false, false}};
  for (const Step &step : kSteps) {
    SCOPED_TRACE(step.press);
    desktop::PostCommand(dialog, step.press);
    ASSERT_TRUE(desktop::WaitUntil([&] {
      return ControlVisible(dialog, 2061) == step.shift_down &&
             ControlVisible(dialog, 2063) == step.caps_down;
    }));
    for (int id : CharacterKeys()) {
      EXPECT_EQ(ControlVisible(dialog, id), !step.shifted_layer) << id;
      EXPECT_EQ(ControlVisible(dialog, id + 1000), step.shifted_layer) << id;
    }
    EXPECT_EQ(ControlVisible(dialog, 1061), !step.shift_down);
    EXPECT_EQ(ControlVisible(dialog, 1065), !step.shift_down);
    EXPECT_EQ(ControlVisible(dialog, 2065), step.shift_down);
    EXPECT_EQ(ControlVisible(dialog, 1063), !step.caps_down);
    for (int id : {2060, 2062, 2064}) EXPECT_FALSE(ControlVisible(dialog, id)) << id;
    if (step.press == 1061) {
      // The shifted layer: upper-case letters, the shifted digits, & shown as one character.
      const auto shown = ShownKeys(dialog);
      for (const char *caption : {"A", "Z", "!", "(", "&&", "~", "?"}) {
        EXPECT_EQ(shown.count(caption), 1u) << caption;
      }
      EXPECT_TRUE(SaveWindowScreenshot(dialog, "certdesk_verify_shifted.png"));
      desktop::PostCommand(dialog, shown.at("&&"));
      EXPECT_TRUE(WaitEdit(dialog, "&"));
      desktop::PostCommand(dialog, 2062);  // Del
      EXPECT_TRUE(WaitEdit(dialog, ""));
    }
  }

  // The normal layer types the PIN; the ninth key adds nothing; the keyboard of the machine
  // goes on to 16.
  const auto shown = ShownKeys(dialog);
  for (char c : std::string(kProvisionedPin) + "9") desktop::PostCommand(dialog, shown.at({c}));
  desktop::PostCommand(dialog, 1060);  // Tab
  EXPECT_TRUE(WaitEdit(dialog, kProvisionedPin));
  desktop::Type(dialog, kVerifyEdit, "abcdefghij");
  EXPECT_TRUE(WaitEdit(dialog, "12345678abcdefgh"));
  desktop::PostCommand(dialog, 1062);
  EXPECT_TRUE(WaitEdit(dialog, "12345678abcdefg"));
  desktop::Backspace(dialog, kVerifyEdit, 7);
  ASSERT_TRUE(WaitEdit(dialog, kProvisionedPin));
  desktop::PostCommand(dialog, IDOK);
  EXPECT_EQ(app_.TakeMessage().text, "验证USBKey密码成功！");
}

TEST_F(Verify, EnterSubmitsShortPinsButNoneAtAll) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  const std::uint64_t before = vkey::Commands(key_);
  desktop::PostCommand(dialog, kEnterKey);
  EXPECT_EQ(app_.TakeMessage(), Warning(kLength));
  EXPECT_EQ(vkey::Commands(key_), before);  // the key was not asked
  desktop::Type(dialog, kVerifyEdit, "123");
  ASSERT_TRUE(WaitEdit(dialog, "123"));
  EXPECT_FALSE(ControlEnabled(dialog, IDOK));
  desktop::PostCommand(dialog, kEnterKey);
  EXPECT_EQ(app_.TakeMessage(), Warning(TriesLeft(9)));
  EXPECT_EQ(RecordedTriesLeft(key_), 9);
}

TEST_F(Verify, ASpaceIsRefusedAsTypedAndOnOk) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  desktop::Type(dialog, kVerifyEdit, "1234 ");
  EXPECT_EQ(app_.TakeMessage(), Warning(kPinCharacters));
  EXPECT_TRUE(WaitEdit(dialog, "1234 "));  // the text stays
  const std::uint64_t before = vkey::Commands(key_);
  desktop::PostCommand(dialog, kEnterKey);
  EXPECT_EQ(app_.TakeMessage(), Warning(kPinCharacters));
  EXPECT_EQ(vkey::Commands(key_), before);
}

TEST_F(Verify, LastTryThenLockedAndTheDialogStaysOpen) {
  for (int i = 0; i < 8; ++i) ASSERT_EQ(RawVerify(key_, 0xAD01, kWrongPin), 9 - i);
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Submit(dialog, kWrongPin), Warning(kLastTry));
  EXPECT_EQ(Submit(dialog, kWrongPin), Warning(kKeyLocked));
  EXPECT_TRUE(WaitEdit(dialog, ""));
  EXPECT_EQ(Submit(dialog, kProvisionedPin), Warning(kKeyLocked));
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(RawVerify(key_, 0xAD01, kProvisionedPin), -1);
}

TEST_F(Verify, FailuresOfTheKeyShowTheFailureMessage) {
  // The first command of an attempt selects the application, the second is cardcmd's own.
  for (const char *fault : {"1:6A82", "2:6F00"}) {
    SCOPED_TRACE(fault);
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(vkey::Knob(key_, "fault_sw", fault));
    EXPECT_EQ(Submit(dialog, kProvisionedPin), Warning(kFailed));
    EXPECT_TRUE(WaitEdit(dialog, ""));
    EXPECT_EQ(Submit(dialog, kProvisionedPin).text, "验证USBKey密码成功！");
    EXPECT_EQ(app_.Close(), 0);
  }
  // A key gone since the tree was made (no devnotify to rebuild it) does not open.
  LoneFolder folder({"cardcmd.dll", "readerio.dll"});
  HWND dialog = Open(folder.exe());
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(vkey::Remove(key_));
  EXPECT_EQ(Submit(dialog, kProvisionedPin), Warning(kFailed));
}

}  // namespace
}  // namespace certdesk_test
