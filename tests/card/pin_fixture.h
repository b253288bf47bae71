// Virtual keys for the PIN, format and application tests: a new key per test, opened through
// the real readerio, formatted and given an application on request.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "daemon_harness.h"
#include "skf/card/readerio_api.h"

inline constexpr char kUserPin[] = "123456";
inline constexpr char kAdminPin[] = "admin12345";
inline constexpr char kDeviceKey[] = "KeyTextForTests!";
// The device key a blank virtual key comes with.
inline constexpr char kFactoryKey[] = "1234567812345678";
inline constexpr std::uint32_t kUserRetries = 3;
inline constexpr std::uint32_t kAdminRetries = 5;

class PinKeyTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new blank key, opened.
  void NewKey();
  void Knob(const char *knob, const std::string &value);
  // Fault injection: the card answers `sw` to the n-th command from now.
  void FailCommand(int n, std::uint16_t sw);
  // Formats the key and creates application AD01 with kAdminPin and kUserPin; AD01 stays
  // selected.
  void FormatWithApplication();
  // SELECT MF, then the child DF or EF `id` of each step.
  bool SelectPath(std::initializer_list<std::pair<std::uint8_t, std::uint16_t>> steps);
  // Reads the length-prefixed EF `ef` of DF `df` (0 for the MF) from the MF down.
  std::vector<std::uint8_t> ReadDirectoryFile(std::uint16_t df, std::uint16_t ef,
                                              std::uint32_t *length);

  riotest::Daemon daemon_;
  std::string key_;
  DEVHANDLE device_ = nullptr;
};
