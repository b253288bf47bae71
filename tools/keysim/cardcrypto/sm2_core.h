// Internal: the SM2 curve and the helpers the SM2 files share.
#pragma once

#include "cardcrypto.h"
#include "ossl_util.h"

namespace keysim::cc::detail {

struct Sm2Curve {
  EC_GROUP *group;
  BIGNUM *n;  // group order
  BIGNUM *a, *b, *xg, *yg;
};

// The recommended curve, built once; null when OpenSSL cannot build it.
const Sm2Curve *sm2_curve();

// A point given as x || y; null unless it lies on the curve.
PointPtr sm2_point_in(const Sm2Curve &c, const Sm2Point &p, BN_CTX *ctx);
bool sm2_point_out(const Sm2Curve &c, const EC_POINT *pt, Sm2Point &out, BN_CTX *ctx);
// A 32-byte big-endian number as x.
bool bn_to32(const BIGNUM *x, uint8_t out[32]);
// d in [1, n - 2].
BnPtr sm2_private_in(const Sm2Curve &c, const uint8_t d[32]);
// A random scalar in [1, n - 1].
BnPtr sm2_random_scalar(const Sm2Curve &c);

// KDF of the SM2 standard over SM3: klen bytes from SM3(z || counter), counter from 1.
bool sm2_kdf(std::span<const uint8_t> z, size_t klen, uint8_t *out);

// Signing and encryption with a given random k (known-answer tests use these).
// sign fails when k gives r = 0, r + k = n or s = 0; encrypt when the KDF output is all zero.
bool sm2_sign_with_k(const uint8_t d[32], const uint8_t e[32], const uint8_t k[32], uint8_t r[32],
                     uint8_t s[32]);
bool sm2_encrypt_with_k(const Sm2Point &pub, std::span<const uint8_t> msg, const uint8_t k[32],
                        Bytes &c1c2c3);

}  // namespace keysim::cc::detail
