// SM2 key exchange: t = d + xbar r mod n, U = t (P' + xbar' R'), K = KDF(xU || yU || ZA || ZB).
#include "sm2_core.h"

#include <cstring>

namespace keysim::cc {
namespace {

constexpr int kW = 127;  // ceil(ceil(log2 n) / 2) - 1 for the 256-bit order

// xbar = 2^w + (x & (2^w - 1))
detail::BnPtr x_bar(const uint8_t x[32]) {
  detail::BnPtr b = detail::bn_from(x, kSm2Bytes);
  if (!b || BN_mask_bits(b.get(), kW) != 1 || BN_set_bit(b.get(), kW) != 1) return nullptr;
  return b;
}

}  // namespace

bool sm2_agree(bool sponsor, const uint8_t own_d[32], const Sm2Point & /*own_pub*/,
               const uint8_t own_eph_d[32], const Sm2Point &own_eph_pub, const Sm2Point &peer_pub,
               const Sm2Point &peer_eph_pub, const uint8_t own_z[32], const uint8_t peer_z[32],
               size_t klen, Bytes &key) {
  const detail::Sm2Curve *c = detail::sm2_curve();
  if (c == nullptr || own_d == nullptr || own_eph_d == nullptr || own_z == nullptr ||
      peer_z == nullptr || klen == 0) {
    return false;
  }
  detail::BnCtxPtr ctx(BN_CTX_new());
  if (!ctx) return false;
  detail::BnPtr d = detail::sm2_private_in(*c, own_d);
  detail::BnPtr r = detail::bn_from(own_eph_d, kSm2Bytes);
  detail::BnPtr x1 = x_bar(own_eph_pub.x), x2 = x_bar(peer_eph_pub.x), t = detail::bn_new();
  detail::PointPtr p = detail::sm2_point_in(*c, peer_pub, ctx.get());
  detail::PointPtr rp = detail::sm2_point_in(*c, peer_eph_pub, ctx.get());
  detail::PointPtr q(EC_POINT_new(c->group)), u(EC_POINT_new(c->group));
  if (!d || !r || !x1 || !x2 || !t || !p || !rp || !q || !u) return false;
  if (BN_is_zero(r.get()) || BN_cmp(r.get(), c->n) >= 0) return false;

  // t = (d + xbar1 r) mod n; Q = P' + xbar2 R'; U = [h t] Q with h = 1.
  if (BN_mod_mul(t.get(), x1.get(), r.get(), c->n, ctx.get()) != 1 ||
      BN_mod_add(t.get(), t.get(), d.get(), c->n, ctx.get()) != 1 ||
      EC_POINT_mul(c->group, q.get(), nullptr, rp.get(), x2.get(), ctx.get()) != 1 ||
      EC_POINT_add(c->group, q.get(), q.get(), p.get(), ctx.get()) != 1 ||
      EC_POINT_mul(c->group, u.get(), nullptr, q.get(), t.get(), ctx.get()) != 1) {
    return false;
  }
  Sm2Point up{};
  if (!detail::sm2_point_out(*c, u.get(), up, ctx.get())) return false;  // U at infinity

  uint8_t z[4 * kSm2Bytes];
  std::memcpy(z, up.x, kSm2Bytes);
  std::memcpy(z + kSm2Bytes, up.y, kSm2Bytes);
  std::memcpy(z + 2 * kSm2Bytes, sponsor ? own_z : peer_z, kSm2Bytes);
  std::memcpy(z + 3 * kSm2Bytes, sponsor ? peer_z : own_z, kSm2Bytes);
  Bytes k(klen);
  bool ok = detail::sm2_kdf(z, klen, k.data());
  OPENSSL_cleanse(z, sizeof z);
  OPENSSL_cleanse(&up, sizeof up);
  if (ok) key = std::move(k);
  return ok;
}

}  // namespace keysim::cc
