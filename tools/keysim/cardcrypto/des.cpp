// DES and triple DES in ECB, and the DES retail MAC.
#include "cardcrypto.h"
#include "ossl_util.h"

#include <array>
#include <cstring>

namespace keysim::cc {
namespace {

constexpr size_t kDesBlock = 8;
constexpr size_t kDesKey = 8;
constexpr size_t kMacWorkBytes = 128;  // longest message the MAC takes

using Block = std::array<uint8_t, kDesBlock>;

// Single DES comes from the legacy provider; fetched once, null when the provider is missing.
const EVP_CIPHER *single_des() {
  static const detail::CipherPtr cipher = [] {
    detail::CipherPtr c;
    if (detail::ensure_providers()) c.reset(EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr));
    return c;
  }();
  return cipher.get();
}

bool des_block(bool encrypt, const uint8_t *key, const uint8_t *in, uint8_t *out) {
  return detail::cipher_run(single_des(), encrypt, key, nullptr, in, kDesBlock, out);
}

}  // namespace

bool des_available() { return single_des() != nullptr; }

bool des_ecb(bool encrypt, std::span<const uint8_t> key, std::span<const uint8_t> in,
             uint8_t *out) {
  if (in.empty() || in.size() % kDesBlock != 0 || out == nullptr) return false;
  detail::ensure_providers();
  const EVP_CIPHER *cipher = nullptr;
  switch (key.size()) {
    case kDesKey:
      cipher = single_des();
      break;
    case 2 * kDesKey:
      cipher = EVP_des_ede_ecb();
      break;
    case 3 * kDesKey:
      cipher = EVP_des_ede3_ecb();
      break;
    default:
      return false;
  }
  return detail::cipher_run(cipher, encrypt, key.data(), nullptr, in.data(), in.size(), out);
}

bool retail_mac(const uint8_t key[16], std::span<const uint8_t> msg, int flag, uint8_t mac[4]) {
  if (key == nullptr || mac == nullptr || msg.size() > kMacWorkBytes) return false;
  // Short messages leave block 0 zero-filled past their end, as the host's work buffer does.
  std::array<uint8_t, kMacWorkBytes> work{};
  if (!msg.empty()) std::memcpy(work.data(), msg.data(), msg.size());
  const uint8_t *k1 = key;
  const uint8_t *k2 = key + kDesKey;
  const size_t blocks = msg.size() / kDesBlock;

  Block c;
  std::memcpy(c.data(), work.data(), kDesBlock);
  for (size_t i = 1; i < blocks; ++i) {
    Block x;
    for (size_t j = 0; j < kDesBlock; ++j) x[j] = c[j] ^ work[i * kDesBlock + j];
    if (!des_block(true, k1, x.data(), c.data())) return false;
  }
  if (flag == 0) {
    Block t;
    if (!des_block(false, k2, c.data(), t.data())) return false;
    if (!des_block(true, k1, t.data(), c.data())) return false;
  }
  std::memcpy(mac, c.data(), 4);
  return true;
}

}  // namespace keysim::cc
