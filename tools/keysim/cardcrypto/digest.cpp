// MD5, SM3 and the random generator.
#include "cardcrypto.h"
#include "ossl_util.h"

#include <openssl/rand.h>

#include <climits>
#include <cstring>

namespace keysim::cc {
namespace {

void digest(const EVP_MD *md, std::span<const uint8_t> in, uint8_t *out, size_t out_len) {
  unsigned int len = 0;
  // Only an allocation failure can make the one-shot digest fail; leave zeros then.
  if (EVP_Digest(in.data(), in.size(), out, &len, md, nullptr) != 1 || len != out_len) {
    std::memset(out, 0, out_len);
  }
}

}  // namespace

bool random_bytes(uint8_t *out, size_t n) {
  if (n == 0) return true;
  if (out == nullptr || n > static_cast<size_t>(INT_MAX)) return false;
  return RAND_bytes(out, static_cast<int>(n)) == 1;
}

void md5(std::span<const uint8_t> in, uint8_t out[16]) {
  detail::ensure_providers();
  digest(EVP_md5(), in, out, 16);
}

void sm3(std::span<const uint8_t> in, uint8_t out[32]) {
  detail::ensure_providers();
  digest(EVP_sm3(), in, out, 32);
}

}  // namespace keysim::cc
