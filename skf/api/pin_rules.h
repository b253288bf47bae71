// Length rules of PIN texts.
#pragma once

#include <cstring>
#include <string_view>

inline constexpr std::size_t kPinMin = 6;
inline constexpr std::size_t kPinMax = 16;
// Accepted as an administrator PIN although shorter than the rule asks.
inline constexpr std::string_view kDefaultAdminPin = "vemto";

// 6..16 characters (at most 17 are read).
inline bool PinLengthOk(const char *pin) {
  const std::size_t n = strnlen(pin, kPinMax + 1);
  return n >= kPinMin && n <= kPinMax;
}
inline bool IsDefaultAdminPin(const char *pin) {
  return std::string_view(pin, strnlen(pin, kPinMax + 1)) == kDefaultAdminPin;
}
inline bool AdminPinLengthOk(const char *pin) { return PinLengthOk(pin) || IsDefaultAdminPin(pin); }
