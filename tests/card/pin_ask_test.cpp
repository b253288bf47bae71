// Verification for the exports: the given PIN, or for the ask marker the cached PIN or the PIN
// dialog with its messages, driven by a scripted user.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "card_fixture.h"
#include "pin_mapping.h"
#include "pin_ui.h"
#include "skf/card/auth.h"
#include "skf/card/pin_ask.h"

namespace {

constexpr char kLength[] = "对不起，您输入的密码长度不正确，请重新输入！";
constexpr char kCharacters[] = "只能使用4～16位的数字、字母或其组合作为USBKey密码，请重新输入。";
constexpr char kLocked[] = "对不起，您的USBKey已被锁，请带好您的USBKey办理证书恢复手续！";
constexpr char kLastTry[] = "对不起，您输入的USBKey密码不正确，还有最后一次重试机会，请重新输入！";
constexpr char kTwoTries[] = "对不起，您输入的USBKey密码不正确，还有 2 次重试机会，请重新输入！";

const UiSeen kDialog{UiSeen::kDialog, ""};

std::string VerifyOf(const char *pin) {
  std::uint8_t d[kDerivedPinSize + 1];
  QX_DerivePin(pin, d);
  return "00 20 00 00 06 " + ToHex({d, d + kDerivedPinSize});
}

class PinAskTest : public CardTest {
 protected:
  void SetUp() override {
    CardTest::SetUp();
    if (!UiAvailable()) GTEST_SKIP() << "no display for the PIN dialog";
    PinMapping::RemoveAny();
    QX_PinAskMarker(marker_);
  }
  // The card answers each VERIFY in turn with the plain presentation.
  void CardAnswers(std::initializer_list<std::uint32_t> verify_sws) {
    for (std::uint32_t sw : verify_sws) {
      Answer("00 01");
      Answer("", sw);
    }
  }
  // The VERIFY commands sent.
  std::vector<std::string> Verifies() {
    std::vector<std::string> v;
    for (const auto &s : Sent()) {
      if (s.rfind("00 20", 0) == 0) v.push_back(s);
    }
    return v;
  }
  // QX_VerifyPinOrAsk with the marker while `user` plays `steps`.
  int AskWith(std::vector<UiStep> steps, std::vector<UiSeen> *seen) {
    std::strcpy(buffer_, marker_);
    ScriptedUser user(std::move(steps));
    const int r = QX_VerifyPinOrAsk(device_, buffer_, &retries_);
    *seen = user.Finish();
    return r;
  }

