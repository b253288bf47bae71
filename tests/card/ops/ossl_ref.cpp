#include "ossl_ref.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstring>

namespace ref {

namespace {

Bytes Be(const BIGNUM *bn, std::size_t width) {
  Bytes out(width);
  BN_bn2binpad(bn, out.data(), static_cast<int>(width));
  return out;
}

EVP_PKEY *FromData(const char *type, OSSL_PARAM_BLD *bld, int selection) {
  OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(bld);
  EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr);
  EVP_PKEY *key = nullptr;
  if (ctx && EVP_PKEY_fromdata_init(ctx) == 1) EVP_PKEY_fromdata(ctx, &key, selection, params);
  EVP_PKEY_CTX_free(ctx);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  return key;
}

template <typename Init, typename Run>
Bytes Pkey(EVP_PKEY *key, Init init, Run run, const Bytes &in, int padding) {
  EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key, nullptr);
  Bytes out;
  std::size_t n = 0;
  if (ctx && init(ctx) == 1 && (padding < 0 || EVP_PKEY_CTX_set_rsa_padding(ctx, padding) == 1) &&
      run(ctx, nullptr, &n, in.data(), in.size()) == 1) {
    out.resize(n);
    if (run(ctx, out.data(), &n, in.data(), in.size()) == 1) {
      out.resize(n);
    } else {
      out.clear();
    }
  }
  EVP_PKEY_CTX_free(ctx);
  return out;
}

// DER: tag, length, contents.
void PutDer(Bytes &out, std::uint8_t tag, const Bytes &content) {
  out.push_back(tag);
  const std::size_t n = content.size();
  if (n < 0x80) {
    out.push_back(static_cast<std::uint8_t>(n));
  } else if (n < 0x100) {
    out.insert(out.end(), {0x81, static_cast<std::uint8_t>(n)});
  } else {
    out.insert(out.end(), {0x82, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
  }
  out.insert(out.end(), content.begin(), content.end());
}

Bytes DerInteger(const std::uint8_t *be, std::size_t n) {
  std::size_t skip = 0;
  while (skip + 1 < n && be[skip] == 0) ++skip;
  Bytes v(be + skip, be + n);
  if (v[0] & 0x80) v.insert(v.begin(), 0x00);
  Bytes out;
  PutDer(out, 0x02, v);
  return out;
}

bool GetDer(const Bytes &in, std::size_t &at, std::uint8_t tag, Bytes &content) {
  if (at + 2 > in.size() || in[at] != tag) return false;
  std::size_t n = in[at + 1];
  at += 2;
  if (n & 0x80) {
    const std::size_t count = n & 0x7F;
    n = 0;
    for (std::size_t i = 0; i < count && at < in.size(); ++i) n = n << 8 | in[at++];
  }
  if (at + n > in.size()) return false;
  content.assign(in.begin() + static_cast<long>(at), in.begin() + static_cast<long>(at + n));
  at += n;
  return true;
}

Bytes Fixed32(const Bytes &integer) {
  Bytes out(32, 0);
  const std::size_t n = integer.size() > 32 ? 32 : integer.size();
  std::memcpy(out.data() + 32 - n, integer.data() + integer.size() - n, n);
  return out;
}

}  // namespace

Bytes Sm4(bool encrypt, const Bytes &key, const Bytes &iv, const Bytes &in) {
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  const EVP_CIPHER *cipher = iv.empty() ? EVP_sm4_ecb() : EVP_sm4_cbc();
  Bytes out(in.size() + 16);
  int n = 0, m = 0;
  EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv.empty() ? nullptr : iv.data(),
                    encrypt ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
  EVP_CipherFinal_ex(ctx, out.data() + n, &m);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<std::size_t>(n + m));
  return out;
}

Bytes Random(std::size_t n) {
  Bytes out(n);
  RAND_bytes(out.data(), static_cast<int>(n));
  return out;
}

EVP_PKEY *RsaGenerate(int bits) { return EVP_RSA_gen(static_cast<unsigned>(bits)); }

EVP_PKEY *RsaPublic(const Bytes &n, const Bytes &e) {
  OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
  BIGNUM *bn = BN_bin2bn(n.data(), static_cast<int>(n.size()), nullptr);
  BIGNUM *be = BN_bin2bn(e.data(), static_cast<int>(e.size()), nullptr);
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, bn);
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, be);
  EVP_PKEY *key = FromData("RSA", bld, EVP_PKEY_PUBLIC_KEY);
  BN_free(bn);
  BN_free(be);
  return key;
}

void RsaParts(EVP_PKEY *key, Bytes &n, Bytes &e) {
  BIGNUM *bn = nullptr, *be = nullptr;
  EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &bn);
  EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &be);
  n = Be(bn, static_cast<std::size_t>(BN_num_bytes(bn)));
  e = Be(be, 4);
  BN_free(bn);
  BN_free(be);
}

Bytes RsaDer(EVP_PKEY *key) {
  unsigned char *der = nullptr;
  const int n = i2d_PrivateKey(key, &der);
  Bytes out(der, der + (n > 0 ? n : 0));
  OPENSSL_free(der);
  return out;
}

