#include "openssl_side.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace ossl {

namespace {

struct BnFree {
  void operator()(BIGNUM *b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
struct CtxFree {
  void operator()(EVP_PKEY_CTX *c) const { EVP_PKEY_CTX_free(c); }
};
using Ctx = std::unique_ptr<EVP_PKEY_CTX, CtxFree>;

void Check(bool ok, const char *what) {
  if (!ok) throw std::runtime_error(what);
}

Bytes BnBytes(const BIGNUM *bn, std::size_t width) {
  Bytes out(width);
  Check(BN_bn2binpad(bn, out.data(), static_cast<int>(width)) == static_cast<int>(width), "bn");
  return out;
}

Bn BnOf(const std::uint8_t *bytes, std::size_t n) {
  return Bn(BN_bin2bn(bytes, static_cast<int>(n), nullptr));
}

Pkey FromData(const char *type, OSSL_PARAM_BLD *bld, int selection) {
  OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(bld);
  Ctx ctx(EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr));
  EVP_PKEY *key = nullptr;
  Check(ctx && params && EVP_PKEY_fromdata_init(ctx.get()) == 1 &&
            EVP_PKEY_fromdata(ctx.get(), &key, selection, params) == 1,
        "fromdata");
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  return Pkey(key);
}

Pkey Sm2Key(const Bytes *d, const Bytes &xy) {
  OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
  Bytes pub = {0x04};
  pub.insert(pub.end(), xy.begin(), xy.end());
  OSSL_PARAM_BLD_push_utf8_string(bld, OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0);
  OSSL_PARAM_BLD_push_octet_string(bld, OSSL_PKEY_PARAM_PUB_KEY, pub.data(), pub.size());
  Bn priv;
  if (d) {
    priv = BnOf(d->data(), d->size());
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_PRIV_KEY, priv.get());
  }
  return FromData("SM2", bld, d ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY);
}

// DER of the SM2 ciphertext: SEQUENCE { INTEGER x, INTEGER y, OCTET STRING C3, OCTET STRING C2 }.
void PutLength(Bytes &out, std::size_t n) {
  if (n < 0x80) {
    out.push_back(static_cast<std::uint8_t>(n));
  } else if (n < 0x100) {
    out.insert(out.end(), {0x81, static_cast<std::uint8_t>(n)});
  } else {
    out.insert(out.end(), {0x82, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
  }
}
void PutItem(Bytes &out, std::uint8_t tag, Bytes value) {
  if (tag == 0x02) {
    while (value.size() > 1 && value[0] == 0 && !(value[1] & 0x80)) value.erase(value.begin());
    if (value[0] & 0x80) value.insert(value.begin(), 0);
  }
  out.push_back(tag);
  PutLength(out, value.size());
  out.insert(out.end(), value.begin(), value.end());
}
Bytes GetItem(const Bytes &in, std::size_t &at, std::uint8_t tag) {
  Check(at < in.size() && in[at] == tag, "der tag");
  ++at;
  std::size_t n = in.at(at++);
  if (n & 0x80) {
    const std::size_t count = n & 0x7F;
    n = 0;
    for (std::size_t i = 0; i < count; ++i) n = n << 8 | in.at(at++);
  }
  Check(at + n <= in.size(), "der length");
  Bytes value(in.begin() + static_cast<long>(at), in.begin() + static_cast<long>(at + n));
  at += n;
  return value;
}
Bytes Fixed32(Bytes v) {
  while (v.size() > 32 && v[0] == 0) v.erase(v.begin());
  Bytes out(32 - v.size(), 0);
  out.insert(out.end(), v.begin(), v.end());
  return out;
}

Bytes PkeyCrypt(EVP_PKEY *key, const Bytes &in, bool encrypt, int padding) {
  Ctx ctx(EVP_PKEY_CTX_new(key, nullptr));
  Check(ctx && (encrypt ? EVP_PKEY_encrypt_init(ctx.get()) : EVP_PKEY_decrypt_init(ctx.get())) == 1,
        "crypt init");
  if (padding >= 0) Check(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), padding) == 1, "padding");
  std::size_t n = 0;
  auto run = [&](std::uint8_t *out) {
    return encrypt ? EVP_PKEY_encrypt(ctx.get(), out, &n, in.data(), in.size())
                   : EVP_PKEY_decrypt(ctx.get(), out, &n, in.data(), in.size());
  };
  Check(run(nullptr) == 1, "crypt size");
  Bytes out(n);
  if (run(out.data()) != 1) return {};
  out.resize(n);
  return out;
}

Bytes ParamBytes(EVP_PKEY *key, const char *name, std::size_t width) {
  BIGNUM *bn = nullptr;
  Check(EVP_PKEY_get_bn_param(key, name, &bn) == 1, name);
  Bn owned(bn);
  return BnBytes(bn, width);
}

void RightAligned(const Bytes &value, BYTE *field, std::size_t size) {
  std::memcpy(field + size - value.size(), value.data(), value.size());
}

}  // namespace

