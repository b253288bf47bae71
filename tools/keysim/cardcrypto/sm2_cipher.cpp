// SM2 public-key encryption with the SM3 KDF; C1 = x || y, C3 = SM3(x2 || M || y2).
#include "sm2_core.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

namespace keysim::cc {
namespace {

constexpr size_t kOverhead = kSm2C1Bytes + kSm2C3Bytes;

// t = KDF(x2 || y2, len); false when t is all zero (the KDF output must not be).
bool derive_mask(const Sm2Point &p2, size_t len, Bytes &t) {
  uint8_t z[64];
  std::memcpy(z, p2.x, kSm2Bytes);
  std::memcpy(z + kSm2Bytes, p2.y, kSm2Bytes);
  t.assign(len, 0);
  bool ok = detail::sm2_kdf(z, len, t.data());
  OPENSSL_cleanse(z, sizeof z);
  return ok && std::any_of(t.begin(), t.end(), [](uint8_t b) { return b != 0; });
}

void hash_c3(const Sm2Point &p2, std::span<const uint8_t> msg, uint8_t c3[32]) {
  Bytes buf(p2.x, p2.x + kSm2Bytes);
  buf.insert(buf.end(), msg.begin(), msg.end());
  buf.insert(buf.end(), p2.y, p2.y + kSm2Bytes);
  sm3(buf, c3);
  OPENSSL_cleanse(buf.data(), buf.size());
}

// (x2, y2) = k Q for a point Q given as a struct.
bool shared_point(const detail::Sm2Curve &c, const EC_POINT *q, const BIGNUM *k, Sm2Point &out,
                  BN_CTX *ctx) {
  detail::PointPtr r(EC_POINT_new(c.group));
  return r && EC_POINT_mul(c.group, r.get(), nullptr, q, k, ctx) == 1 &&
         detail::sm2_point_out(c, r.get(), out, ctx);
}

}  // namespace

namespace detail {

bool sm2_encrypt_with_k(const Sm2Point &pub, std::span<const uint8_t> msg, const uint8_t k[32],
                        Bytes &c1c2c3) {
  const Sm2Curve *c = sm2_curve();
  if (c == nullptr || k == nullptr || msg.empty()) return false;
  BnCtxPtr ctx(BN_CTX_new());
  BnPtr bk = bn_from(k, kSm2Bytes);
  PointPtr c1(EC_POINT_new(c->group));
  if (!ctx || !bk || !c1) return false;
  if (BN_is_zero(bk.get()) || BN_cmp(bk.get(), c->n) >= 0) return false;
  PointPtr q = sm2_point_in(*c, pub, ctx.get());
  if (!q) return false;

  Sm2Point c1p{}, p2{};
  if (EC_POINT_mul(c->group, c1.get(), bk.get(), nullptr, nullptr, ctx.get()) != 1 ||
      !sm2_point_out(*c, c1.get(), c1p, ctx.get()) ||
      !shared_point(*c, q.get(), bk.get(), p2, ctx.get())) {
    return false;
  }
  Bytes t;
  if (!derive_mask(p2, msg.size(), t)) return false;
  Bytes out(kOverhead + msg.size());
  std::memcpy(out.data(), c1p.x, kSm2Bytes);
  std::memcpy(out.data() + kSm2Bytes, c1p.y, kSm2Bytes);
  for (size_t i = 0; i < msg.size(); ++i) out[kSm2C1Bytes + i] = msg[i] ^ t[i];
  hash_c3(p2, msg, out.data() + kSm2C1Bytes + msg.size());
  OPENSSL_cleanse(t.data(), t.size());
  OPENSSL_cleanse(&p2, sizeof p2);
  c1c2c3 = std::move(out);
  return true;
}

}  // namespace detail

bool sm2_encrypt(const Sm2Point &pub, std::span<const uint8_t> msg, Bytes &c1c2c3) {
  const detail::Sm2Curve *c = detail::sm2_curve();
  if (c == nullptr || msg.empty() || !sm2_point_valid(pub)) return false;
  // An all-zero KDF output makes the standard draw a new k; chance about 2^-(8 len).
  for (int attempt = 0; attempt < 16; ++attempt) {
    detail::BnPtr k = detail::sm2_random_scalar(*c);
    uint8_t kb[32];
    if (!k || !detail::bn_to32(k.get(), kb)) return false;
    bool ok = detail::sm2_encrypt_with_k(pub, msg, kb, c1c2c3);
    OPENSSL_cleanse(kb, sizeof kb);
    if (ok) return true;
  }
  return false;
}

bool sm2_decrypt(const uint8_t d[32], std::span<const uint8_t> c1c3c2, Bytes &msg) {
  const detail::Sm2Curve *c = detail::sm2_curve();
  if (c == nullptr || d == nullptr || c1c3c2.size() <= kOverhead) return false;
  detail::BnCtxPtr ctx(BN_CTX_new());
  detail::BnPtr bd = detail::sm2_private_in(*c, d);
  if (!ctx || !bd) return false;
  Sm2Point c1p{};
  std::memcpy(c1p.x, c1c3c2.data(), kSm2Bytes);
  std::memcpy(c1p.y, c1c3c2.data() + kSm2Bytes, kSm2Bytes);
  detail::PointPtr c1 = detail::sm2_point_in(*c, c1p, ctx.get());
  Sm2Point p2{};
  if (!c1 || !shared_point(*c, c1.get(), bd.get(), p2, ctx.get())) return false;

  const uint8_t *c3 = c1c3c2.data() + kSm2C1Bytes;
  std::span<const uint8_t> c2 = c1c3c2.subspan(kOverhead);
  Bytes t;
  if (!derive_mask(p2, c2.size(), t)) return false;
  Bytes m(c2.size());
  for (size_t i = 0; i < c2.size(); ++i) m[i] = c2[i] ^ t[i];
  uint8_t u[32];
  hash_c3(p2, m, u);
  OPENSSL_cleanse(t.data(), t.size());
  OPENSSL_cleanse(&p2, sizeof p2);
  if (CRYPTO_memcmp(u, c3, kSm2C3Bytes) != 0) {
    OPENSSL_cleanse(m.data(), m.size());
    return false;
  }
  msg = std::move(m);
  return true;
}

bool sm2_c1c2c3_to_c1c3c2(std::span<const uint8_t> in, Bytes &out) {
  if (in.size() < kOverhead) return false;
  const size_t c2_len = in.size() - kOverhead;
  Bytes r(in.begin(), in.begin() + kSm2C1Bytes);
  r.insert(r.end(), in.end() - kSm2C3Bytes, in.end());
  r.insert(r.end(), in.begin() + kSm2C1Bytes, in.begin() + kSm2C1Bytes + c2_len);
  out = std::move(r);
  return true;
}

bool sm2_c1c3c2_to_c1c2c3(std::span<const uint8_t> in, Bytes &out) {
  if (in.size() < kOverhead) return false;
  Bytes r(in.begin(), in.begin() + kSm2C1Bytes);
  r.insert(r.end(), in.begin() + kOverhead, in.end());
  r.insert(r.end(), in.begin() + kSm2C1Bytes, in.begin() + kOverhead);
  out = std::move(r);
  return true;
}

bool sm2_decrypt_c1c2c3(const uint8_t d[32], std::span<const uint8_t> c1c2c3, Bytes &msg) {
  Bytes reordered;
  return sm2_c1c2c3_to_c1c3c2(c1c2c3, reordered) && sm2_decrypt(d, reordered, msg);
}

}  // namespace keysim::cc
