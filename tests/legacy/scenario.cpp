#include "scenario.h"

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

}  // namespace legacytest
