// X.509 certificates for provisioned key pairs, issued by a throw-away test CA with OpenSSL.
#include "certificates.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace keysim::provision {

namespace {

struct Free {
  void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
  void operator()(EVP_PKEY_CTX *p) const { EVP_PKEY_CTX_free(p); }
  void operator()(X509 *p) const { X509_free(p); }
  void operator()(OSSL_PARAM_BLD *p) const { OSSL_PARAM_BLD_free(p); }
  void operator()(OSSL_PARAM *p) const { OSSL_PARAM_free(p); }
  void operator()(BIGNUM *p) const { BN_free(p); }
  void operator()(X509_EXTENSION *p) const { X509_EXTENSION_free(p); }
};
template <typename T>
using Own = std::unique_ptr<T, Free>;

constexpr long kValidSeconds = 10L * 365 * 24 * 3600;

// An OpenSSL public key from the card's public key bytes.
Own<EVP_PKEY> public_key(const PublicKey &pub) {
  Own<OSSL_PARAM_BLD> bld(OSSL_PARAM_BLD_new());
  if (!bld) return nullptr;
  Own<BIGNUM> n, e;
  Bytes point;
  if (pub.sm2) {
    point.push_back(0x04);
    point.insert(point.end(), pub.sm2_xy.begin(), pub.sm2_xy.end());
    if (!OSSL_PARAM_BLD_push_utf8_string(bld.get(), OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0) ||
        !OSSL_PARAM_BLD_push_octet_string(bld.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(),
                                          point.size()))
      return nullptr;
  } else {
    n.reset(BN_bin2bn(pub.rsa_n.data(), static_cast<int>(pub.rsa_n.size()), nullptr));
    e.reset(BN_bin2bn(pub.rsa_e.data(), static_cast<int>(pub.rsa_e.size()), nullptr));
    if (!n || !e || !OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) ||
        !OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_E, e.get()))
      return nullptr;
  }
  Own<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(bld.get()));
  Own<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_name(nullptr, pub.sm2 ? "SM2" : "RSA", nullptr));
  EVP_PKEY *k = nullptr;
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
      EVP_PKEY_fromdata(ctx.get(), &k, EVP_PKEY_PUBLIC_KEY, params.get()) != 1)
    return nullptr;
  return Own<EVP_PKEY>(k);
}

bool add_name(X509_NAME *name, const std::string &cn) {
  return X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char *>("keysim"), -1, -1,
                                    0) == 1 &&
         X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char *>(cn.c_str()), -1, -1,
                                    0) == 1;
}

}  // namespace

struct Issuer::Keys {
  Own<EVP_PKEY> sm2, rsa;
};

Issuer::Issuer() : keys_(new Keys) {}
Issuer::~Issuer() = default;

bool Issuer::certificate(const PublicKey &pub, const std::string &cn, bool signing, Bytes &der,
                         std::string *err) {
  auto fail = [&](const char *what) {
    if (err) *err = std::string("certificate for ") + cn + ": " + what;
    return false;
  };
  Own<EVP_PKEY> &ca = pub.sm2 ? keys_->sm2 : keys_->rsa;
  if (!ca) {
    ca.reset(pub.sm2 ? EVP_PKEY_Q_keygen(nullptr, nullptr, "SM2")
                     : EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t{2048}));
    if (!ca) return fail("no issuer key");
  }
  Own<EVP_PKEY> subject_key = public_key(pub);
  if (!subject_key) return fail("bad public key");
  Own<X509> x(X509_new());
  Own<BIGNUM> serial(BN_new());
  if (!x || !serial || X509_set_version(x.get(), 2) != 1 ||
      BN_rand(serial.get(), 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) != 1 ||
      !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(x.get())) ||
      !X509_gmtime_adj(X509_getm_notBefore(x.get()), -3600) ||
      !X509_gmtime_adj(X509_getm_notAfter(x.get()), kValidSeconds) ||
      !add_name(X509_get_subject_name(x.get()), cn) ||
      !add_name(X509_get_issuer_name(x.get()),
                pub.sm2 ? "keysim SM2 test CA" : "keysim RSA test CA") ||
      X509_set_pubkey(x.get(), subject_key.get()) != 1)
    return fail("cannot fill the certificate");
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, x.get(), x.get(), nullptr, nullptr, 0);
  const char *usage = signing ? "critical,digitalSignature,nonRepudiation"
                              : "critical,keyEncipherment,dataEncipherment,keyAgreement";
  Own<X509_EXTENSION> ext(X509V3_EXT_conf_nid(nullptr, &ctx, NID_key_usage, usage));
  if (!ext || X509_add_ext(x.get(), ext.get(), -1) != 1) return fail("cannot add key usage");
  if (X509_sign(x.get(), ca.get(), pub.sm2 ? EVP_sm3() : EVP_sha256()) <= 0)
    return fail("cannot sign");
  unsigned char *out = nullptr;
  const int len = i2d_X509(x.get(), &out);
  if (len <= 0) return fail("cannot encode");
  der.assign(out, out + len);
  OPENSSL_free(out);
  return true;
}

}  // namespace keysim::provision
