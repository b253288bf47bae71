// OpenSSL as the independent side of the key tests: SM2 and RSA keys, signatures and
// ciphertexts in the layouts the library's blobs carry, and SM4 for envelopes.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "skf.h"

namespace ossl {

using Bytes = std::vector<std::uint8_t>;

struct PkeyFree {
  void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

Bytes Hex(const std::string &hex);
Bytes Random(std::size_t n);

// SM2 on the recommended curve; points are x || y (64 bytes), signatures r || s.
Pkey Sm2Generate();
Pkey Sm2FromPrivate(const Bytes &d);
Pkey Sm2FromPublic(const Bytes &xy);
Bytes Sm2Public(EVP_PKEY *key);
Bytes Sm2Private(EVP_PKEY *key);
// e = SM3(Z || M) for the signer's ID and public key.
Bytes Sm2Digest(const Bytes &xy, const Bytes &id, const Bytes &message);
Bytes Sm2Sign(EVP_PKEY *key, const Bytes &id, const Bytes &message);
bool Sm2Verify(EVP_PKEY *key, const Bytes &id, const Bytes &message, const Bytes &rs);
// Ciphertexts in the card order C1 C2 C3.
Bytes Sm2Encrypt(EVP_PKEY *key, const Bytes &plain);
Bytes Sm2Decrypt(EVP_PKEY *key, const Bytes &c1c2c3);

// Blob <-> bytes of the SM2 structures. Blobs are made with each value in the last 32 bytes of
// its field; a field is read back as one 64-byte number, which must fit 256 bits.
ECCPUBLICKEYBLOB EccPublicBlob(const Bytes &xy);
Bytes EccPoint(const ECCPUBLICKEYBLOB &blob);
ECCPRIVATEKEYBLOB EccPrivateBlob(const Bytes &d);
Bytes EccSignature(const ECCSIGNATUREBLOB &blob);
ECCSIGNATUREBLOB EccSignatureBlob(const Bytes &rs);
// An ECCCIPHERBLOB with room for its C2, from and to C1 C2 C3.
Bytes EccCipherBlob(const Bytes &c1c2c3);
Bytes EccCardCipher(const ECCCIPHERBLOB *blob);

// An enveloped SM2 pair: `pair`'s private key under a fresh SM4 key (ECB, no padding; the long
// form puts 32 random bytes before d), that key wrapped under `sign_xy`. The blob lives in
// `storage`.
ENVELOPEDKEYBLOB *Envelope(Bytes &storage, const Bytes &sign_xy, EVP_PKEY *pair, bool long_form,
                           ULONG alg);

// RSA; raw numbers big-endian.
Pkey RsaGenerate(int bits);
RSAPUBLICKEYBLOB RsaPublicBlob(EVP_PKEY *key);
RSAPRIVATEKEYBLOB RsaPrivateBlob(EVP_PKEY *key);
Pkey RsaFromPublicBlob(const RSAPUBLICKEYBLOB &blob);
Bytes RsaSignRaw(EVP_PKEY *key, const Bytes &data);  // PKCS#1 v1.5 type 1, no DigestInfo
bool RsaVerifyRaw(EVP_PKEY *key, const Bytes &data, const Bytes &signature);
Bytes RsaEncrypt(EVP_PKEY *key, const Bytes &data);  // PKCS#1 v1.5 type 2
Bytes RsaDecrypt(EVP_PKEY *key, const Bytes &cipher);
Bytes RsaRaw(EVP_PKEY *key, const Bytes &in, bool private_op);  // no padding
Bytes RsaPrivateDer(EVP_PKEY *key);                             // RSAPrivateKey

// SM4 and two-key triple DES in ECB mode; `pad` adds or removes PKCS#7 padding.
Bytes Sm4Ecb(const Bytes &key, const Bytes &data, bool encrypt, bool pad);
Bytes Des2Ecb(const Bytes &key, const Bytes &data, bool encrypt, bool pad);

}  // namespace ossl
