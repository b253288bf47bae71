// PIN family on provisioned keys and applications made here, with the retry record of the
// container directory read back raw.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "keysim_fixture.h"
#include "layouts.h"
#include "shared_pin.h"

namespace {

using vkey::Bytes;

struct PinInfo {
  ULONG max, left;
  BOOL fresh;
  bool operator==(const PinInfo &) const = default;
};
std::ostream &operator<<(std::ostream &o, const PinInfo &p) {
  return o << p.left << "/" << p.max << (p.fresh ? " default" : " changed");
}

// The record fields: admin max, admin left, user max, user left, admin changed, user changed.
struct Header {
  std::uint32_t admin_max, admin_left, user_max, user_left, admin_changed, user_changed;
  bool operator==(const Header &) const = default;
};
std::ostream &operator<<(std::ostream &o, const Header &h) {
  return o << "admin " << h.admin_left << "/" << h.admin_max << " changed " << h.admin_changed
           << ", user " << h.user_left << "/" << h.user_max << " changed " << h.user_changed;
}

class PinTest : public VirtualKeyTest {
 protected:
  void SetUp() override {
    VirtualKeyTest::SetUp();
    key_ = NewKey(true);
    device_ = Connect(key_);
    SKF(SKF_ClearSecureState)(nullptr);
  }
  // A new application with 3 tries for each PIN: admin "11223344", user "55667788".
  HAPPLICATION NewApplication(const char *name, ULONG rights = 0xFF) {
    Authenticate(device_);
    char admin[] = "11223344", user[] = "55667788";
    HAPPLICATION app = nullptr;
    EXPECT_EQ(SKF(SKF_CreateApplication)(device_, const_cast<char *>(name), admin, 3, user, 3,
                                         rights, &app),
              SAR_OK);
    return app;
  }
  ULONG Verify(HAPPLICATION app, ULONG type, const std::string &pin, ULONG *left = nullptr) {
    ULONG retries = 99;
    const ULONG r = SKF(SKF_VerifyPIN)(app, type, const_cast<char *>(pin.c_str()), &retries);
    if (left) *left = retries;
    return r;
  }
  PinInfo Info(HAPPLICATION app, ULONG type) {
    PinInfo p{};
    EXPECT_EQ(SKF(SKF_GetPINInfo)(app, type, &p.max, &p.left, &p.fresh), SAR_OK);
    return p;
  }
  Header Record(std::uint16_t app_df) {
    vkey::RawCard raw(key_);
    const Bytes d = ReadFile(raw, {app_df, 0xEF01});
    EXPECT_EQ(d.size(), kCreatedContainerDirectorySize);
    return {vkey::U32At(d, 4),  vkey::U32At(d, 8),  vkey::U32At(d, 12),
            vkey::U32At(d, 16), vkey::U32At(d, 20), vkey::U32At(d, 24)};
  }

  std::string key_;
  DEVHANDLE device_ = nullptr;
};

TEST_F(PinTest, UserPinRetriesAreRecordedAndReset) {
  HAPPLICATION app = NewApplication("P");
  EXPECT_EQ(Info(app, USER_TYPE), (PinInfo{3, 3, TRUE}));
  EXPECT_EQ(Info(app, ADMIN_TYPE), (PinInfo{3, 3, TRUE}));
  ULONG left = 0;
  EXPECT_EQ(Verify(app, USER_TYPE, "00000000", &left), SAR_PIN_INCORRECT);
  EXPECT_EQ(left, 2u);
  EXPECT_EQ(Record(0xAD02), (Header{3, 3, 3, 2, 0, 0}));
  EXPECT_EQ(Info(app, 2), (PinInfo{3, 2, TRUE})) << "type 2 is the user PIN";
  ASSERT_EQ(Verify(app, USER_TYPE, "55667788"), SAR_OK);
  EXPECT_EQ(Record(0xAD02), (Header{3, 3, 3, 3, 0, 0}));

  const std::uint64_t writes = vkey::Commands(key_, 0x00, 0xD6);
  ASSERT_EQ(Verify(app, USER_TYPE, "55667788"), SAR_OK);
  EXPECT_EQ(vkey::Commands(key_, 0x00, 0xD6), writes) << "nothing to record, nothing written";

  EXPECT_EQ(Verify(app, USER_TYPE, "00000000", &left), SAR_PIN_INCORRECT);
  EXPECT_EQ(Verify(app, USER_TYPE, "00000000", &left), SAR_PIN_INCORRECT);
  EXPECT_EQ(left, 1u);
  EXPECT_EQ(Verify(app, USER_TYPE, "00000000", &left), SAR_PIN_LOCKED);
  EXPECT_EQ(left, 0u);
  EXPECT_EQ(Verify(app, USER_TYPE, "55667788", &left), SAR_PIN_LOCKED) << "blocked on the card";
  EXPECT_EQ(Record(0xAD02).user_left, 0u);

  char admin[] = "11223344", wrong_admin[] = "44332211", next[] = "12121212";
  EXPECT_EQ(SKF(SKF_UnblockPIN)(app, wrong_admin, next, &left), SAR_PIN_INCORRECT);
  EXPECT_EQ(Record(0xAD02).admin_left, left) << "the count the card reported";
  ASSERT_EQ(SKF(SKF_UnblockPIN)(app, admin, next, &left), SAR_OK);
  EXPECT_EQ(Record(0xAD02), (Header{3, 3, 3, 3, 0, 1}));
  EXPECT_EQ(Verify(app, USER_TYPE, next), SAR_OK);
}

TEST_F(PinTest, AdministratorPinCountsItsOwnRetries) {
  HAPPLICATION app = NewApplication("P");
  ULONG left = 0;
  for (ULONG want : {2u, 1u}) {
    EXPECT_EQ(Verify(app, ADMIN_TYPE, "00000000", &left), SAR_PIN_INCORRECT);
    EXPECT_EQ(left, want);
  }
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Verify(app, ADMIN_TYPE, "00000000", &left), SAR_PIN_LOCKED);
    EXPECT_EQ(left, 0u) << "not below 0";
  }
  EXPECT_EQ(Record(0xAD02), (Header{3, 0, 3, 3, 0, 0}));
}

