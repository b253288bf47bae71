// tokencore against provisioned virtual keys: each test gets a fresh key (formatted, application
// KEYSIM-APP, an SM2 and a 1024-bit RSA container with key pairs, PINs 12345678), connected
// through the library as a host program connects it, with every PIN slot empty.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tokencore.h"
#include "virtual_key.h"

namespace apitest {

using Bytes = std::vector<std::uint8_t>;

inline constexpr char kSm2Container[] = "SM2-CONTAINER";
inline constexpr char kRsaContainer[] = "RSA-CONTAINER";

class VirtualKey : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string NewKey();  // a new provisioned key, inserted; its name
  DEVHANDLE Connect(const std::string &key);
  HAPPLICATION OpenApp(DEVHANDLE device);
  HCONTAINER OpenContainer(HAPPLICATION app, const char *name);
  HCONTAINER CreateContainer(HAPPLICATION app, const char *name);
  void Login(HAPPLICATION app);  // the user PIN, verified

  std::string key_;  // the test's first key
  DEVHANDLE dev_ = nullptr;
  HAPPLICATION app_ = nullptr;
  std::vector<DEVHANDLE> connected_;
};

}  // namespace apitest
