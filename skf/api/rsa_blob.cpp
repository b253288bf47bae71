#include "skf/api/rsa_blob.h"

#include <cstring>

namespace {

constexpr std::size_t kWhole = MAX_RSA_MODULUS_LEN;
constexpr std::size_t kHalf = MAX_RSA_MODULUS_LEN / 2;

// Width of a full-size and of a half-size field's value for a key of `bits`.
std::size_t FullWidth(ULONG bits) { return bits == kRsa2048 ? kWhole : kWhole / 2; }
std::size_t HalfWidth(ULONG bits) { return bits == kRsa2048 ? kHalf : kHalf / 2; }

// Right-aligned blob field <-> left-aligned record field.
void FromField(const BYTE *field, std::size_t field_size, std::size_t width, std::uint8_t *out) {
  std::memcpy(out, field + field_size - width, width);
}
void ToField(const std::uint8_t *in, std::size_t width, BYTE *field, std::size_t field_size) {
  std::memcpy(field + field_size - width, in, width);
}

}  // namespace

void RsaPublicFromBlob(const RSAPUBLICKEYBLOB &blob, RsaPublicKeyRecord *key) {
  *key = {};
  key->BitLen = blob.BitLen;
  FromField(blob.Modulus, kWhole, FullWidth(blob.BitLen), key->Modulus);
  std::memcpy(key->PublicExponent, blob.PublicExponent, MAX_RSA_EXPONENT_LEN);
}

void RsaKeyFromBlob(const RSAPRIVATEKEYBLOB &blob, RsaKeyRecord *key) {
  *key = {};
  key->BitLen = blob.BitLen;
  const std::size_t full = FullWidth(blob.BitLen);
  const std::size_t half = HalfWidth(blob.BitLen);
  FromField(blob.Modulus, kWhole, full, key->Modulus);
  std::memcpy(key->PublicExponent, blob.PublicExponent, MAX_RSA_EXPONENT_LEN);
  FromField(blob.PrivateExponent, kWhole, full, key->PrivateExponent);
  FromField(blob.Prime1, kHalf, half, key->Prime1);
  FromField(blob.Prime2, kHalf, half, key->Prime2);
  FromField(blob.Prime1Exponent, kHalf, half, key->Prime1Exponent);
  FromField(blob.Prime2Exponent, kHalf, half, key->Prime2Exponent);
  FromField(blob.Coefficient, kHalf, half, key->Coefficient);
}

void RsaPublicToBlob(const RsaPublicKeyRecord &key, ULONG bits, RSAPUBLICKEYBLOB *blob) {
  blob->AlgID = SGD_RSA;
  blob->BitLen = bits;
  ToField(key.Modulus, FullWidth(bits), blob->Modulus, kWhole);
  std::memcpy(blob->PublicExponent, key.PublicExponent, MAX_RSA_EXPONENT_LEN);
}

void RsaKeyToBlob(const RsaKeyRecord &key, ULONG bits, RSAPRIVATEKEYBLOB *blob) {
  blob->AlgID = SGD_RSA;
  blob->BitLen = bits;
  const std::size_t full = FullWidth(bits);
  const std::size_t half = HalfWidth(bits);
  ToField(key.Modulus, full, blob->Modulus, kWhole);
  std::memcpy(blob->PublicExponent, key.PublicExponent, MAX_RSA_EXPONENT_LEN);
  ToField(key.PrivateExponent, full, blob->PrivateExponent, kWhole);
  ToField(key.Prime1, half, blob->Prime1, kHalf);
  ToField(key.Prime2, half, blob->Prime2, kHalf);
  ToField(key.Prime1Exponent, half, blob->Prime1Exponent, kHalf);
  ToField(key.Prime2Exponent, half, blob->Prime2Exponent, kHalf);
  ToField(key.Coefficient, half, blob->Coefficient, kHalf);
}
