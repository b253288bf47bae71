// The card's symmetric ciphers by mode byte: SM4 and the two stand-ins.
#include "cardcrypto.h"
#include "ossl_util.h"

#include <array>

namespace keysim::cc {

bool card_sym(uint8_t mode, bool encrypt, const uint8_t key[16], const uint8_t *iv16,
              std::span<const uint8_t> in, uint8_t *out) {
  if (key == nullptr || in.size() % kSymBlock != 0) return false;
  const bool cbc = (mode & kModeCbc) != 0;
  if (cbc && iv16 == nullptr) return false;
  if (in.empty()) return true;
  if (out == nullptr) return false;

  const uint8_t *pad = nullptr;
  switch (mode & kModeCipherMask) {
    case kModeSsf33:
      pad = kSsf33StandinPad;
      break;
    case kModeSm1:
      pad = kSm1StandinPad;
      break;
    case kModeSm4:
      break;
    default:
      return false;
  }
  std::array<uint8_t, kSymKey> k{};
  for (size_t i = 0; i < kSymKey; ++i) k[i] = pad ? key[i] ^ pad[i] : key[i];

  detail::ensure_providers();
  const EVP_CIPHER *cipher = cbc ? EVP_sm4_cbc() : EVP_sm4_ecb();
  bool ok = detail::cipher_run(cipher, encrypt, k.data(), cbc ? iv16 : nullptr, in.data(),
                               in.size(), out);
  OPENSSL_cleanse(k.data(), k.size());
  return ok;
}

}  // namespace keysim::cc
