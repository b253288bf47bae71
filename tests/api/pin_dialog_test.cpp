// SKF_VerifyPIN with the ask marker, as a host sees it: with nothing in the shared PIN cache the
// user is asked (Windows: the dialog of tokencore's own resources; elsewhere the pinentry
// prompt), played by a scripted user against a provisioned virtual key.
#include <cstring>
#include <string>
#include <vector>

#include "keysim_fixture.h"
#include "layouts.h"
#include "pin_mapping.h"
#include "pin_ui.h"

#if defined(_WIN32)
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "pin_texts_gbk.h"
#endif

namespace {

// Two control characters and eight digits: take the cached PIN or ask the user.
constexpr char kMarker[] =
    "\x1D\x1E"
    "48151623";
constexpr char kPin[] = "12345678";  // the provisioned application's user PIN, 10 tries
constexpr char kNineTries[] = "对不起，您输入的USBKey密码不正确，还有 9 次重试机会，请重新输入！";

const UiSeen kDialog{UiSeen::kDialog, ""};
const UiSeen kRetryMessage{UiSeen::kOkCancel, kNineTries};

class PinDialogTest : public VirtualKeyTest {
 protected:
  void SetUp() override {
    VirtualKeyTest::SetUp();
    PinMapping::RemoveAny();
    key_ = NewKey(true);
    device_ = Connect(key_);
    SKF(SKF_ClearSecureState)(nullptr);
    char name[] = "KEYSIM-APP";
    ASSERT_EQ(SKF(SKF_OpenApplication)(device_, name, &app_), SAR_OK);
    ASSERT_EQ(UserLeft(), 10u);
  }

  // SKF_VerifyPIN with the marker while a scripted user plays `steps`.
  ULONG VerifyMarker(std::vector<UiStep> steps, std::vector<UiSeen> *seen) {
    std::memcpy(pin_, kMarker, sizeof kMarker);
    ScriptedUser user(std::move(steps));
    const ULONG r = SKF(SKF_VerifyPIN)(app_, USER_TYPE, pin_, &retries_);
    *seen = user.Finish();
    return r;
  }
  // The user's retries left in the application's record, read raw.
  std::uint32_t UserLeft() {
    vkey::RawCard raw(key_);
    return vkey::U32At(ReadFile(raw, {0xAD01, 0xEF01}), 16);
  }
  std::uint64_t Verifies() { return vkey::Commands(key_, 0x00, 0x20); }

  std::string key_;
  DEVHANDLE device_ = nullptr;
  HAPPLICATION app_ = nullptr;
  char pin_[17] = {};
  ULONG retries_ = 99;
};

#if defined(_WIN32)
// What a host's thread reads of the dialog while the library shows it. The thread finds the
// dialog by its PIN field, the scripted user of the later tests by its caption: this test runs
// first, so a wrong caption is reported here rather than waited on there.
struct DialogSight {
  HINSTANCE instance = nullptr;
  std::string caption, ok, cancel;
  std::vector<std::string> statics;  // the texts, in creation order
  bool screenshot = false;
};

BOOL CALLBACK MatchDialog(HWND h, LPARAM p) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  char cls[16] = {};
  GetClassNameA(h, cls, sizeof cls);
  if (pid != GetCurrentProcessId() || std::strcmp(cls, "#32770") != 0 || !IsWindowVisible(h) ||
      !GetDlgItem(h, 1000)) {
    return TRUE;
  }
  *reinterpret_cast<HWND *>(p) = h;
  return FALSE;
}

BOOL CALLBACK TakeStaticText(HWND h, LPARAM p) {
  char cls[16] = {};
  GetClassNameA(h, cls, sizeof cls);
  if (_stricmp(cls, "Static") == 0 && (GetWindowLongA(h, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
    char text[256] = {};
    GetWindowTextA(h, text, sizeof text);
    reinterpret_cast<std::vector<std::string> *>(p)->push_back(text);
  }
  return TRUE;
}

// Waits for the dialog, reads it through the ANSI functions, saves the screenshot, then types
// the PIN and chooses OK.
void ReadAndAnswer(DialogSight &sight, const std::atomic<bool> &stop) {
  HWND dialog = nullptr;
  while (!dialog && !stop) {
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) Sleep(20);
  }
  if (!dialog) return;
  sight.instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
  char text[256] = {};
  GetWindowTextA(dialog, text, sizeof text);
  sight.caption = text;
  GetDlgItemTextA(dialog, IDOK, text, sizeof text);
  sight.ok = text;
  GetDlgItemTextA(dialog, IDCANCEL, text, sizeof text);
  sight.cancel = text;
  EnumChildWindows(dialog, TakeStaticText, reinterpret_cast<LPARAM>(&sight.statics));
  Sleep(200);  // let it paint
  sight.screenshot = SaveScreenshot("api_pin_dialog.png");
  SetDlgItemTextA(dialog, 1000, kPin);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

TEST_F(PinDialogTest, DialogIsTokencoresOwnInCodePage936) {
  ASSERT_EQ(GetACP(), 936u) << "the ANSI code page; run under LC_ALL=zh_CN.GBK";
  ASSERT_STREQ(gbk::kCaption, "USBKey\xC3\xDC\xC2\xEB\xD1\xE9\xD6\xA4") << "GBK texts";
  const auto library = static_cast<HMODULE>(tokencore::Library());
  EXPECT_NE(FindResourceA(library, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5)), nullptr);
  EXPECT_EQ(FindResourceA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5)),
            nullptr)
      << "the program has no dialog of its own";

  DialogSight sight;
  std::atomic<bool> stop{false};
  std::thread user([&] { ReadAndAnswer(sight, stop); });
  std::memcpy(pin_, kMarker, sizeof kMarker);
  const ULONG r = SKF(SKF_VerifyPIN)(app_, USER_TYPE, pin_, &retries_);
  stop = true;
  user.join();
  EXPECT_EQ(r, SAR_OK);
  EXPECT_STREQ(pin_, kPin);
  EXPECT_EQ(sight.instance, library) << "dialog 101 of tokencore.dll";
  EXPECT_EQ(sight.caption, gbk::kCaption);
  EXPECT_EQ(sight.ok, gbk::kOkButton);
  EXPECT_EQ(sight.cancel, gbk::kCancelButton);
  EXPECT_EQ(sight.statics, (std::vector<std::string>{gbk::kDescription, gbk::kFieldLabel}));
  const char *display = std::getenv("DISPLAY");
  if (display && *display) {
    EXPECT_TRUE(sight.screenshot) << "api_pin_dialog.png";
  }
}
#endif

