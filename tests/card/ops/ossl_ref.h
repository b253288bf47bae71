// OpenSSL as the independent side of the virtual-key tests.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <vector>

namespace ref {

using Bytes = std::vector<std::uint8_t>;

// SM4 ECB (iv empty) or CBC, no padding.
Bytes Sm4(bool encrypt, const Bytes &key, const Bytes &iv, const Bytes &in);
Bytes Random(std::size_t n);

// RSA keys (the caller frees them with EVP_PKEY_free).
EVP_PKEY *RsaGenerate(int bits);
EVP_PKEY *RsaPublic(const Bytes &n, const Bytes &e);
// n and e of a key, big-endian at their natural widths (e as 4 bytes).
void RsaParts(EVP_PKEY *key, Bytes &n, Bytes &e);
Bytes RsaDer(EVP_PKEY *key);  // PKCS#1 RSAPrivateKey
// PKCS#1 v1.5 type 1 over the raw data, and recovery of it.
Bytes RsaSignRaw(EVP_PKEY *key, const Bytes &data);
bool RsaVerifyRaw(EVP_PKEY *key, const Bytes &data, const Bytes &signature);
Bytes RsaEncrypt(EVP_PKEY *key, const Bytes &m);  // type 2
Bytes RsaDecrypt(EVP_PKEY *key, const Bytes &c);
Bytes RsaRawPublic(EVP_PKEY *key, const Bytes &block);

// SM2 keys: a public key from x || y, a key pair from d; the halves of a key.
EVP_PKEY *Sm2Generate();
EVP_PKEY *Sm2Public(const Bytes &xy);
Bytes Sm2PublicOf(EVP_PKEY *key);   // x || y
Bytes Sm2PrivateOf(EVP_PKEY *key);  // d, 32 bytes
// Signature r || s on a 32-byte e (no Z inside).
Bytes Sm2SignE(EVP_PKEY *key, const Bytes &e);
bool Sm2VerifyE(EVP_PKEY *key, const Bytes &e, const Bytes &rs);
// Ciphertexts C1 (x || y) C2 C3.
Bytes Sm2Encrypt(EVP_PKEY *key, const Bytes &m);
Bytes Sm2Decrypt(EVP_PKEY *key, const Bytes &c1c2c3);

}  // namespace ref
