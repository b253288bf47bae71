// Tests against virtual keys through the loaded tokencore. Each test's keys are taken out of
// their readers when it ends, so every test starts with an empty reader list.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tokencore.h"
#include "virtual_key.h"

class VirtualKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(vkey::Attach()) << "no keysimd"; }
  void TearDown() override {
    for (DEVHANDLE d : connected_) SKF(SKF_DisConnectDev)(d);
    for (const auto &k : keys_) vkey::Remove(k);
  }

  // A new key in its reader; its key name.
  std::string NewKey(bool provisioned, std::uint32_t serial = 20261210) {
    const std::string key = vkey::CreateKey("api", provisioned, serial);
    EXPECT_FALSE(key.empty());
    keys_.push_back(key);
    return key;
  }
  DEVHANDLE Connect(const std::string &key) {
    DEVHANDLE device = nullptr;
    EXPECT_EQ(SKF(SKF_ConnectDev)(vkey::ReaderOf(key).c_str(), &device), SAR_OK) << key;
    if (device) connected_.push_back(device);
    return device;
  }
  // Device authentication through the built-in key (wrong data on a card that accepts it).
  void Authenticate(DEVHANDLE device) {
    const BYTE any[16] = {};
    ASSERT_EQ(SKF(SKF_DevAuth)(device, any, sizeof any), SAR_OK);
  }

  std::vector<std::string> keys_;
  std::vector<DEVHANDLE> connected_;
};