  char marker_[kPinAskMarkerLength + 1] = {};
  char buffer_[kPinTextSize] = {};
  std::uint32_t retries_ = 77;
};

TEST_F(PinAskTest, MarkerIsTwoControlCharactersAndEightDigits) {
  ASSERT_EQ(std::strlen(marker_), 10u);
  EXPECT_LT(marker_[0], 0x20);
  EXPECT_LT(marker_[1], 0x20);
  for (int i = 2; i < 10; ++i) EXPECT_TRUE(marker_[i] >= '0' && marker_[i] <= '9');
  EXPECT_TRUE(IsPinAskMarker(marker_));
  EXPECT_FALSE(IsPinAskMarker(marker_ + 1));
}

TEST_F(PinAskTest, GivenPinIsVerifiedWithoutAsking) {
  const struct {
    std::uint32_t sw;
    int result;
    std::uint32_t retries;
  } cases[] = {{0x9000, 0, 77}, {0x63C3, -1, 3},  {0x6983, -1, 0},
               {0x9303, -1, 0}, {0x6A82, -2, 77}, {0xFF00, -2, 77}};
  for (const auto &c : cases) {
    Fake().Reset();
    CardAnswers({c.sw});
    ScriptedUser user({});
    char pin[kPinTextSize] = "1234";
    retries_ = 77;
    EXPECT_EQ(QX_VerifyPinOrAsk(device_, pin, &retries_), c.result) << std::hex << c.sw;
    EXPECT_EQ(retries_, c.retries) << std::hex << c.sw;
    EXPECT_EQ(Verifies(), std::vector<std::string>{VerifyOf("1234")});
    EXPECT_TRUE(user.Finish().empty());
  }
}

TEST_F(PinAskTest, EnteredPinIsVerifiedAndHandedBack) {
  for (bool empty_mapping : {false, true}) {
    Fake().Reset();
    std::unique_ptr<PinMapping> mapping;
    if (empty_mapping) mapping = std::make_unique<PinMapping>(64);
    CardAnswers({0x9000});
    std::vector<UiSeen> seen;
    EXPECT_EQ(AskWith({{UiAction::kEnterPin, "Ab12cd"}}, &seen), 0);
    EXPECT_EQ(seen, std::vector<UiSeen>{kDialog});
    EXPECT_STREQ(buffer_, "Ab12cd");
    EXPECT_EQ(retries_, 77u);
    EXPECT_EQ(Verifies(), std::vector<std::string>{VerifyOf("Ab12cd")});
    if (mapping) {
      EXPECT_STREQ(mapping->Text(), "Ab12cd") << "the verified PIN is cached";
    }
  }
}

TEST_F(PinAskTest, BadEntriesKeepTheDialogOpen) {
  const struct {
    const char *entry;
    const char *message;
  } cases[] = {
      {"123", kLength},
      {"12345678901234567", kLength},  // more than the field takes, set by another program
      {"12#45", kCharacters},
      {"1234 5", kCharacters},
  };
  for (const auto &c : cases) {
    Fake().Reset();
    CardAnswers({0x9000});
    std::vector<UiSeen> seen;
    EXPECT_EQ(AskWith({{UiAction::kEnterPin, c.entry},
                       {UiAction::kDialogMessageOk, ""},
                       {UiAction::kEnterPin, "1234"}},
                      &seen),
              0)
        << c.entry;
    EXPECT_EQ(seen, (std::vector<UiSeen>{kDialog, {UiSeen::kDialogMessage, c.message}, kDialog}))
        << c.entry;
    EXPECT_EQ(Verifies(), std::vector<std::string>{VerifyOf("1234")}) << c.entry;
  }
}

TEST_F(PinAskTest, CancelledDialogSendsNothing) {
  std::vector<UiSeen> seen;
  EXPECT_EQ(AskWith({{UiAction::kCancelDialog, ""}}, &seen), -1);
  EXPECT_EQ(seen, std::vector<UiSeen>{kDialog});
  EXPECT_EQ(retries_, 77u);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(PinAskTest, WrongPinShowsTheRetriesThenTheDialogAgain) {
  CardAnswers({0x63C2, 0x9000});
  std::vector<UiSeen> seen;
  EXPECT_EQ(AskWith({{UiAction::kEnterPin, "1111"},
                     {UiAction::kMessageOk, ""},
                     {UiAction::kEnterPin, "1234"}},
                    &seen),
            0);
  EXPECT_EQ(seen, (std::vector<UiSeen>{kDialog, {UiSeen::kOkCancel, kTwoTries}, kDialog}));
  EXPECT_EQ(retries_, 2u);
  EXPECT_STREQ(buffer_, "1234");
  EXPECT_EQ(Verifies(), (std::vector<std::string>{VerifyOf("1111"), VerifyOf("1234")}));

  // The last try, declined.
  Fake().Reset();
  CardAnswers({0x63C1});
  EXPECT_EQ(AskWith({{UiAction::kEnterPin, "1111"}, {UiAction::kMessageCancel, ""}}, &seen), -1);
  EXPECT_EQ(seen, (std::vector<UiSeen>{kDialog, {UiSeen::kOkCancel, kLastTry}}));
  EXPECT_EQ(retries_, 1u);
}

TEST_F(PinAskTest, CancelInTheDialogAfterTheRetryMessageEndsTheLoop) {
  CardAnswers({0x63C2});
  std::vector<UiSeen> seen;
  EXPECT_EQ(AskWith({{UiAction::kEnterPin, "1111"},
                     {UiAction::kMessageOk, ""},
                     {UiAction::kCancelDialog, ""}},
                    &seen),
            -1);
  EXPECT_EQ(seen, (std::vector<UiSeen>{kDialog, {UiSeen::kOkCancel, kTwoTries}, kDialog}));
  EXPECT_EQ(retries_, 2u);
  EXPECT_EQ(Verifies(), std::vector<std::string>{VerifyOf("1111")});
  EXPECT_STREQ(buffer_, marker_) << "nothing handed back";
}

#if !defined(_WIN32)
// No prompt program at all: the retry message cannot be shown, nor the dialog after it; the
// loop ends with the card's count and nothing more is sent.
TEST_F(PinAskTest, NoPromptEndsTheLoop) {
  PinMapping mapping(64);
  ASSERT_NE(mapping.Text(), nullptr);
  std::strcpy(mapping.Text(), "9999");
  CardAnswers({0x63C2});
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", "/nonexistent", 1);
  std::strcpy(buffer_, marker_);
  const int r = QX_VerifyPinOrAsk(device_, buffer_, &retries_);
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(retries_, 2u);
  EXPECT_EQ(Verifies(), std::vector<std::string>{VerifyOf("9999")});
}
#endif

TEST_F(PinAskTest, LockedKeyAndCardFailureEndTheLoop) {
  const struct {
    std::uint32_t sw;
    std::vector<UiSeen> after_dialog;
    int result;
    std::uint32_t retries;
  } cases[] = {
      {0x63C0, {{UiSeen::kOkOnly, kLocked}}, -1, 0},
      {0x6983, {{UiSeen::kOkOnly, kLocked}}, -1, 0},
      {0x6A82, {}, -2, 77},  // no count from the card: a failed exchange, no message
      {0xFF01, {}, -2, 77},  // a reader failure
  };
  for (const auto &c : cases) {
    Fake().Reset();
    CardAnswers({c.sw});
    retries_ = 77;
    std::vector<UiSeen> seen;
    EXPECT_EQ(AskWith({{UiAction::kEnterPin, "1111"}, {UiAction::kMessageOk, ""}}, &seen),
              c.result);
    std::vector<UiSeen> expected{kDialog};
    expected.insert(expected.end(), c.after_dialog.begin(), c.after_dialog.end());
    EXPECT_EQ(seen, expected) << std::hex << c.sw;
    EXPECT_EQ(retries_, c.retries) << std::hex << c.sw;
    EXPECT_STREQ(buffer_, marker_) << "nothing handed back";
  }
}

TEST_F(PinAskTest, CachedPinIsUsedFirst) {
  PinMapping mapping(64);
  ASSERT_NE(mapping.Text(), nullptr);
  std::strcpy(mapping.Text(), "5678");
  CardAnswers({0x9000});
  std::vector<UiSeen> seen;
  EXPECT_EQ(AskWith({}, &seen), 0);
  EXPECT_TRUE(seen.empty());
  EXPECT_STREQ(buffer_, "5678");

  // A wrong cached PIN: the retry message first, then the dialog.
  Fake().Reset();
  std::strcpy(mapping.Text(), "9999");
  CardAnswers({0x63C2, 0x9000});
  EXPECT_EQ(AskWith({{UiAction::kMessageOk, ""}, {UiAction::kEnterPin, "1234"}}, &seen), 0);
  EXPECT_EQ(seen, (std::vector<UiSeen>{{UiSeen::kOkCancel, kTwoTries}, kDialog}));
  EXPECT_EQ(Verifies(), (std::vector<std::string>{VerifyOf("9999"), VerifyOf("1234")}));
  EXPECT_STREQ(mapping.Text(), "1234");
}

}  // namespace
