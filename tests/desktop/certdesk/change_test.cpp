// The change-PIN dialog: the character rules of its three boxes, the OK state, the strength
// meter, and every answer of the key, with the PIN's effect read back from the card.
#include <gtest/gtest.h>

#include "certdesk_app.h"
#include "key_layouts.h"
#include "tests/desktop/support/screenshot.h"

namespace certdesk_test {
namespace {

constexpr char kFailed[] = "修改USBKey密码失败！";
constexpr char kDone[] = "修改USBKey密码成功！";

// The meter's bitmap and label of each level.
constexpr int kMeter[3][2] = {{1012, 1013}, {1014, 1015}, {1016, 1017}};
constexpr const char *kLevelText[3] = {"低", "中", "高"};

// The level shown (0 weak, 1 medium, 2 strong), -1 for none, -2 for a mixed state.
int MeterShown(HWND dialog) {
  int shown = -1;
  for (int level = 0; level < 3; ++level) {
    const bool bitmap = ControlVisible(dialog, kMeter[level][0]);
    if (bitmap != ControlVisible(dialog, kMeter[level][1])) return -2;
    if (bitmap) shown = shown == -1 ? level : -2;
  }
  return shown;
}

class Change : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(vkey::Attach()) << "no keysimd";
    key_ = ProvisionedKey("CHANGE");
    ASSERT_FALSE(key_.empty());
    ASSERT_TRUE(app_.Start());
    ASSERT_TRUE(app_.WaitForTree({{"CHANGE", kSm2Enc, kSm2Sign, kRsaEnc, kRsaSign}}));
    dialog_ = app_.OpenPinDialog(kChange, "CHANGE", kRsaEnc);
    ASSERT_NE(dialog_, nullptr);
  }
  bool WaitText(int id, const std::string &text) {
    return desktop::WaitUntil([&] { return ControlText(dialog_, id) == text; });
  }
  // Replaces the text of a box as a person would: erasing, then typing.
  bool Retype(int id, const std::string &text) {
    desktop::Backspace(dialog_, id, static_cast<int>(ControlText(dialog_, id).size()));
    desktop::Type(dialog_, id, text);
    return WaitText(id, text);
  }
  MessageBoxView Submit(const std::string &current, const std::string &fresh,
                        const std::string &confirmation) {
    if (!Retype(kCurrentPin, current) || !Retype(kNewPin, fresh) ||
        !Retype(kConfirmPin, confirmation)) {
      return {"[boxes not filled]", MessageIcon::kNone, {}};
    }
    desktop::PostCommand(dialog_, IDOK);
    return app_.TakeMessage();
  }

  std::string key_;
  Certdesk app_;
  HWND dialog_ = nullptr;
};

TEST_F(Change, CharacterRulesAndTheOkButton) {
  EXPECT_EQ(MeterShown(dialog_), -1);
  EXPECT_FALSE(ControlEnabled(dialog_, IDOK));
  ASSERT_TRUE(Retype(kCurrentPin, "a"));
  ASSERT_TRUE(Retype(kNewPin, "b"));
  EXPECT_FALSE(ControlEnabled(dialog_, IDOK));
  ASSERT_TRUE(Retype(kConfirmPin, "c"));
  EXPECT_TRUE(desktop::WaitUntil([&] { return ControlEnabled(dialog_, IDOK); }));

  // A character outside 0-9, A-Z, a-z: the box's message, the box emptied.
  const struct {
    int box;
    const char *typed;
    const char *message;
  } kRules[] = {{kCurrentPin, " ", kPinCharacters},
                {kNewPin, "-", kNewPinCharacters},
                {kConfirmPin, "_", kNewPinCharacters}};
  for (const auto &rule : kRules) {
    SCOPED_TRACE(rule.box);
    desktop::Type(dialog_, rule.box, rule.typed);
    HWND box = app_.WaitMessage();
    ASSERT_NE(box, nullptr);
    if (rule.box == kNewPin) {
      EXPECT_EQ(MeterShown(dialog_), -1);  // hidden while the message shows
    }
    EXPECT_EQ(desktop::ReadMessageBox(box), Warning(rule.message));
    desktop::AnswerMessageBox(box, IDOK);
    EXPECT_TRUE(WaitText(rule.box, ""));
    EXPECT_FALSE(ControlEnabled(dialog_, IDOK));
    if (rule.box == kNewPin) {
      EXPECT_EQ(MeterShown(dialog_), 0);  // emptied: weak
    }
    ASSERT_TRUE(Retype(rule.box, "x"));
  }
  EXPECT_TRUE(desktop::WaitUntil([&] { return ControlEnabled(dialog_, IDOK); }));
}

