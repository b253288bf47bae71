// SM2 signature on a given e: r = (e + x1) mod n, s = (1 + d)^-1 (k - r d) mod n.
#include "sm2_core.h"

namespace keysim::cc {
namespace detail {

bool sm2_sign_with_k(const uint8_t d[32], const uint8_t e[32], const uint8_t k[32], uint8_t r[32],
                     uint8_t s[32]) {
  const Sm2Curve *c = sm2_curve();
  if (c == nullptr || d == nullptr || e == nullptr || k == nullptr || r == nullptr ||
      s == nullptr) {
    return false;
  }
  BnCtxPtr ctx(BN_CTX_new());
  BnPtr bd = sm2_private_in(*c, d), be = bn_from(e, kSm2Bytes), bk = bn_from(k, kSm2Bytes);
  BnPtr x1 = bn_new(), br = bn_new(), bs = bn_new(), t = bn_new();
  PointPtr pt(EC_POINT_new(c->group));
  if (!ctx || !bd || !be || !bk || !x1 || !br || !bs || !t || !pt) return false;
  if (BN_is_zero(bk.get()) || BN_cmp(bk.get(), c->n) >= 0) return false;

  if (EC_POINT_mul(c->group, pt.get(), bk.get(), nullptr, nullptr, ctx.get()) != 1 ||
      EC_POINT_get_affine_coordinates(c->group, pt.get(), x1.get(), nullptr, ctx.get()) != 1 ||
      BN_mod_add(br.get(), be.get(), x1.get(), c->n, ctx.get()) != 1) {
    return false;
  }
  // r = 0 or r + k = n: this k is unusable.
  if (BN_is_zero(br.get()) || BN_add(t.get(), br.get(), bk.get()) != 1 ||
      BN_cmp(t.get(), c->n) == 0) {
    return false;
  }
  // s = (1 + d)^-1 (k - r d) mod n
  if (BN_mod_mul(t.get(), br.get(), bd.get(), c->n, ctx.get()) != 1 ||
      BN_mod_sub(bs.get(), bk.get(), t.get(), c->n, ctx.get()) != 1 ||
      BN_copy(t.get(), bd.get()) == nullptr || BN_add_word(t.get(), 1) != 1 ||
      BN_mod_inverse(t.get(), t.get(), c->n, ctx.get()) == nullptr ||
      BN_mod_mul(bs.get(), bs.get(), t.get(), c->n, ctx.get()) != 1) {
    return false;
  }
  if (BN_is_zero(bs.get())) return false;
  return bn_to32(br.get(), r) && bn_to32(bs.get(), s);
}

}  // namespace detail

bool sm2_sign(const uint8_t d[32], const uint8_t e[32], uint8_t r[32], uint8_t s[32]) {
  const detail::Sm2Curve *c = detail::sm2_curve();
  if (c == nullptr || d == nullptr || !detail::sm2_private_in(*c, d)) return false;
  // A k that fails is redrawn; each failure has a chance of about 2^-255.
  for (int attempt = 0; attempt < 16; ++attempt) {
    detail::BnPtr k = detail::sm2_random_scalar(*c);
    uint8_t kb[32];
    if (!k || !detail::bn_to32(k.get(), kb)) return false;
    bool ok = detail::sm2_sign_with_k(d, e, kb, r, s);
    OPENSSL_cleanse(kb, sizeof kb);
    if (ok) return true;
  }
  return false;
}

bool sm2_verify(const Sm2Point &pub, const uint8_t e[32], const uint8_t r[32],
                const uint8_t s[32]) {
  const detail::Sm2Curve *c = detail::sm2_curve();
  if (c == nullptr || e == nullptr || r == nullptr || s == nullptr) return false;
  detail::BnCtxPtr ctx(BN_CTX_new());
  detail::BnPtr br = detail::bn_from(r, kSm2Bytes), bs = detail::bn_from(s, kSm2Bytes),
                be = detail::bn_from(e, kSm2Bytes), t = detail::bn_new(), x1 = detail::bn_new();
  if (!ctx || !br || !bs || !be || !t || !x1) return false;
  detail::PointPtr p = detail::sm2_point_in(*c, pub, ctx.get());
  detail::PointPtr q(EC_POINT_new(c->group));
  if (!p || !q) return false;
  for (const BIGNUM *v : {br.get(), bs.get()}) {
    if (BN_is_zero(v) || BN_cmp(v, c->n) >= 0) return false;
  }
  // t = (r + s) mod n, t != 0; (x1, y1) = s G + t P; valid when (e + x1) mod n = r.
  if (BN_mod_add(t.get(), br.get(), bs.get(), c->n, ctx.get()) != 1 || BN_is_zero(t.get())) {
    return false;
  }
  if (EC_POINT_mul(c->group, q.get(), bs.get(), p.get(), t.get(), ctx.get()) != 1 ||
      EC_POINT_is_at_infinity(c->group, q.get()) ||
      EC_POINT_get_affine_coordinates(c->group, q.get(), x1.get(), nullptr, ctx.get()) != 1 ||
      BN_mod_add(t.get(), be.get(), x1.get(), c->n, ctx.get()) != 1) {
    return false;
  }
  return BN_cmp(t.get(), br.get()) == 0;
}

}  // namespace keysim::cc