Bytes Hex(const std::string &hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

Bytes Random(std::size_t n) {
  Bytes out(n);
  Check(RAND_bytes(out.data(), static_cast<int>(n)) == 1, "rand");
  return out;
}

Pkey Sm2Generate() { return Pkey(EVP_PKEY_Q_keygen(nullptr, nullptr, "SM2")); }

Pkey Sm2FromPrivate(const Bytes &d) {
  EC_GROUP *group = EC_GROUP_new_by_curve_name(NID_sm2);
  EC_POINT *point = EC_POINT_new(group);
  Bn scalar = BnOf(d.data(), d.size());
  Bn x(BN_new()), y(BN_new());
  Check(EC_POINT_mul(group, point, scalar.get(), nullptr, nullptr, nullptr) == 1 &&
            EC_POINT_get_affine_coordinates(group, point, x.get(), y.get(), nullptr) == 1,
        "sm2 point");
  Bytes xy = BnBytes(x.get(), 32);
  const Bytes yb = BnBytes(y.get(), 32);
  xy.insert(xy.end(), yb.begin(), yb.end());
  EC_POINT_free(point);
  EC_GROUP_free(group);
  return Sm2Key(&d, xy);
}

Pkey Sm2FromPublic(const Bytes &xy) { return Sm2Key(nullptr, xy); }

Bytes Sm2Public(EVP_PKEY *key) {
  std::uint8_t pub[65];
  std::size_t n = 0;
  Check(EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, pub, sizeof pub, &n) == 1 &&
            n == 65,
        "sm2 public");
  return Bytes(pub + 1, pub + 65);
}

Bytes Sm2Private(EVP_PKEY *key) { return ParamBytes(key, OSSL_PKEY_PARAM_PRIV_KEY, 32); }

Bytes Sm2Digest(const Bytes &xy, const Bytes &id, const Bytes &message) {
  EC_GROUP *group = EC_GROUP_new_by_curve_name(NID_sm2);
  Bn p(BN_new()), a(BN_new()), b(BN_new()), gx(BN_new()), gy(BN_new());
  Check(EC_GROUP_get_curve(group, p.get(), a.get(), b.get(), nullptr) == 1 &&
            EC_POINT_get_affine_coordinates(group, EC_GROUP_get0_generator(group), gx.get(),
                                            gy.get(), nullptr) == 1,
        "sm2 curve");
  EC_GROUP_free(group);
  Bytes z_in = {static_cast<std::uint8_t>(id.size() * 8 >> 8),
                static_cast<std::uint8_t>(id.size() * 8)};
  z_in.insert(z_in.end(), id.begin(), id.end());
  for (const BIGNUM *v : {a.get(), b.get(), gx.get(), gy.get()}) {
    const Bytes bytes = BnBytes(v, 32);
    z_in.insert(z_in.end(), bytes.begin(), bytes.end());
  }
  z_in.insert(z_in.end(), xy.begin(), xy.end());
  auto sm3 = [](const Bytes &in) {
    Bytes out(32);
    unsigned n = 0;
    Check(EVP_Digest(in.data(), in.size(), out.data(), &n, EVP_sm3(), nullptr) == 1, "sm3");
    return out;
  };
  Bytes e_in = sm3(z_in);
  e_in.insert(e_in.end(), message.begin(), message.end());
  return sm3(e_in);
}

Bytes Sm2Sign(EVP_PKEY *key, const Bytes &id, const Bytes &message) {
  EVP_MD_CTX *md = EVP_MD_CTX_new();
  Ctx pctx(EVP_PKEY_CTX_new(key, nullptr));
  Check(EVP_PKEY_CTX_set1_id(pctx.get(), id.data(), id.size()) == 1, "sm2 id");
  EVP_MD_CTX_set_pkey_ctx(md, pctx.get());
  std::uint8_t der[80];
  std::size_t n = sizeof der;
  Check(EVP_DigestSignInit(md, nullptr, EVP_sm3(), nullptr, key) == 1 &&
            EVP_DigestSign(md, der, &n, message.data(), message.size()) == 1,
        "sm2 sign");
  EVP_MD_CTX_free(md);
  std::size_t at = 0;
  const Bytes der_bytes(der, der + n);
  Bytes seq = GetItem(der_bytes, at, 0x30);
  at = 0;
  Bytes rs = Fixed32(GetItem(seq, at, 0x02));
  const Bytes s = Fixed32(GetItem(seq, at, 0x02));
  rs.insert(rs.end(), s.begin(), s.end());
  return rs;
}