TEST_F(PinTest, ChangesMarkThePinsChanged) {
  HAPPLICATION app = NewApplication("P");
  char user[] = "55667788", user2[] = "99990000", admin[] = "11223344", vemto[] = "vemto";
  ULONG left = 0;
  ASSERT_EQ(SKF(SKF_ChangePIN)(app, USER_TYPE, user, user2, &left), SAR_OK);
  EXPECT_EQ(Info(app, USER_TYPE), (PinInfo{3, 3, FALSE}));
  EXPECT_EQ(Verify(app, USER_TYPE, user2), SAR_OK);
  EXPECT_EQ(SKF(SKF_ChangePIN)(app, USER_TYPE, user, user2, &left), SAR_PIN_INCORRECT);
  EXPECT_EQ(left, 2u);
  EXPECT_EQ(Record(0xAD02).user_left, 2u);

  ASSERT_EQ(SKF(SKF_ChangePIN)(app, ADMIN_TYPE, admin, vemto, &left), SAR_OK);
  EXPECT_EQ(Info(app, ADMIN_TYPE), (PinInfo{3, 3, FALSE}));
  EXPECT_EQ(Verify(app, ADMIN_TYPE, "vemto"), SAR_OK) << "the default admin PIN";
  EXPECT_EQ(SKF(SKF_ChangePIN)(app, ADMIN_TYPE, admin, vemto, &left), SAR_PIN_INCORRECT);
  EXPECT_EQ(left, 2u);
}

// The marker asks for the PIN of the shared cache (or of the user): two control characters
// and eight digits.
constexpr char kMarker[] =
    "\x1D\x1E"
    "48151623";

// A verification whose card exchange failed records no retry count, for the PIN given and for
// the marker's cached PIN alike.
TEST_F(PinTest, AFailedExchangeLeavesTheRecord) {
  char name[] = "KEYSIM-APP";
  HAPPLICATION app = nullptr;
  ASSERT_EQ(SKF(SKF_OpenApplication)(device_, name, &app), SAR_OK);
  // The directory read costs as many commands as an information query; the PIN mode query
  // follows, then the first command of the verification.
  const std::uint64_t start = vkey::Commands(key_);
  Info(app, USER_TYPE);
  const std::uint64_t road = vkey::Commands(key_) - start;
  SharedPin shared(64);
  ASSERT_TRUE(shared.IsOpen());
  std::strcpy(shared.Text(), "12345678");
  for (const char *pin : {"12345678", kMarker}) {
    const Header before = Record(0xAD01);
    ASSERT_TRUE(vkey::Knob(key_, "fault_reader", std::to_string(road + 2).c_str()));
    char text[17] = {};
    std::strcpy(text, pin);
    ULONG left = 99;
    EXPECT_EQ(SKF(SKF_VerifyPIN)(app, USER_TYPE, text, &left), SAR_FAIL) << pin;
    EXPECT_EQ(left, 99u) << pin;
    EXPECT_EQ(Record(0xAD01), before) << pin;
  }
}

