// The few DER and PEM encodings the OpenSSL command line needs to check the key's signatures:
// public keys as SubjectPublicKeyInfo in PEM, an SM2 signature as the DER pair of integers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "skf.h"

using Bytes = std::vector<std::uint8_t>;

// SubjectPublicKeyInfo of an SM2 key (id-ecPublicKey on the SM2 curve), PEM text.
std::string Sm2PublicKeyPem(const ECCPUBLICKEYBLOB &blob);
// SubjectPublicKeyInfo of an RSA key (rsaEncryption), PEM text. Empty for a BitLen other than
// 1024 or 2048.
std::string RsaPublicKeyPem(const RSAPUBLICKEYBLOB &blob);
// SEQUENCE { INTEGER r, INTEGER s } from the 256-bit halves of the blob.
Bytes Sm2SignatureDer(const ECCSIGNATUREBLOB &signature);
// DigestInfo of a SHA-256 digest (what PKCS#1 v1.5 signatures carry).
Bytes Sha256DigestInfo(const std::uint8_t digest[32]);
