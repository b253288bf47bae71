#include "skf/card/pkcs1.h"

#include <openssl/rand.h>

#include <cstring>

namespace {

constexpr std::uint8_t kType1 = 0x01;
constexpr std::uint8_t kType2 = 0x02;
constexpr std::uint32_t kMinPadding = 8;
constexpr std::uint32_t kHeader = 2;
constexpr int kRandomRounds = 64;  // bound on redraws of zero bytes

bool Fits(std::uint32_t data_length, std::uint32_t k) {
  return k >= kPkcs1Overhead && data_length <= k - kPkcs1Overhead;
}

void Frame(std::uint8_t *block, std::uint8_t type, const std::uint8_t *data,
           std::uint32_t data_length, std::uint32_t k) {
  block[0] = 0x00;
  block[1] = type;
  block[k - data_length - 1] = 0x00;
  if (data_length) std::memcpy(block + k - data_length, data, data_length);
}

// Fills `out` with nonzero random bytes.
bool NonzeroRandom(std::uint8_t *out, std::uint32_t length) {
  if (length && RAND_bytes(out, static_cast<int>(length)) != 1) return false;
  for (int round = 0; round < kRandomRounds; ++round) {
    bool zero_left = false;
    for (std::uint32_t i = 0; i < length; ++i) {
      if (out[i] != 0) continue;
      if (RAND_bytes(out + i, 1) != 1) return false;
      zero_left = zero_left || out[i] == 0;
    }
    if (!zero_left) return true;
  }
  return false;
}

int Unpad(std::uint8_t type, std::uint8_t *payload, std::uint32_t *payload_length,
          const std::uint8_t *block, std::uint32_t block_length, std::uint32_t k) {
  if (!payload || !payload_length || !block || block_length != k || k <= kHeader ||
      block[1] != type) {
    return -1;
  }
  std::uint32_t zero = kHeader;
  while (zero < k && block[zero] != 0x00) ++zero;
  if (zero == k || zero < kHeader + kMinPadding) return -1;
  *payload_length = k - zero - 1;
  if (*payload_length) std::memcpy(payload, block + zero + 1, *payload_length);
  return 0;
}

}  // namespace

int PKCS1_PadType1(std::uint8_t *block, const std::uint8_t *data, std::uint32_t data_length,
                   std::uint32_t k) {
  if (!block || (data_length && !data) || !Fits(data_length, k)) return -1;
  std::memset(block + kHeader, 0xFF, k - data_length - 3);
  Frame(block, kType1, data, data_length, k);
  return 0;
}

int PKCS1_PadType2(std::uint8_t *block, const std::uint8_t *data, std::uint32_t data_length,
                   std::uint32_t k) {
  if (!block || (data_length && !data) || !Fits(data_length, k)) return -1;
  if (!NonzeroRandom(block + kHeader, k - data_length - 3)) return -1;
  Frame(block, kType2, data, data_length, k);
  return 0;
}

int PKCS1_UnpadType1(std::uint8_t *payload, std::uint32_t *payload_length,
                     const std::uint8_t *block, std::uint32_t block_length, std::uint32_t k) {
  return Unpad(kType1, payload, payload_length, block, block_length, k);
}

int PKCS1_UnpadType2(std::uint8_t *payload, std::uint32_t *payload_length,
                     const std::uint8_t *block, std::uint32_t block_length, std::uint32_t k) {
  return Unpad(kType2, payload, payload_length, block, block_length, k);
}
