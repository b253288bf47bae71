#include <cstring>

#include "skf/card/device.h"

int NumberToBcd(std::span<const std::uint8_t> number, std::span<std::uint8_t> out) {
  if (number.empty() || number.size() > 4 || out.empty()) return kCardFailed;
  std::uint32_t value = 0;
  for (std::size_t i = number.size(); i-- > 0;) value = value << 8 | number[i];
  constexpr std::size_t kDigits = 10;
  constexpr std::size_t kPacked = kDigits / 2;
  char digits[kDigits];
  for (std::size_t i = kDigits; i-- > 0; value /= 10) digits[i] = static_cast<char>(value % 10);
  std::uint8_t packed[kPacked];
  for (std::size_t i = 0; i < kPacked; ++i) {
    packed[i] = static_cast<std::uint8_t>(digits[2 * i] << 4 | digits[2 * i + 1]);
  }
  std::memset(out.data(), 0, out.size());
  if (out.size() <= kPacked) {
    std::memcpy(out.data(), packed + kPacked - out.size(), out.size());
  } else {
    std::memcpy(out.data() + out.size() - kPacked, packed, kPacked);
  }
  return 0;
}

int ToUpperHex(std::span<const std::uint8_t> bytes, std::span<char> text) {
  if (text.size() < 2 * bytes.size() + 1) return -1;
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  text[2 * bytes.size()] = '\0';
  return static_cast<int>(2 * bytes.size());
}
