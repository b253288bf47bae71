// Tests of cardcmd.dll against virtual keys: the library bound by name, and a reader list that
// holds only the keys a test made.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "cardcmd_library.h"
#include "virtual_key.h"

class CardCmdTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // A new key in its reader.
  std::string NewKey(bool provisioned, std::uint32_t serial = 20261210);
  // QX_Open of the index, then the reset and the selection of application AD01 that certdesk
  // makes before a PIN operation. Closed at the end of the test.
  std::int32_t OpenApplication(std::int32_t index);
  std::int32_t Open(std::int32_t index);
  // The key's place in readerio's list of readers with a key, or -1.
  static std::int32_t DeviceIndexOf(const std::string &key);
  // Raw bytes of the selected application's PIN information (the first 28 bytes of AD01 EF01).
  static vkey::Bytes PinHeader(const std::string &key);

  static CardCmd api_;
  static bool bound_;

 private:
  std::vector<std::int32_t> opened_;
};

inline constexpr std::uint16_t kSwOk = 0x9000;
inline constexpr std::size_t kUserRemainAt = 16;
