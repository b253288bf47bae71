// The SM2 curve, point and scalar conversion, key pairs, KDF, Z and e.
#include "sm2_core.h"

#include <openssl/obj_mac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace keysim::cc {
namespace detail {
namespace {

constexpr size_t kMaxIdBytes = 8191;  // ENTL is a 16-bit count of bits

Sm2Curve *build_curve() {
  auto *c = new Sm2Curve{};
  c->group = EC_GROUP_new_by_curve_name(NID_sm2);
  c->n = BN_new();
  c->a = BN_new();
  c->b = BN_new();
  c->xg = BN_new();
  c->yg = BN_new();
  BnCtxPtr ctx(BN_CTX_new());
  BIGNUM *p = BN_new();
  bool ok = c->group && c->n && c->a && c->b && c->xg && c->yg && ctx && p &&
            EC_GROUP_get_curve(c->group, p, c->a, c->b, ctx.get()) == 1 &&
            BN_copy(c->n, EC_GROUP_get0_order(c->group)) != nullptr &&
            EC_POINT_get_affine_coordinates(c->group, EC_GROUP_get0_generator(c->group), c->xg,
                                            c->yg, ctx.get()) == 1;
  BN_free(p);
  if (!ok) {
    EC_GROUP_free(c->group);
    BN_free(c->n);
    BN_free(c->a);
    BN_free(c->b);
    BN_free(c->xg);
    BN_free(c->yg);
    delete c;
    return nullptr;
  }
  return c;
}

}  // namespace

const Sm2Curve *sm2_curve() {
  // Built once and kept for the life of the process; only read afterwards.
  static const Sm2Curve *curve = build_curve();
  return curve;
}

bool bn_to32(const BIGNUM *x, uint8_t out[32]) {
  return BN_bn2binpad(x, out, static_cast<int>(kSm2Bytes)) == static_cast<int>(kSm2Bytes);
}

PointPtr sm2_point_in(const Sm2Curve &c, const Sm2Point &p, BN_CTX *ctx) {
  BnPtr x = bn_from(p.x, kSm2Bytes), y = bn_from(p.y, kSm2Bytes);
  PointPtr pt(EC_POINT_new(c.group));
  if (!x || !y || !pt) return nullptr;
  // Rejects coordinates >= p and points off the curve.
  if (EC_POINT_set_affine_coordinates(c.group, pt.get(), x.get(), y.get(), ctx) != 1) {
    return nullptr;
  }
  if (EC_POINT_is_on_curve(c.group, pt.get(), ctx) != 1) return nullptr;
  return pt;
}

bool sm2_point_out(const Sm2Curve &c, const EC_POINT *pt, Sm2Point &out, BN_CTX *ctx) {
  if (EC_POINT_is_at_infinity(c.group, pt)) return false;
  BnPtr x = bn_new(), y = bn_new();
  if (!x || !y) return false;
  if (EC_POINT_get_affine_coordinates(c.group, pt, x.get(), y.get(), ctx) != 1) return false;
  return bn_to32(x.get(), out.x) && bn_to32(y.get(), out.y);
}

BnPtr sm2_private_in(const Sm2Curve &c, const uint8_t d[32]) {
  BnPtr b = bn_from(d, kSm2Bytes), limit = bn_new();
  if (!b || !limit || BN_copy(limit.get(), c.n) == nullptr) return nullptr;
  if (BN_sub_word(limit.get(), 1) != 1) return nullptr;
  if (BN_is_zero(b.get()) || BN_cmp(b.get(), limit.get()) >= 0) return nullptr;
  return b;
}

BnPtr sm2_random_scalar(const Sm2Curve &c) {
  BnPtr k = bn_new();
  if (!k) return nullptr;
  // BN_priv_rand_range gives [0, n); draw again on 0 (bounded: the chance is about 2^-256).
  for (int i = 0; i < 8; ++i) {
    if (BN_priv_rand_range(k.get(), c.n) != 1) return nullptr;
    if (!BN_is_zero(k.get())) return k;
  }
  return nullptr;
}

bool sm2_kdf(std::span<const uint8_t> z, size_t klen, uint8_t *out) {
  Bytes buf(z.begin(), z.end());
  buf.resize(z.size() + 4);
  uint8_t h[32];
  uint32_t ct = 1;
  for (size_t done = 0; done < klen; done += sizeof h, ++ct) {
    if (ct == 0) return false;  // counter wrapped: klen far too large
    buf[z.size()] = static_cast<uint8_t>(ct >> 24);
    buf[z.size() + 1] = static_cast<uint8_t>(ct >> 16);
    buf[z.size() + 2] = static_cast<uint8_t>(ct >> 8);
    buf[z.size() + 3] = static_cast<uint8_t>(ct);
    sm3(buf, h);
    std::memcpy(out + done, h, std::min(sizeof h, klen - done));
  }
  OPENSSL_cleanse(h, sizeof h);
  OPENSSL_cleanse(buf.data(), buf.size());
  return true;
}

}  // namespace detail

