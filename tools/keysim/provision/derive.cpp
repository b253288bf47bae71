// PIN values as the host library derives them before they reach the card.
#include <algorithm>
#include <cstring>

#include "cardcrypto.h"
#include "provision.h"

namespace keysim {

namespace {
constexpr uint8_t kBlockKey[8] = {'q', 'o', 't', 'w', 'e', 'b', 'u', 'n'};
constexpr uint8_t kLongPinKey[8] = {'l', 'u', 'r', 'a', 'p', 'e', 'k', 'm'};
constexpr size_t kPinTextMax = 16;

uint8_t decimal_nibbles(uint8_t b) {
  auto fix = [](uint8_t n) { return static_cast<uint8_t>(n >= 10 ? n - 6 : n); };
  return static_cast<uint8_t>(fix(b >> 4) << 4 | fix(b & 15));
}
}  // namespace

void derive_user_pin(const std::string &pin, uint8_t out[6]) {
  uint8_t p[kPinTextMax] = {};
  std::memcpy(p, pin.data(), std::min(pin.size(), kPinTextMax));
  uint8_t block[8], key[8], r[8];
  if (pin.size() <= 8) {
    std::memcpy(block, p, 8);
    std::memcpy(key, kBlockKey, 8);
  } else {
    cc::des_ecb(true, kLongPinKey, std::span(p, 8), key);
    for (int j = 0; j < 8; ++j) block[j] = key[7 - j] ^ p[8 + j];
  }
  cc::des_ecb(true, std::span(key, 8), block, r);
  for (int k = 0; k < 6; ++k) out[k] = decimal_nibbles(r[k + 1]);
}

void derive_admin_key(const std::string &pin, uint8_t out[16]) {
  uint8_t p[kPinTextMax];
  std::fill(std::begin(p), std::end(p), 0x1E);
  std::memcpy(p, pin.data(), std::min(pin.size(), kPinTextMax));
  cc::md5(p, out);
}

}  // namespace keysim
