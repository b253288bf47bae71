#include "skf/card/key_blobs.h"

#include <cstddef>
#include <cstring>

#include "skf/card/op_results.h"

static_assert(sizeof(RSAPUBLICKEYBLOB) == 268);
static_assert(sizeof(ECCPUBLICKEYBLOB) == 132);
static_assert(sizeof(ECCSIGNATUREBLOB) == 128);
static_assert(offsetof(ECCCIPHERBLOB, CipherLen) == 160);
static_assert(offsetof(ECCCIPHERBLOB, Cipher) == 164);

namespace {

constexpr std::size_t kField = 64;
constexpr std::size_t kValue = 32;
constexpr std::size_t kSmallModulus = 128;
constexpr std::size_t kSmallHalf = 64;

// Copies a value between a blob field and a record field: whole for 2048 bits, else the
// blob's last `small` bytes and the record's first.
void ToRecord(const std::uint8_t *blob, std::size_t width, std::size_t small, bool large,
              std::uint8_t *record) {
  if (large) {
    std::memcpy(record, blob, width);
  } else {
    std::memcpy(record, blob + width - small, small);
  }
}

void ToBlob(const std::uint8_t *record, std::size_t width, std::size_t small, bool large,
            std::uint8_t *blob) {
  if (large) {
    std::memcpy(blob, record, width);
  } else {
    std::memcpy(blob + width - small, record, small);
  }
}

// A 32-byte SM2 value into its 64-byte blob field: the value last, zeros before it, so the
// field read as one number is the value whatever the caller's buffer held.
void PutEccValue(std::uint8_t *field, const std::uint8_t *value) {
  std::memset(field, 0, kField - kValue);
  std::memcpy(field + kField - kValue, value, kValue);
}

}  // namespace

void RsaPublicBlobToRecord(const RSAPUBLICKEYBLOB &blob, RsaPublicKeyRecord *record) {
  const bool large = blob.BitLen == kRsa2048;
  record->BitLen = blob.BitLen;
  ToRecord(blob.Modulus, kRsaMaxBytes, kSmallModulus, large, record->Modulus);
  std::memcpy(record->PublicExponent, blob.PublicExponent, kRsaExponentBytes);
}

void RsaPrivateBlobToRecord(const RSAPRIVATEKEYBLOB &blob, RsaKeyRecord *record) {
  const bool large = blob.BitLen == kRsa2048;
  record->BitLen = blob.BitLen;
  ToRecord(blob.Modulus, kRsaMaxBytes, kSmallModulus, large, record->Modulus);
  std::memcpy(record->PublicExponent, blob.PublicExponent, kRsaExponentBytes);
  ToRecord(blob.PrivateExponent, kRsaMaxBytes, kSmallModulus, large, record->PrivateExponent);
  ToRecord(blob.Prime1, kRsaMaxHalf, kSmallHalf, large, record->Prime1);
  ToRecord(blob.Prime2, kRsaMaxHalf, kSmallHalf, large, record->Prime2);
  ToRecord(blob.Prime1Exponent, kRsaMaxHalf, kSmallHalf, large, record->Prime1Exponent);
  ToRecord(blob.Prime2Exponent, kRsaMaxHalf, kSmallHalf, large, record->Prime2Exponent);
  ToRecord(blob.Coefficient, kRsaMaxHalf, kSmallHalf, large, record->Coefficient);
}

void RsaRecordToPublicBlob(const RsaPublicKeyRecord &record, RSAPUBLICKEYBLOB *blob) {
  const bool large = record.BitLen == kRsa2048;
  blob->AlgID = kAlgRsa;
  blob->BitLen = record.BitLen;
  ToBlob(record.Modulus, kRsaMaxBytes, kSmallModulus, large, blob->Modulus);
  std::memcpy(blob->PublicExponent, record.PublicExponent, kRsaExponentBytes);
}

