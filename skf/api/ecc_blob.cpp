#include "skf/api/ecc_blob.h"

#include <cstring>

namespace {
constexpr std::size_t kField = 64;
constexpr std::size_t kTail = kField - kEccValue;  // where the value starts in its field
constexpr std::size_t kHashSize = 32;
}  // namespace

void PointToBlob(std::span<const std::uint8_t, kEccPoint> point, ECCPUBLICKEYBLOB *blob) {
  blob->BitLen = kEccBits;
  std::memcpy(blob->XCoordinate + kTail, point.data(), kEccValue);
  std::memcpy(blob->YCoordinate + kTail, point.data() + kEccValue, kEccValue);
}

void PointFromBlob(const ECCPUBLICKEYBLOB &blob, std::uint8_t point[kEccPoint]) {
  std::memcpy(point, blob.XCoordinate + kTail, kEccValue);
  std::memcpy(point + kEccValue, blob.YCoordinate + kTail, kEccValue);
}

void PrivateFromBlob(const ECCPRIVATEKEYBLOB &blob, std::uint8_t key[kEccValue]) {
  std::memcpy(key, blob.PrivateKey + kTail, kEccValue);
}

void SignatureToBlob(std::span<const std::uint8_t, kEccPoint> rs, ECCSIGNATUREBLOB *blob) {
  std::memcpy(blob->r + kTail, rs.data(), kEccValue);
  std::memcpy(blob->s + kTail, rs.data() + kEccValue, kEccValue);
}

void SignatureFromBlob(const ECCSIGNATUREBLOB &blob, std::uint8_t rs[kEccPoint]) {
  std::memcpy(rs, blob.r + kTail, kEccValue);
  std::memcpy(rs + kEccValue, blob.s + kTail, kEccValue);
}

std::size_t CipherFromBlob(const ECCCIPHERBLOB &blob,
                           std::span<std::uint8_t, kEccCardCipherMax> out) {
  if (blob.CipherLen > kEccCipherMax) return 0;
  std::uint8_t *at = out.data();
  std::memcpy(at, blob.XCoordinate + kTail, kEccValue);
  std::memcpy(at + kEccValue, blob.YCoordinate + kTail, kEccValue);
  at += kEccPoint;
  if (blob.CipherLen) std::memcpy(at, blob.Cipher, blob.CipherLen);
  at += blob.CipherLen;
  std::memcpy(at, blob.HASH, kHashSize);
  return kEccCipherOverhead + blob.CipherLen;
}

void CipherToBlob(std::span<const std::uint8_t> card, ECCCIPHERBLOB *blob) {
  const std::size_t c2 = card.size() - kEccCipherOverhead;
  std::memcpy(blob->XCoordinate + kTail, card.data(), kEccValue);
  std::memcpy(blob->YCoordinate + kTail, card.data() + kEccValue, kEccValue);
  if (c2) std::memcpy(blob->Cipher, card.data() + kEccPoint, c2);
  std::memcpy(blob->HASH, card.data() + kEccPoint + c2, kHashSize);
  blob->CipherLen = static_cast<ULONG>(c2);
}