bool Sm2Verify(EVP_PKEY *key, const Bytes &id, const Bytes &message, const Bytes &rs) {
  Bytes body;
  PutItem(body, 0x02, Bytes(rs.begin(), rs.begin() + 32));
  PutItem(body, 0x02, Bytes(rs.begin() + 32, rs.end()));
  Bytes der;
  PutItem(der, 0x30, body);
  EVP_MD_CTX *md = EVP_MD_CTX_new();
  Ctx pctx(EVP_PKEY_CTX_new(key, nullptr));
  Check(EVP_PKEY_CTX_set1_id(pctx.get(), id.data(), id.size()) == 1, "sm2 id");
  EVP_MD_CTX_set_pkey_ctx(md, pctx.get());
  const bool ok = EVP_DigestVerifyInit(md, nullptr, EVP_sm3(), nullptr, key) == 1 &&
                  EVP_DigestVerify(md, der.data(), der.size(), message.data(), message.size()) == 1;
  EVP_MD_CTX_free(md);
  return ok;
}

Bytes Sm2Encrypt(EVP_PKEY *key, const Bytes &plain) {
  const Bytes der = PkeyCrypt(key, plain, true, -1);
  std::size_t at = 0;
  const Bytes seq = GetItem(der, at, 0x30);
  at = 0;
  Bytes out = Fixed32(GetItem(seq, at, 0x02));
  const Bytes y = Fixed32(GetItem(seq, at, 0x02));
  const Bytes c3 = GetItem(seq, at, 0x04);
  const Bytes c2 = GetItem(seq, at, 0x04);
  out.insert(out.end(), y.begin(), y.end());
  out.insert(out.end(), c2.begin(), c2.end());
  out.insert(out.end(), c3.begin(), c3.end());
  return out;
}

Bytes Sm2Decrypt(EVP_PKEY *key, const Bytes &c1c2c3) {
  const std::size_t c2 = c1c2c3.size() - 96;
  Bytes body;
  PutItem(body, 0x02, Bytes(c1c2c3.begin(), c1c2c3.begin() + 32));
  PutItem(body, 0x02, Bytes(c1c2c3.begin() + 32, c1c2c3.begin() + 64));
  PutItem(body, 0x04, Bytes(c1c2c3.end() - 32, c1c2c3.end()));
  PutItem(body, 0x04, Bytes(c1c2c3.begin() + 64, c1c2c3.begin() + 64 + static_cast<long>(c2)));
  Bytes der;
  PutItem(der, 0x30, body);
  return PkeyCrypt(key, der, false, -1);
}

ECCPUBLICKEYBLOB EccPublicBlob(const Bytes &xy) {
  ECCPUBLICKEYBLOB blob{};
  blob.BitLen = 256;
  std::memcpy(blob.XCoordinate + 32, xy.data(), 32);
  std::memcpy(blob.YCoordinate + 32, xy.data() + 32, 32);
  return blob;
}

// A 64-byte field read as one number, as hosts read it: its 32-byte value, or an exception
// when the number does not fit 256 bits (leading bytes the library left as they were).
Bytes FieldValue(const std::uint8_t field[64]) {
  const Bn number = BnOf(field, 64);
  Check(number && BN_num_bytes(number.get()) <= 32, "SM2 field wider than 256 bits");
  return BnBytes(number.get(), 32);
}

Bytes EccPoint(const ECCPUBLICKEYBLOB &blob) {
  Bytes xy = FieldValue(blob.XCoordinate);
  const Bytes y = FieldValue(blob.YCoordinate);
  xy.insert(xy.end(), y.begin(), y.end());
  return xy;
}

ECCPRIVATEKEYBLOB EccPrivateBlob(const Bytes &d) {
  ECCPRIVATEKEYBLOB blob{};
  blob.BitLen = 256;
  std::memcpy(blob.PrivateKey + 32, d.data(), 32);
  return blob;
}

