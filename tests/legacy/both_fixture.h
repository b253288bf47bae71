// Tests against virtual keys through both libraries, loaded side by side like a host. Each
// test's keys leave their readers when it ends, so every test starts with an empty reader list.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host_library.h"
#include "virtual_key.h"

namespace legacytest {

using Bytes = vkey::Bytes;

inline constexpr char kAppName[] = "KEYSIM-APP";  // of a provisioned key
inline constexpr char kPin[] = "12345678";        // its user and administrator PIN
inline constexpr char kSm2Container[] = "SM2-CONTAINER";
inline constexpr char kRsaContainer[] = "RSA-CONTAINER";

// The key's device directory cut to the 340 bytes that tokenbase formats (label and two
// applications), as on a key formatted by tokenbase; false when it cannot be rewritten.
bool AsFormattedByBase(const std::string &key);
// Connects through `lib`; tokenbase only connects a key that refuses the built-in card key, so
// for tokenbase the key refuses it while connecting and takes it again afterwards. The result
// of SKF_ConnectDev.
ULONG ConnectThrough(const host::Library &lib, const std::string &key, DEVHANDLE *device);

class BothLibraries : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new key in its reader (provisioned keys hold a 1156-byte device directory); its name.
  std::string NewKey(bool provisioned, std::uint32_t serial = 20261210);
  DEVHANDLE Connect(const host::Library &lib, const std::string &key);
  HAPPLICATION OpenApp(const host::Library &lib, DEVHANDLE device, const char *name = kAppName);

  std::vector<std::string> keys_;
  std::vector<std::pair<const host::Library *, DEVHANDLE>> connected_;
};

}  // namespace legacytest
