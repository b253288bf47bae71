#include "key_fixture.h"

namespace apitest {

void VirtualKey::SetUp() {
  ASSERT_TRUE(vkey::Attach()) << "no keysimd";
  key_ = NewKey();
  dev_ = Connect(key_);
  ASSERT_NE(dev_, nullptr);
  app_ = OpenApp(dev_);
  ASSERT_NE(app_, nullptr);
  ASSERT_EQ(SKF(SKF_ClearSecureState)(app_), SAR_OK);
}

void VirtualKey::TearDown() {
  if (app_) SKF(SKF_ClearSecureState)(app_);
  for (DEVHANDLE d : connected_) SKF(SKF_DisConnectDev)(d);
}

std::string VirtualKey::NewKey() {
  const std::string name = vkey::CreateKey("asym", true);
  EXPECT_FALSE(name.empty());
  return name;
}

DEVHANDLE VirtualKey::Connect(const std::string &key) {
  DEVHANDLE device = nullptr;
  EXPECT_EQ(SKF(SKF_ConnectDev)(vkey::ReaderOf(key).c_str(), &device), SAR_OK) << key;
  if (device) connected_.push_back(device);
  return device;
}

HAPPLICATION VirtualKey::OpenApp(DEVHANDLE device) {
  HAPPLICATION app = nullptr;
  char name[] = "KEYSIM-APP";
  EXPECT_EQ(SKF(SKF_OpenApplication)(device, name, &app), SAR_OK);
  return app;
}

HCONTAINER VirtualKey::OpenContainer(HAPPLICATION app, const char *name) {
  HCONTAINER container = nullptr;
  std::string text = name;
  EXPECT_EQ(SKF(SKF_OpenContainer)(app, text.data(), &container), SAR_OK) << name;
  return container;
}

HCONTAINER VirtualKey::CreateContainer(HAPPLICATION app, const char *name) {
  HCONTAINER container = nullptr;
  std::string text = name;
  EXPECT_EQ(SKF(SKF_CreateContainer)(app, text.data(), &container), SAR_OK) << name;
  return container;
}

void VirtualKey::Login(HAPPLICATION app) {
  char pin[] = "12345678";
  ULONG retries = 0;
  ASSERT_EQ(SKF(SKF_VerifyPIN)(app, 1, pin, &retries), SAR_OK);
}

}  // namespace apitest