Bytes EccSignature(const ECCSIGNATUREBLOB &blob) {
  Bytes rs = FieldValue(blob.r);
  const Bytes s = FieldValue(blob.s);
  rs.insert(rs.end(), s.begin(), s.end());
  return rs;
}

ECCSIGNATUREBLOB EccSignatureBlob(const Bytes &rs) {
  ECCSIGNATUREBLOB blob{};
  std::memcpy(blob.r + 32, rs.data(), 32);
  std::memcpy(blob.s + 32, rs.data() + 32, 32);
  return blob;
}

Bytes EccCipherBlob(const Bytes &c1c2c3) {
  if (c1c2c3.size() < 96) return Bytes(sizeof(ECCCIPHERBLOB), 0);
  const std::size_t c2 = c1c2c3.size() - 96;
  ECCCIPHERBLOB head{};
  std::copy_n(c1c2c3.begin(), 32, head.XCoordinate + 32);
  std::copy_n(c1c2c3.begin() + 32, 32, head.YCoordinate + 32);
  std::copy_n(c1c2c3.end() - 32, 32, head.HASH);
  head.CipherLen = static_cast<ULONG>(c2);
  const auto *start = reinterpret_cast<const std::uint8_t *>(&head);
  Bytes bytes(start, start + offsetof(ECCCIPHERBLOB, Cipher));
  bytes.insert(bytes.end(), c1c2c3.begin() + 64, c1c2c3.end() - 32);
  if (bytes.size() < sizeof head) bytes.resize(sizeof head, 0);
  return bytes;
}

Bytes EccCardCipher(const ECCCIPHERBLOB *blob) {
  Bytes out = FieldValue(blob->XCoordinate);
  const Bytes y = FieldValue(blob->YCoordinate);
  out.insert(out.end(), y.begin(), y.end());
  const auto *c2 = reinterpret_cast<const std::uint8_t *>(blob) + offsetof(ECCCIPHERBLOB, Cipher);
  out.insert(out.end(), c2, c2 + blob->CipherLen);
  out.insert(out.end(), blob->HASH, blob->HASH + 32);
  return out;
}

ENVELOPEDKEYBLOB *Envelope(Bytes &storage, const Bytes &sign_xy, EVP_PKEY *pair, bool long_form,
                           ULONG alg) {
  const Bytes sm4_key = Random(16);
  const Bytes d = Sm2Private(pair);
  Pkey sign = Sm2FromPublic(sign_xy);
  const Bytes wrapped = EccCipherBlob(Sm2Encrypt(sign.get(), sm4_key));
  storage.assign(sizeof(ENVELOPEDKEYBLOB) + 16, 0);
  auto *env = reinterpret_cast<ENVELOPEDKEYBLOB *>(storage.data());
  env->Version = 1;
  env->ulSymmAlgID = alg;
  env->ulBits = 256;
  Bytes plain = long_form ? Random(32) : Bytes{};
  plain.insert(plain.end(), d.begin(), d.end());
  const Bytes encrypted = Sm4Ecb(sm4_key, plain, true, false);
  std::memcpy(env->cbEncryptedPriKey + 64 - encrypted.size(), encrypted.data(), encrypted.size());
  env->PubKey = EccPublicBlob(Sm2Public(pair));
  std::memcpy(&env->ECCCipherBlob, wrapped.data(), wrapped.size());
  return env;
}

Pkey RsaGenerate(int bits) {
  return Pkey(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(bits)));
}

RSAPUBLICKEYBLOB RsaPublicBlob(EVP_PKEY *key) {
  const std::size_t k = static_cast<std::size_t>(EVP_PKEY_get_size(key));
  RSAPUBLICKEYBLOB blob{};
  blob.AlgID = SGD_RSA;
  blob.BitLen = static_cast<ULONG>(k * 8);
  RightAligned(ParamBytes(key, OSSL_PKEY_PARAM_RSA_N, k), blob.Modulus, sizeof blob.Modulus);
  RightAligned(ParamBytes(key, OSSL_PKEY_PARAM_RSA_E, 4), blob.PublicExponent, 4);
  return blob;
}