bool sm2_public_from_private(const uint8_t d[32], Sm2Point &pub) {
  const detail::Sm2Curve *c = detail::sm2_curve();
  if (c == nullptr || d == nullptr) return false;
  detail::BnCtxPtr ctx(BN_CTX_new());
  detail::BnPtr k = detail::sm2_private_in(*c, d);
  detail::PointPtr pt(EC_POINT_new(c->group));
  if (!ctx || !k || !pt) return false;
  if (EC_POINT_mul(c->group, pt.get(), k.get(), nullptr, nullptr, ctx.get()) != 1) return false;
  return detail::sm2_point_out(*c, pt.get(), pub, ctx.get());
}

bool sm2_generate(uint8_t d[32], Sm2Point &pub) {
  const detail::Sm2Curve *c = detail::sm2_curve();
  if (c == nullptr || d == nullptr) return false;
  // Draw from [1, n - 2]: a scalar in [0, n - 2) plus one.
  detail::BnPtr limit = detail::bn_new(), k = detail::bn_new();
  if (!limit || !k || BN_copy(limit.get(), c->n) == nullptr || BN_sub_word(limit.get(), 2) != 1 ||
      BN_priv_rand_range(k.get(), limit.get()) != 1 || BN_add_word(k.get(), 1) != 1) {
    return false;
  }
  std::array<uint8_t, kSm2Bytes> tmp{};
  Sm2Point p{};
  bool ok = detail::bn_to32(k.get(), tmp.data()) && sm2_public_from_private(tmp.data(), p);
  if (ok) {
    std::memcpy(d, tmp.data(), kSm2Bytes);
    pub = p;
  }
  OPENSSL_cleanse(tmp.data(), tmp.size());
  return ok;
}

bool sm2_point_valid(const Sm2Point &p) {
  const detail::Sm2Curve *c = detail::sm2_curve();
  detail::BnCtxPtr ctx(BN_CTX_new());
  return c != nullptr && ctx && detail::sm2_point_in(*c, p, ctx.get()) != nullptr;
}

bool sm2_z(const Sm2Point &pub, std::span<const uint8_t> id, uint8_t z[32]) {
  const detail::Sm2Curve *c = detail::sm2_curve();
  if (c == nullptr || z == nullptr || id.size() > detail::kMaxIdBytes) return false;
  const size_t bits = id.size() * 8;
  Bytes buf;
  buf.reserve(2 + id.size() + 6 * kSm2Bytes);
  buf.push_back(static_cast<uint8_t>(bits >> 8));
  buf.push_back(static_cast<uint8_t>(bits));
  buf.insert(buf.end(), id.begin(), id.end());
  for (const BIGNUM *v : {c->a, c->b, c->xg, c->yg}) {
    uint8_t t[32];
    if (!detail::bn_to32(v, t)) return false;
    buf.insert(buf.end(), t, t + sizeof t);
  }
  buf.insert(buf.end(), pub.x, pub.x + kSm2Bytes);
  buf.insert(buf.end(), pub.y, pub.y + kSm2Bytes);
  sm3(buf, z);
  return true;
}

bool sm2_e(const uint8_t z[32], std::span<const uint8_t> msg, uint8_t e[32]) {
  if (z == nullptr || e == nullptr) return false;
  Bytes buf(z, z + kSm2Bytes);
  buf.insert(buf.end(), msg.begin(), msg.end());
  sm3(buf, e);
  return true;
}

}  // namespace keysim::cc
