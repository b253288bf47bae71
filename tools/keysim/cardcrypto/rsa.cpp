// RSA key generation and the raw public and CRT private operations.
#include "cardcrypto.h"
#include "ossl_util.h"

#include <openssl/core_names.h>
#include <openssl/rsa.h>

namespace keysim::cc {
namespace {

using detail::BnPtr;

constexpr unsigned kPublicExponent = 65537;

bool get_component(EVP_PKEY *pkey, const char *name, Bytes &out) {
  BIGNUM *raw = nullptr;
  if (EVP_PKEY_get_bn_param(pkey, name, &raw) != 1) return false;
  BnPtr b(raw);
  out.assign(static_cast<size_t>(BN_num_bytes(b.get())), 0);
  BN_bn2bin(b.get(), out.data());
  return true;
}

BnPtr bn_of(const Bytes &b) { return detail::bn_from(b.data(), b.size()); }

// Writes x as a big-endian number of exactly len bytes.
bool to_fixed(const BIGNUM *x, size_t len, Bytes &out) {
  Bytes tmp(len);
  if (BN_bn2binpad(x, tmp.data(), static_cast<int>(len)) < 0) return false;
  out = std::move(tmp);
  return true;
}

}  // namespace

bool rsa_generate(int bits, RsaKey &out) {
  if (bits != 1024 && bits != 2048) return false;
  detail::ensure_providers();
  detail::PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1) return false;
  BnPtr e = detail::bn_new();
  if (!e || BN_set_word(e.get(), kPublicExponent) != 1) return false;
  if (EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits) != 1 ||
      EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), e.get()) != 1) {
    return false;
  }
  EVP_PKEY *raw = nullptr;
  if (EVP_PKEY_generate(ctx.get(), &raw) != 1) return false;
  detail::PkeyPtr pkey(raw);
  RsaKey k;
  if (!get_component(raw, OSSL_PKEY_PARAM_RSA_N, k.n) ||
      !get_component(raw, OSSL_PKEY_PARAM_RSA_E, k.e) ||
      !get_component(raw, OSSL_PKEY_PARAM_RSA_D, k.d) ||
      !get_component(raw, OSSL_PKEY_PARAM_RSA_FACTOR1, k.p) ||
      !get_component(raw, OSSL_PKEY_PARAM_RSA_FACTOR2, k.q) ||
      !get_component(raw, OSSL_PKEY_PARAM_RSA_EXPONENT1, k.dp) ||
      !get_component(raw, OSSL_PKEY_PARAM_RSA_EXPONENT2, k.dq) ||
      !get_component(raw, OSSL_PKEY_PARAM_RSA_COEFFICIENT1, k.qinv)) {
    return false;
  }
  out = std::move(k);
  return true;
}

bool rsa_private_crt(const RsaKey &k, std::span<const uint8_t> in, Bytes &out) {
  if (k.p.empty() || k.q.empty() || k.dp.empty() || k.dq.empty() || k.qinv.empty()) return false;
  detail::BnCtxPtr ctx(BN_CTX_new());
  BnPtr p = bn_of(k.p), q = bn_of(k.q), dp = bn_of(k.dp), dq = bn_of(k.dq), qinv = bn_of(k.qinv);
  BnPtr c = detail::bn_from(in.data(), in.size());
  BnPtr n = detail::bn_new(), m1 = detail::bn_new(), m2 = detail::bn_new(), h = detail::bn_new(),
        cr = detail::bn_new();
  if (!ctx || !p || !q || !dp || !dq || !qinv || !c || !n || !m1 || !m2 || !h || !cr) {
    return false;
  }
  if (BN_is_odd(p.get()) == 0 || BN_is_odd(q.get()) == 0 || BN_is_one(p.get()) ||
      BN_is_one(q.get())) {
    return false;
  }
  if (BN_mul(n.get(), p.get(), q.get(), ctx.get()) != 1) return false;
  if (!k.n.empty()) {
    BnPtr given = bn_of(k.n);
    if (!given || BN_cmp(given.get(), n.get()) != 0) return false;
  }
  if (BN_cmp(c.get(), n.get()) >= 0) return false;
  const size_t len = static_cast<size_t>(BN_num_bytes(n.get()));

  // m1 = c^dp mod p, m2 = c^dq mod q, h = qinv (m1 - m2) mod p, m = m2 + h q.
  if (BN_nnmod(cr.get(), c.get(), p.get(), ctx.get()) != 1 ||
      BN_mod_exp_mont_consttime(m1.get(), cr.get(), dp.get(), p.get(), ctx.get(), nullptr) != 1 ||
      BN_nnmod(cr.get(), c.get(), q.get(), ctx.get()) != 1 ||
      BN_mod_exp_mont_consttime(m2.get(), cr.get(), dq.get(), q.get(), ctx.get(), nullptr) != 1 ||
      BN_mod_sub(h.get(), m1.get(), m2.get(), p.get(), ctx.get()) != 1 ||
      BN_mod_mul(h.get(), h.get(), qinv.get(), p.get(), ctx.get()) != 1 ||
      BN_mul(h.get(), h.get(), q.get(), ctx.get()) != 1 ||
      BN_add(m1.get(), m2.get(), h.get()) != 1) {
    return false;
  }
  return to_fixed(m1.get(), len, out);
}

bool rsa_public(const Bytes &n, const Bytes &e, std::span<const uint8_t> in, Bytes &out) {
  detail::BnCtxPtr ctx(BN_CTX_new());
  BnPtr bn = bn_of(n), be = bn_of(e), x = detail::bn_from(in.data(), in.size()),
        r = detail::bn_new();
  if (!ctx || !bn || !be || !x || !r) return false;
  if (BN_is_odd(bn.get()) == 0 || BN_is_one(bn.get()) || BN_is_zero(be.get())) return false;
  if (BN_cmp(x.get(), bn.get()) >= 0) return false;
  const size_t len = static_cast<size_t>(BN_num_bytes(bn.get()));
  if (BN_mod_exp(r.get(), x.get(), be.get(), bn.get(), ctx.get()) != 1) return false;
  return to_fixed(r.get(), len, out);
}

}  // namespace keysim::cc
