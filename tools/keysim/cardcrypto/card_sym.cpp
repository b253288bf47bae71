// The card's symmetric ciphers by mode byte: SM4 and the two stand-ins.
#include "cardcrypto.h"
#include "ossl_util.h"

#include <array>

namespace keysim::cc {
namespace {

// SM4 in ECB or CBC over whole blocks under a key XORed with pad (no pad: plain SM4).
bool sm4_keyed(const uint8_t *pad, bool cbc, bool encrypt, const uint8_t key[16],
               const uint8_t *iv16, std::span<const uint8_t> in, uint8_t *out) {
  std::array<uint8_t, kSymKey> k{};
  for (size_t i = 0; i < kSymKey; ++i) k[i] = pad ? key[i] ^ pad[i] : key[i];
  detail::ensure_providers();
  const EVP_CIPHER *cipher = cbc ? EVP_sm4_cbc() : EVP_sm4_ecb();
  bool ok = detail::cipher_run(cipher, encrypt, k.data(), cbc ? iv16 : nullptr, in.data(),
                               in.size(), out);
  OPENSSL_cleanse(k.data(), k.size());
  return ok;
}

// Stand-in for mode 0 ("SSF33"), whose real definition is not public.
bool standin_ssf33(bool cbc, bool encrypt, const uint8_t key[16], const uint8_t *iv16,
                   std::span<const uint8_t> in, uint8_t *out) {
  return sm4_keyed(kSsf33StandinPad, cbc, encrypt, key, iv16, in, out);
}

// Stand-in for mode 1 ("SM1"), whose real definition is not public.
bool standin_sm1(bool cbc, bool encrypt, const uint8_t key[16], const uint8_t *iv16,
                 std::span<const uint8_t> in, uint8_t *out) {
  return sm4_keyed(kSm1StandinPad, cbc, encrypt, key, iv16, in, out);
}

}  // namespace

bool card_sym(uint8_t mode, bool encrypt, const uint8_t key[16], const uint8_t *iv16,
              std::span<const uint8_t> in, uint8_t *out) {
  if (key == nullptr || in.size() % kSymBlock != 0) return false;
  const bool cbc = (mode & kModeCbc) != 0;
  if (cbc && iv16 == nullptr) return false;
  const uint8_t cipher = mode & kModeCipherMask;
  if (cipher != kModeSsf33 && cipher != kModeSm1 && cipher != kModeSm4) return false;
  if (in.empty()) return true;
  if (out == nullptr) return false;
  switch (cipher) {
    case kModeSsf33:
      return standin_ssf33(cbc, encrypt, key, iv16, in, out);
    case kModeSm1:
      return standin_sm1(cbc, encrypt, key, iv16, in, out);
    default:
      return sm4_keyed(nullptr, cbc, encrypt, key, iv16, in, out);
  }
}

}  // namespace keysim::cc
