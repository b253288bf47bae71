#include "both_fixture.h"

namespace legacytest {

namespace {

constexpr std::uint16_t kDirectoryEf = 0xEF01;
constexpr std::size_t kBaseDirectory = 340;

}  // namespace

bool AsFormattedByBase(const std::string &key) {
  vkey::RawCard card(key);
  if (!card.IsOpen() || !card.SelectPath({kDirectoryEf})) return false;
  auto directory = card.ReadPrefixed();
  if (!directory || directory->size() < kBaseDirectory) return false;
  directory->resize(kBaseDirectory);
  return card.WritePrefixed(*directory);
}

ULONG ConnectThrough(const host::Library &lib, const std::string &key, DEVHANDLE *device) {
  if (lib.IsBase() && !vkey::Knob(key, "builtin_key", "off")) return SAR_FAIL;
  const ULONG result = SKF_OF(lib, SKF_ConnectDev)(vkey::ReaderOf(key).c_str(), device);
  if (lib.IsBase() && !vkey::Knob(key, "builtin_key", "on")) return SAR_FAIL;
  return result;
}

void BothLibraries::SetUp() { ASSERT_TRUE(vkey::Attach()) << "no keysimd"; }

void BothLibraries::TearDown() {
  for (const auto &[lib, device] : connected_) SKF_OF(*lib, SKF_DisConnectDev)(device);
  for (const auto &k : keys_) vkey::Remove(k);
}

std::string BothLibraries::NewKey(bool provisioned, std::uint32_t serial) {
  const std::string key = vkey::CreateKey("legacy", provisioned, serial);
  EXPECT_FALSE(key.empty());
  keys_.push_back(key);
  return key;
}

DEVHANDLE BothLibraries::Connect(const host::Library &lib, const std::string &key) {
  DEVHANDLE device = nullptr;
  EXPECT_EQ(ConnectThrough(lib, key, &device), SAR_OK) << host::NameOf(lib.build()) << " " << key;
  if (device) connected_.emplace_back(&lib, device);
  return device;
}

HAPPLICATION BothLibraries::OpenApp(const host::Library &lib, DEVHANDLE device, const char *name) {
  HAPPLICATION app = nullptr;
  EXPECT_EQ(SKF_OF(lib, SKF_OpenApplication)(device, const_cast<char *>(name), &app), SAR_OK)
      << host::NameOf(lib.build());
  return app;
}

}  // namespace legacytest