// An administrator verification or change whose challenge failed never presented the PIN:
// no try is used up.
TEST_F(PinTest, AFailedChallengeCostsTheAdministratorNoTry) {
  char name[] = "KEYSIM-APP", admin[] = "12345678", next[] = "87654321";
  HAPPLICATION app = nullptr;
  ASSERT_EQ(SKF(SKF_OpenApplication)(device_, name, &app), SAR_OK);
  const std::uint64_t start = vkey::Commands(key_);
  Info(app, ADMIN_TYPE);
  const std::uint64_t road = vkey::Commands(key_) - start;
  const std::function<ULONG(ULONG *)> calls[] = {
      [&](ULONG *left) { return SKF(SKF_VerifyPIN)(app, ADMIN_TYPE, admin, left); },
      [&](ULONG *left) { return SKF(SKF_ChangePIN)(app, ADMIN_TYPE, admin, next, left); },
  };
  for (const char *fault : {"fault_sw", "fault_reader"}) {
    for (const auto &call : calls) {
      const Header before = Record(0xAD01);
      const std::string at = std::to_string(road + 1);
      ASSERT_TRUE(vkey::Knob(key_, fault, fault[6] == 's' ? (at + ":6A86").c_str() : at.c_str()));
      ULONG left = 99;
      EXPECT_EQ(call(&left), SAR_FAIL) << fault;
      EXPECT_EQ(left, 99u) << fault;
      EXPECT_EQ(Record(0xAD01), before) << fault;
    }
  }
  EXPECT_EQ(Verify(app, ADMIN_TYPE, admin), SAR_OK) << "the PIN was never changed";
}

// A change or unblock whose card exchange failed records no retry count either.
TEST_F(PinTest, FailedChangesLeaveTheRecord) {
  char name[] = "KEYSIM-APP", pin[] = "12345678", next[] = "87654321";
  HAPPLICATION app = nullptr;
  ASSERT_EQ(SKF(SKF_OpenApplication)(device_, name, &app), SAR_OK);
  auto commands_of = [&](const std::function<void()> &call) {
    const std::uint64_t start = vkey::Commands(key_);
    call();
    return vkey::Commands(key_) - start;
  };
  const std::uint64_t road = commands_of([&] { Info(app, USER_TYPE); });
  const std::uint64_t devices = commands_of([&] {
    ULONG size = 0;
    SKF(SKF_EnumApplication)(device_, nullptr, &size);
  });
  struct Case {
    const char *what;
    std::uint64_t fault_at;  // the first command after the directory reads
    std::function<ULONG()> call;
  };
  const Case cases[] = {
      {"user change", road + 2,
       [&] {
         ULONG left = 0;
         return SKF(SKF_ChangePIN)(app, USER_TYPE, pin, next, &left);
       }},
      {"unblock", devices + road + 1,
       [&] {
         ULONG left = 0;
         return SKF(SKF_UnblockPIN)(app, pin, next, &left);
       }},
  };
  for (const Case &c : cases) {
    const Header before = Record(0xAD01);
    ASSERT_TRUE(vkey::Knob(key_, "fault_reader", std::to_string(c.fault_at).c_str()));
    EXPECT_EQ(c.call(), SAR_FAIL) << c.what;
    EXPECT_EQ(Record(0xAD01), before) << c.what;
  }
}

TEST_F(PinTest, TheMarkerTakesThePinOfTheSharedCache) {
  SharedPin shared(64);
  ASSERT_TRUE(shared.IsOpen());
  std::strcpy(shared.Text(), "12345678");
  char name[] = "KEYSIM-APP";
  HAPPLICATION app = nullptr;
  ASSERT_EQ(SKF(SKF_OpenApplication)(device_, name, &app), SAR_OK);
  char pin[17] = {};
  std::memcpy(pin, kMarker, 10);
  ULONG left = 99;
  ASSERT_EQ(SKF(SKF_VerifyPIN)(app, USER_TYPE, pin, &left), SAR_OK);
  EXPECT_STREQ(pin, "12345678") << "the caller's buffer receives the PIN verified";

  // The slot holds the PIN itself: a create that asks for it verifies it again.
  vkey::RawCard raw(key_);
  Bytes apps = ReadFile(raw, {0xEF01});
  PutU32(apps, AppEntryAt(0) + 4, 0x10);
  WriteFile(raw, {0xEF01}, apps);
  char c[] = "C";
  HCONTAINER h = nullptr;
  EXPECT_EQ(SKF(SKF_CreateContainer)(app, c, &h), SAR_OK);
}

#if !defined(_WIN32)
// With nothing cached the user is asked; a cancel records nothing and reports a failure, not a
// blocked PIN.
TEST_F(PinTest, ACancelledPromptLeavesTheRecord) {
  SharedPin shared(64);
  ASSERT_TRUE(shared.IsOpen());
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", FAKE_PINENTRY_DIR, 1);
  setenv("FAKE_PINENTRY_ANSWERS", "/dev/null", 1);
  setenv("FAKE_PINENTRY_LOG", "/dev/null", 1);
  char name[] = "KEYSIM-APP";
  HAPPLICATION app = nullptr;
  ASSERT_EQ(SKF(SKF_OpenApplication)(device_, name, &app), SAR_OK);
  const Header before = Record(0xAD01);
  char pin[17] = {};
  std::memcpy(pin, kMarker, 10);
  ULONG left = 99;
  EXPECT_EQ(SKF(SKF_VerifyPIN)(app, USER_TYPE, pin, &left), SAR_FAIL);
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(left, 99u);
  EXPECT_EQ(Record(0xAD01), before);
}
#endif

}  // namespace
