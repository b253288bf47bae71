// Test helpers for the card cryptography: hex text and OpenSSL reference keys.
#pragma once

#include "cardcrypto.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>

namespace keysim::cc::test {

inline Bytes hex(std::string_view s) {
  auto nibble = [](char c) -> uint8_t {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return static_cast<uint8_t>(c - 'A' + 10);
  };
  Bytes out;
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(nibble(s[i]) << 4 | nibble(s[i + 1])));
  }
  return out;
}

struct PkeyFree {
  void operator()(EVP_PKEY *k) const { EVP_PKEY_free(k); }
};
struct PkeyCtxFree {
  void operator()(EVP_PKEY_CTX *c) const { EVP_PKEY_CTX_free(c); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;

// An OpenSSL key of type `name` from an OSSL_PARAM builder filled by `fill`.
template <typename Fill>
Pkey pkey_from(const char *name, Fill fill) {
  OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
  std::vector<BIGNUM *> keep;
  fill(bld, keep);
  OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(bld);
  PkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, name, nullptr));
  EVP_PKEY *pkey = nullptr;
  if (ctx && params && EVP_PKEY_fromdata_init(ctx.get()) == 1) {
    EVP_PKEY_fromdata(ctx.get(), &pkey, EVP_PKEY_KEYPAIR, params);
  }
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  for (BIGNUM *b : keep) BN_clear_free(b);
  return Pkey(pkey);
}

inline void push_bn(OSSL_PARAM_BLD *bld, std::vector<BIGNUM *> &keep, const char *key,
                    const uint8_t *p, size_t n) {
  BIGNUM *b = BN_bin2bn(p, static_cast<int>(n), nullptr);
  keep.push_back(b);
  OSSL_PARAM_BLD_push_BN(bld, key, b);
}

inline Pkey rsa_pkey(const RsaKey &k) {
  return pkey_from("RSA", [&](OSSL_PARAM_BLD *bld, std::vector<BIGNUM *> &keep) {
    const std::pair<const char *, const Bytes *> parts[] = {
        {OSSL_PKEY_PARAM_RSA_N, &k.n},          {OSSL_PKEY_PARAM_RSA_E, &k.e},
        {OSSL_PKEY_PARAM_RSA_D, &k.d},          {OSSL_PKEY_PARAM_RSA_FACTOR1, &k.p},
        {OSSL_PKEY_PARAM_RSA_FACTOR2, &k.q},    {OSSL_PKEY_PARAM_RSA_EXPONENT1, &k.dp},
        {OSSL_PKEY_PARAM_RSA_EXPONENT2, &k.dq}, {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, &k.qinv},
    };
    for (const auto &[key, v] : parts) push_bn(bld, keep, key, v->data(), v->size());
  });
}

// An SM2 key pair for OpenSSL's own SM2 signature and encryption.
inline Pkey sm2_pkey(const uint8_t d[32], const Sm2Point &pub) {
  uint8_t point[65] = {0x04};  // read by OSSL_PARAM_BLD_to_param inside pkey_from
  std::copy(pub.x, pub.x + 32, point + 1);
  std::copy(pub.y, pub.y + 32, point + 33);
  return pkey_from("SM2", [&](OSSL_PARAM_BLD *bld, std::vector<BIGNUM *> &keep) {
    OSSL_PARAM_BLD_push_utf8_string(bld, OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0);
    OSSL_PARAM_BLD_push_octet_string(bld, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point);
    push_bn(bld, keep, OSSL_PKEY_PARAM_PRIV_KEY, d, 32);
  });
}

}  // namespace keysim::cc::test
