// The directory file layouts, written out here independently of the library, and raw file
// helpers for the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "virtual_key.h"

// Handle records: DF identifier, then the device.
struct HandleRecord {
  std::uint32_t id;
  DEVHANDLE device;
};

inline constexpr std::size_t kAppDirectorySize = 1156;
inline constexpr std::size_t kAppEntrySize = 136;
inline constexpr std::size_t AppEntryAt(std::size_t k) { return 68 + 136 * k; }
inline constexpr std::size_t kContainerDirectorySize = 1212;
inline constexpr std::size_t kCreatedContainerDirectorySize = 620;
inline constexpr std::size_t ContainerEntryAt(std::size_t j) { return 28 + 148 * j; }
inline constexpr std::size_t kFileTableSize = 1040;
inline constexpr std::size_t FileRecordAt(std::size_t i) { return 52 * i; }

inline void PutU32(vkey::Bytes &image, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) image.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutText(vkey::Bytes &image, std::size_t at, const std::string &text) {
  std::memcpy(&image.at(at), text.c_str(), text.size() + 1);
}
// An application entry in use with that name and create rights.
inline void PutEntry(vkey::Bytes &image, std::size_t k, const std::string &name,
                     std::uint32_t rights = 0xFF) {
  PutU32(image, AppEntryAt(k), 1);
  PutU32(image, AppEntryAt(k) + 4, rights);
  PutText(image, AppEntryAt(k) + 8, name);
}

inline vkey::Bytes ReadFile(vkey::RawCard &raw, const std::vector<std::uint16_t> &path) {
  EXPECT_TRUE(raw.SelectPath(path));
  const auto data = raw.ReadPrefixed();
  EXPECT_TRUE(data.has_value());
  return data.value_or(vkey::Bytes{});
}
inline void WriteFile(vkey::RawCard &raw, const std::vector<std::uint16_t> &path,
                      const vkey::Bytes &data) {
  ASSERT_TRUE(raw.SelectPath(path));
  ASSERT_TRUE(raw.WritePrefixed(data));
}
