#include "scenario.h"

#include <cstdio>

namespace legacytest {

ScenarioRun::~ScenarioRun() {
  for (DEVHANDLE d : devices_) SKF_OF(lib, SKF_DisConnectDev)(d);
  for (const auto &k : keys_) vkey::Remove(k);
}

std::string ScenarioRun::Key(bool provisioned, bool as_core) {
  const std::string key = vkey::CreateKey("scenario", provisioned);
  EXPECT_FALSE(key.empty());
  keys_.push_back(key);
  if (provisioned && !as_core) {
    EXPECT_TRUE(AsFormattedByBase(key));
  }
  return key;
}

DEVHANDLE ScenarioRun::Connect(const std::string &key) {
  DEVHANDLE device = nullptr;
  EXPECT_EQ(ConnectThrough(lib, key, &device), SAR_OK) << host::NameOf(lib.build());
  if (device) devices_.push_back(device);
  return device;
}

HAPPLICATION ScenarioRun::App(DEVHANDLE device) {
  HAPPLICATION app = nullptr;
  EXPECT_EQ(SKF_OF(lib, SKF_OpenApplication)(device, const_cast<char *>(kAppName), &app), SAR_OK);
  return app;
}

HCONTAINER ScenarioRun::Container(HAPPLICATION app, const char *name) {
  HCONTAINER container = nullptr;
  EXPECT_EQ(SKF_OF(lib, SKF_OpenContainer)(app, const_cast<char *>(name), &container), SAR_OK)
      << name;
  return container;
}

ULONG ScenarioRun::Login(HAPPLICATION app) {
  ULONG retries = 0;
  return SKF_OF(lib, SKF_VerifyPIN)(app, USER_TYPE, const_cast<char *>(kPin), &retries);
}

HAPPLICATION ScenarioRun::LoggedIn(std::string *key, DEVHANDLE *device) {
  const std::string k = Key(true);
  DEVHANDLE d = Connect(k);
  HAPPLICATION app = App(d);
  EXPECT_EQ(Login(app), SAR_OK);
  if (key) *key = k;
  if (device) *device = d;
  return app;
}

std::string Code(ULONG code) {
  struct Name {
    ULONG code;
    const char *name;
  };
  static constexpr Name kNames[] = {
      {SAR_OK, "SAR_OK"},
      {SAR_FAIL, "SAR_FAIL"},
      {SAR_NOTSUPPORTYETERR, "SAR_NOTSUPPORTYETERR"},
      {SAR_FILEERR, "SAR_FILEERR"},
      {SAR_INVALIDHANDLEERR, "SAR_INVALIDHANDLEERR"},
      {SAR_INVALIDPARAMERR, "SAR_INVALIDPARAMERR"},
      {SAR_BUFFER_TOO_SMALL, "SAR_BUFFER_TOO_SMALL"},
      {SAR_PIN_INCORRECT, "SAR_PIN_INCORRECT"},
      {SAR_PIN_LOCKED, "SAR_PIN_LOCKED"},
      {SAR_USER_NOT_LOGGED_IN, "SAR_USER_NOT_LOGGED_IN"},
      {SAR_FILE_ALREADY_EXIST, "SAR_FILE_ALREADY_EXIST"},
      {SAR_NO_ROOM, "SAR_NO_ROOM"},
  };
  for (const Name &n : kNames) {
    if (n.code == code) return n.name;
  }
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

}  // namespace legacytest