TEST_F(PinDialogTest, TypedPinIsVerifiedAndHandedBack) {
  const std::uint64_t before = Verifies();
  std::vector<UiSeen> seen;
  EXPECT_EQ(VerifyMarker({{UiAction::kEnterPin, kPin}}, &seen), SAR_OK);
  EXPECT_EQ(seen, std::vector<UiSeen>{kDialog});
  EXPECT_STREQ(pin_, kPin);
  EXPECT_EQ(Verifies() - before, 1u);
  EXPECT_EQ(UserLeft(), 10u);
}

TEST_F(PinDialogTest, WrongPinShowsTheRetriesThenTheDialogAgain) {
  std::vector<UiSeen> seen;
  EXPECT_EQ(VerifyMarker({{UiAction::kEnterPin, "87654321"},
                          {UiAction::kMessageOk, ""},
                          {UiAction::kEnterPin, kPin}},
                         &seen),
            SAR_OK);
  EXPECT_EQ(seen, (std::vector<UiSeen>{kDialog, kRetryMessage, kDialog}));
  EXPECT_STREQ(pin_, kPin);
  EXPECT_EQ(UserLeft(), 10u) << "the card reset its count";

  // Declined after a wrong PIN: the count the card reported is recorded and returned.
  EXPECT_EQ(
      VerifyMarker({{UiAction::kEnterPin, "87654321"}, {UiAction::kMessageCancel, ""}}, &seen),
      SAR_PIN_INCORRECT);
  EXPECT_EQ(seen, (std::vector<UiSeen>{kDialog, kRetryMessage}));
  EXPECT_EQ(retries_, 9u);
  EXPECT_EQ(UserLeft(), 9u);
  EXPECT_STREQ(pin_, kMarker) << "nothing handed back";
}

// A cancel is no answer from the card: a failure, with no count reported or recorded.
TEST_F(PinDialogTest, CancelSendsAndRecordsNothing) {
  const std::uint64_t before = Verifies();
  std::vector<UiSeen> seen;
  EXPECT_EQ(VerifyMarker({{UiAction::kCancelDialog, ""}}, &seen), SAR_FAIL);
  EXPECT_EQ(seen, std::vector<UiSeen>{kDialog});
  EXPECT_EQ(retries_, 99u);
  EXPECT_EQ(Verifies(), before);
  EXPECT_EQ(UserLeft(), 10u);
}

// The shared cache made by another program: its PIN is tried first; whatever PIN the card
// accepts ends up in it.
TEST_F(PinDialogTest, SharedCacheIsTriedFirst) {
  const struct {
    const char *what, *cached;
    std::vector<UiStep> steps;
    std::vector<UiSeen> seen;
  } cases[] = {
      {"the right PIN", kPin, {}, {}},
      {"empty", "", {{UiAction::kEnterPin, kPin}}, {kDialog}},
      {"longer than a PIN", "1234567890123456789", {{UiAction::kEnterPin, kPin}}, {kDialog}},
      {"a wrong PIN",
       "87654321",
       {{UiAction::kMessageOk, ""}, {UiAction::kEnterPin, kPin}},
       {kRetryMessage, kDialog}},
  };
  for (const auto &c : cases) {
    PinMapping mapping(64);
    ASSERT_NE(mapping.Text(), nullptr);
    std::strcpy(mapping.Text(), c.cached);
    std::vector<UiSeen> seen;
    EXPECT_EQ(VerifyMarker(c.steps, &seen), SAR_OK) << c.what;
    EXPECT_EQ(seen, c.seen) << c.what;
    EXPECT_STREQ(pin_, kPin) << c.what;
    EXPECT_STREQ(mapping.Text(), kPin) << c.what;
  }
}

}  // namespace