void RsaRecordToPrivateBlob(const RsaKeyRecord &record, RSAPRIVATEKEYBLOB *blob) {
  const bool large = record.BitLen == kRsa2048;
  blob->AlgID = kAlgRsa;
  blob->BitLen = record.BitLen;
  ToBlob(record.Modulus, kRsaMaxBytes, kSmallModulus, large, blob->Modulus);
  std::memcpy(blob->PublicExponent, record.PublicExponent, kRsaExponentBytes);
  ToBlob(record.PrivateExponent, kRsaMaxBytes, kSmallModulus, large, blob->PrivateExponent);
  ToBlob(record.Prime1, kRsaMaxHalf, kSmallHalf, large, blob->Prime1);
  ToBlob(record.Prime2, kRsaMaxHalf, kSmallHalf, large, blob->Prime2);
  ToBlob(record.Prime1Exponent, kRsaMaxHalf, kSmallHalf, large, blob->Prime1Exponent);
  ToBlob(record.Prime2Exponent, kRsaMaxHalf, kSmallHalf, large, blob->Prime2Exponent);
  ToBlob(record.Coefficient, kRsaMaxHalf, kSmallHalf, large, blob->Coefficient);
}

void EccPointFromBlob(const ECCPUBLICKEYBLOB &blob, std::uint8_t xy[64]) {
  std::memcpy(xy, blob.XCoordinate + kField - kValue, kValue);
  std::memcpy(xy + kValue, blob.YCoordinate + kField - kValue, kValue);
}

void EccPointToBlob(const std::uint8_t xy[64], ECCPUBLICKEYBLOB *blob) {
  blob->BitLen = kSm2BlobBits;
  PutEccValue(blob->XCoordinate, xy);
  PutEccValue(blob->YCoordinate, xy + kValue);
}

void EccPrivateFromBlob(const ECCPRIVATEKEYBLOB &blob, std::uint8_t d[32]) {
  std::memcpy(d, blob.PrivateKey + kField - kValue, kValue);
}

void EccSignatureFromBlob(const ECCSIGNATUREBLOB &blob, std::uint8_t rs[64]) {
  std::memcpy(rs, blob.r + kField - kValue, kValue);
  std::memcpy(rs + kValue, blob.s + kField - kValue, kValue);
}

int EccSignatureToBlob(std::span<const std::uint8_t> rs, ECCSIGNATUREBLOB *blob) {
  if (rs.size() != 2 * kValue || !blob) return -1;
  PutEccValue(blob->r, rs.data());
  PutEccValue(blob->s, rs.data() + kValue);
  return 0;
}

int EccCipherFromBlob(const ECCCIPHERBLOB *blob, std::size_t cipher_room,
                      std::span<std::uint8_t> out, int *out_length) {
  if (!blob || !out_length || blob->CipherLen > cipher_room) return -1;
  const std::size_t n = blob->CipherLen;
  *out_length = static_cast<int>(n + 3 * kValue);
  if (!out.data() || out.size() < n + 3 * kValue) return kOutTooSmall;
  std::uint8_t *at = out.data();
  std::memcpy(at, blob->XCoordinate + kField - kValue, kValue);
  std::memcpy(at + kValue, blob->YCoordinate + kField - kValue, kValue);
  if (n) std::memcpy(at + 2 * kValue, blob->Cipher, n);
  std::memcpy(at + 2 * kValue + n, blob->HASH, kValue);
  return 0;
}

int EccCipherToBlob(std::span<const std::uint8_t> c1c2c3, ECCCIPHERBLOB *blob,
                    std::size_t cipher_room) {
  if (!blob || c1c2c3.size() < 3 * kValue || c1c2c3.size() - 3 * kValue > cipher_room) {
    return -1;
  }
  const std::size_t n = c1c2c3.size() - 3 * kValue;
  const std::uint8_t *at = c1c2c3.data();
  PutEccValue(blob->XCoordinate, at);
  PutEccValue(blob->YCoordinate, at + kValue);
  if (n) std::memcpy(blob->Cipher, at + 2 * kValue, n);
  std::memcpy(blob->HASH, at + 2 * kValue + n, kValue);
  blob->CipherLen = static_cast<ULONG>(n);
  return 0;
}
