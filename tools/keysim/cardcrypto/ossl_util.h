// Internal: RAII holders for OpenSSL objects and provider start-up.
#pragma once

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace keysim::cc::detail {

struct BnFree {
  void operator()(BIGNUM *b) const { BN_clear_free(b); }
};
struct BnCtxFree {
  void operator()(BN_CTX *c) const { BN_CTX_free(c); }
};
struct PointFree {
  void operator()(EC_POINT *p) const { EC_POINT_clear_free(p); }
};
struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX *c) const { EVP_CIPHER_CTX_free(c); }
};
struct CipherFree {
  void operator()(EVP_CIPHER *c) const { EVP_CIPHER_free(c); }
};
struct PkeyFree {
  void operator()(EVP_PKEY *k) const { EVP_PKEY_free(k); }
};
struct PkeyCtxFree {
  void operator()(EVP_PKEY_CTX *c) const { EVP_PKEY_CTX_free(c); }
};

using BnPtr = std::unique_ptr<BIGNUM, BnFree>;
using BnCtxPtr = std::unique_ptr<BN_CTX, BnCtxFree>;
using PointPtr = std::unique_ptr<EC_POINT, PointFree>;
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;
using CipherPtr = std::unique_ptr<EVP_CIPHER, CipherFree>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;

inline BnPtr bn_new() { return BnPtr(BN_new()); }
// Big-endian bytes to a number; null on allocation failure.
inline BnPtr bn_from(const uint8_t *p, size_t n) {
  return BnPtr(BN_bin2bn(p, static_cast<int>(n), nullptr));
}

// Loads the "default" and "legacy" providers into the default library context once.
// Returns true when the legacy provider (single DES) is available.
bool ensure_providers();

// One cipher pass over whole blocks with padding off; out has in_len bytes.
bool cipher_run(const EVP_CIPHER *cipher, bool encrypt, const uint8_t *key, const uint8_t *iv,
                const uint8_t *in, size_t in_len, uint8_t *out);

}  // namespace keysim::cc::detail