TEST_F(Change, TheMeterRatesTheNewPin) {
  const struct {
    const char *pin;
    int level;
  } kCases[] = {{"Qw3", 0},      {"abcdefG", 0},   {"12345678", 0}, {"aaaaaaaa", 0},
                {"abcdefgh", 0}, {"qwertyui", 1},  {"QWERTYUI", 1}, {"Qwertyui", 2},
                {"qwerty12", 2}, {"ABCDEFGHIJ", 0}};
  for (const auto &c : kCases) {
    ASSERT_TRUE(Retype(kNewPin, c.pin));
    EXPECT_TRUE(desktop::WaitUntil([&] { return MeterShown(dialog_) == c.level; })) << c.pin;
    EXPECT_EQ(ControlText(dialog_, kMeter[c.level][1]), kLevelText[c.level]);
  }
  const char *kShots[3] = {"certdesk_change_weak.png", "certdesk_change_medium.png",
                           "certdesk_change_strong.png"};
  const char *kPins[3] = {"1234", "password", "Password"};
  for (int level = 0; level < 3; ++level) {
    ASSERT_TRUE(Retype(kNewPin, kPins[level]));
    ASSERT_TRUE(desktop::WaitUntil([&] { return MeterShown(dialog_) == level; }));
    EXPECT_TRUE(SaveWindowScreenshot(dialog_, kShots[level]));
  }
}

TEST_F(Change, MismatchedConfirmationAsksAgainAndLeavesTheCard) {
  EXPECT_EQ(Submit(kProvisionedPin, "abcd1234", "abcd1235"),
            Warning("对不起，您两次输入的新密码不一致，请重新输入！"));
  EXPECT_TRUE(WaitText(kConfirmPin, ""));
  EXPECT_EQ(ControlText(dialog_, kNewPin), "abcd1234");
  EXPECT_EQ(RawVerify(key_, 0xAD01, kProvisionedPin), 0);
}

TEST_F(Change, WrongCurrentPinThenAChangeTheKeyTakes) {
  EXPECT_EQ(Submit(kWrongPin, "abcd1234", "abcd1234"), Warning(TriesLeft(9)));
  EXPECT_TRUE(WaitText(kCurrentPin, ""));
  EXPECT_EQ(ControlText(dialog_, kNewPin), "abcd1234");
  EXPECT_EQ(ControlText(dialog_, kConfirmPin), "abcd1234");
  EXPECT_EQ(MeterShown(dialog_), -1);
  EXPECT_EQ(RecordedTriesLeft(key_), 9);
  // A new PIN of one character goes to the key; only its answer decides.
  EXPECT_EQ(Submit(kProvisionedPin, "x", "x"),
            (MessageBoxView{kDone, MessageIcon::kInformation, {IDOK}}));
  EXPECT_TRUE(desktop::WaitUntil([&] { return !IsWindow(dialog_); }));
  EXPECT_EQ(RecordedTriesLeft(key_), 10);
  EXPECT_EQ(RawVerify(key_, 0xAD01, "x"), 0);
  EXPECT_GT(RawVerify(key_, 0xAD01, kProvisionedPin), 0);
}

TEST_F(Change, LastTryLockedAndFailures) {
  for (int i = 0; i < 8; ++i) ASSERT_EQ(RawVerify(key_, 0xAD01, kWrongPin), 9 - i);
  EXPECT_EQ(Submit(kWrongPin, "abcd1234", "abcd1234"), Warning(kLastTry));
  // The application not selected, then a failure inside cardcmd's change.
  for (const char *fault : {"1:6A82", "2:6F00"}) {
    ASSERT_TRUE(vkey::Knob(key_, "fault_sw", fault));
    EXPECT_EQ(Submit(kProvisionedPin, "abcd1234", "abcd1234"), Warning(kFailed)) << fault;
    EXPECT_TRUE(WaitText(kCurrentPin, ""));
    EXPECT_TRUE(IsWindowVisible(dialog_));
  }
  // Locked closes the dialog.
  EXPECT_EQ(Submit(kWrongPin, "abcd1234", "abcd1234"), Warning(kKeyLocked));
  EXPECT_TRUE(desktop::WaitUntil([&] { return !IsWindow(dialog_); }));
  EXPECT_EQ(RawVerify(key_, 0xAD01, kProvisionedPin), -1);
}

}  // namespace
}  // namespace certdesk_test