Bytes RsaSignRaw(EVP_PKEY *key, const Bytes &data) {
  return Pkey(key, EVP_PKEY_sign_init, EVP_PKEY_sign, data, RSA_PKCS1_PADDING);
}

bool RsaVerifyRaw(EVP_PKEY *key, const Bytes &data, const Bytes &signature) {
  return Pkey(key, EVP_PKEY_verify_recover_init, EVP_PKEY_verify_recover, signature,
              RSA_PKCS1_PADDING) == data;
}

Bytes RsaEncrypt(EVP_PKEY *key, const Bytes &m) {
  return Pkey(key, EVP_PKEY_encrypt_init, EVP_PKEY_encrypt, m, RSA_PKCS1_PADDING);
}

Bytes RsaDecrypt(EVP_PKEY *key, const Bytes &c) {
  return Pkey(key, EVP_PKEY_decrypt_init, EVP_PKEY_decrypt, c, RSA_PKCS1_PADDING);
}

Bytes RsaRawPublic(EVP_PKEY *key, const Bytes &block) {
  return Pkey(key, EVP_PKEY_encrypt_init, EVP_PKEY_encrypt, block, RSA_NO_PADDING);
}

EVP_PKEY *Sm2Generate() { return EVP_PKEY_Q_keygen(nullptr, nullptr, "SM2"); }

EVP_PKEY *Sm2Public(const Bytes &xy) {
  Bytes point = {0x04};
  point.insert(point.end(), xy.begin(), xy.end());
  OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
  OSSL_PARAM_BLD_push_utf8_string(bld, OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0);
  OSSL_PARAM_BLD_push_octet_string(bld, OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size());
  return FromData("SM2", bld, EVP_PKEY_PUBLIC_KEY);
}

Bytes Sm2PublicOf(EVP_PKEY *key) {
  std::uint8_t point[65];
  std::size_t n = 0;
  EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &n);
  return Bytes(point + 1, point + 65);
}

Bytes Sm2PrivateOf(EVP_PKEY *key) {
  BIGNUM *d = nullptr;
  EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_PRIV_KEY, &d);
  Bytes out = Be(d, 32);
  BN_clear_free(d);
  return out;
}

Bytes Sm2SignE(EVP_PKEY *key, const Bytes &e) {
  const Bytes der = Pkey(key, EVP_PKEY_sign_init, EVP_PKEY_sign, e, -1);
  std::size_t at = 0;
  Bytes seq, r, s;
  if (!GetDer(der, at, 0x30, seq)) return {};
  at = 0;
  if (!GetDer(seq, at, 0x02, r) || !GetDer(seq, at, 0x02, s)) return {};
  Bytes rs = Fixed32(r);
  const Bytes s32 = Fixed32(s);
  rs.insert(rs.end(), s32.begin(), s32.end());
  return rs;
}

bool Sm2VerifyE(EVP_PKEY *key, const Bytes &e, const Bytes &rs) {
  if (rs.size() != 64) return false;
  Bytes body = DerInteger(rs.data(), 32);
  const Bytes s = DerInteger(rs.data() + 32, 32);
  body.insert(body.end(), s.begin(), s.end());
  Bytes der;
  PutDer(der, 0x30, body);
  EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key, nullptr);
  const bool ok = ctx && EVP_PKEY_verify_init(ctx) == 1 &&
                  EVP_PKEY_verify(ctx, der.data(), der.size(), e.data(), e.size()) == 1;
  EVP_PKEY_CTX_free(ctx);
  return ok;
}

Bytes Sm2Encrypt(EVP_PKEY *key, const Bytes &m) {
  const Bytes der = Pkey(key, EVP_PKEY_encrypt_init, EVP_PKEY_encrypt, m, -1);
  std::size_t at = 0;
  Bytes seq, x, y, c3, c2;
  if (!GetDer(der, at, 0x30, seq)) return {};
  at = 0;
  if (!GetDer(seq, at, 0x02, x) || !GetDer(seq, at, 0x02, y) || !GetDer(seq, at, 0x04, c3) ||
      !GetDer(seq, at, 0x04, c2)) {
    return {};
  }
  Bytes out = Fixed32(x);
  const Bytes y32 = Fixed32(y);
  out.insert(out.end(), y32.begin(), y32.end());
  out.insert(out.end(), c2.begin(), c2.end());
  out.insert(out.end(), c3.begin(), c3.end());
  return out;
}

Bytes Sm2Decrypt(EVP_PKEY *key, const Bytes &c1c2c3) {
  if (c1c2c3.size() < 96) return {};
  Bytes body = DerInteger(c1c2c3.data(), 32);
  const Bytes y = DerInteger(c1c2c3.data() + 32, 32);
  body.insert(body.end(), y.begin(), y.end());
  PutDer(body, 0x04, Bytes(c1c2c3.end() - 32, c1c2c3.end()));
  PutDer(body, 0x04, Bytes(c1c2c3.begin() + 64, c1c2c3.end() - 32));
  Bytes der;
  PutDer(der, 0x30, body);
  return Pkey(key, EVP_PKEY_decrypt_init, EVP_PKEY_decrypt, der, -1);
}

}  // namespace ref