RSAPRIVATEKEYBLOB RsaPrivateBlob(EVP_PKEY *key) {
  const std::size_t k = static_cast<std::size_t>(EVP_PKEY_get_size(key));
  RSAPRIVATEKEYBLOB blob{};
  blob.AlgID = SGD_RSA;
  blob.BitLen = static_cast<ULONG>(k * 8);
  RightAligned(ParamBytes(key, OSSL_PKEY_PARAM_RSA_N, k), blob.Modulus, sizeof blob.Modulus);
  RightAligned(ParamBytes(key, OSSL_PKEY_PARAM_RSA_E, 4), blob.PublicExponent, 4);
  RightAligned(ParamBytes(key, OSSL_PKEY_PARAM_RSA_D, k), blob.PrivateExponent, 256);
  RightAligned(ParamBytes(key, OSSL_PKEY_PARAM_RSA_FACTOR1, k / 2), blob.Prime1, 128);
  RightAligned(ParamBytes(key, OSSL_PKEY_PARAM_RSA_FACTOR2, k / 2), blob.Prime2, 128);
  RightAligned(ParamBytes(key, OSSL_PKEY_PARAM_RSA_EXPONENT1, k / 2), blob.Prime1Exponent, 128);
  RightAligned(ParamBytes(key, OSSL_PKEY_PARAM_RSA_EXPONENT2, k / 2), blob.Prime2Exponent, 128);
  RightAligned(ParamBytes(key, OSSL_PKEY_PARAM_RSA_COEFFICIENT1, k / 2), blob.Coefficient, 128);
  return blob;
}

Pkey RsaFromPublicBlob(const RSAPUBLICKEYBLOB &blob) {
  const std::size_t k = blob.BitLen / 8;
  Bn n = BnOf(blob.Modulus + 256 - k, k);
  Bn e = BnOf(blob.PublicExponent, 4);
  OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n.get());
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e.get());
  return FromData("RSA", bld, EVP_PKEY_PUBLIC_KEY);
}

Bytes RsaSignRaw(EVP_PKEY *key, const Bytes &data) {
  Ctx ctx(EVP_PKEY_CTX_new(key, nullptr));
  std::size_t n = static_cast<std::size_t>(EVP_PKEY_get_size(key));
  Bytes out(n);
  Check(EVP_PKEY_sign_init(ctx.get()) == 1 &&
            EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1 &&
            EVP_PKEY_sign(ctx.get(), out.data(), &n, data.data(), data.size()) == 1,
        "rsa sign");
  out.resize(n);
  return out;
}

bool RsaVerifyRaw(EVP_PKEY *key, const Bytes &data, const Bytes &signature) {
  Ctx ctx(EVP_PKEY_CTX_new(key, nullptr));
  Bytes out(static_cast<std::size_t>(EVP_PKEY_get_size(key)));
  std::size_t n = out.size();
  if (EVP_PKEY_verify_recover_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
      EVP_PKEY_verify_recover(ctx.get(), out.data(), &n, signature.data(), signature.size()) != 1) {
    return false;
  }
  out.resize(n);
  return out == data;
}

Bytes RsaEncrypt(EVP_PKEY *key, const Bytes &data) {
  return PkeyCrypt(key, data, true, RSA_PKCS1_PADDING);
}
Bytes RsaDecrypt(EVP_PKEY *key, const Bytes &cipher) {
  return PkeyCrypt(key, cipher, false, RSA_PKCS1_PADDING);
}

Bytes RsaRaw(EVP_PKEY *key, const Bytes &in, bool private_op) {
  return PkeyCrypt(key, in, !private_op, RSA_NO_PADDING);
}

Bytes RsaPrivateDer(EVP_PKEY *key) {
  unsigned char *der = nullptr;
  const int n = i2d_PrivateKey(key, &der);
  Check(n > 0, "rsa der");
  Bytes out(der, der + n);
  OPENSSL_free(der);
  return out;
}

namespace {
Bytes Ecb(const EVP_CIPHER *cipher, const Bytes &key, const Bytes &data, bool encrypt, bool pad) {
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  Bytes out(data.size() + 16);
  int n = 0, tail = 0;
  Check(
      EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), nullptr, encrypt ? 1 : 0) == 1 &&
          EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0) == 1 &&
          EVP_CipherUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size())) == 1 &&
          EVP_CipherFinal_ex(ctx, out.data() + n, &tail) == 1,
      "sm4");
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<std::size_t>(n + tail));
  return out;
}

}  // namespace

Bytes Sm4Ecb(const Bytes &key, const Bytes &data, bool encrypt, bool pad) {
  return Ecb(EVP_sm4_ecb(), key, data, encrypt, pad);
}

Bytes Des2Ecb(const Bytes &key, const Bytes &data, bool encrypt, bool pad) {
  return Ecb(EVP_des_ede_ecb(), key, data, encrypt, pad);
}

}  // namespace ossl
