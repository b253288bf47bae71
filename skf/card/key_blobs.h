// Conversions between the GM/T 0016 key blobs and the card layer's values. RSA blobs hold a
// 1024-bit key right-aligned in their fields, the records left-aligned; SM2 values are 32 bytes
// on the card and the last 32 bytes of each 64-byte blob field.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/rsa_keys.h"
#include "skf/include/skf.h"

inline constexpr std::uint32_t kAlgRsa = 0x00010000;
inline constexpr std::uint32_t kSm2BlobBits = 256;

// BitLen 2048 copies every field whole; any other BitLen the right-aligned 1024-bit parts.
// The record takes the blob's BitLen; AlgID is not read.
void RsaPublicBlobToRecord(const RSAPUBLICKEYBLOB &blob, RsaPublicKeyRecord *record);
void RsaPrivateBlobToRecord(const RSAPRIVATEKEYBLOB &blob, RsaKeyRecord *record);
// The reverse by the record's BitLen; blob bytes outside those places are left alone. AlgID is
// set to RSA and BitLen to the record's.
void RsaRecordToPublicBlob(const RsaPublicKeyRecord &record, RSAPUBLICKEYBLOB *blob);
void RsaRecordToPrivateBlob(const RsaKeyRecord &record, RSAPRIVATEKEYBLOB *blob);

// x || y of the card. Writing sets BitLen 256 and each field to its value with 32 leading zero
// bytes (so for every SM2 output blob below).
void EccPointFromBlob(const ECCPUBLICKEYBLOB &blob, std::uint8_t xy[64]);
void EccPointToBlob(const std::uint8_t xy[64], ECCPUBLICKEYBLOB *blob);
void EccPrivateFromBlob(const ECCPRIVATEKEYBLOB &blob, std::uint8_t d[32]);
// r || s of the card; a signature of any length but 64 is refused with -1.
void EccSignatureFromBlob(const ECCSIGNATUREBLOB &blob, std::uint8_t rs[64]);
int EccSignatureToBlob(std::span<const std::uint8_t> rs, ECCSIGNATUREBLOB *blob);
// The card's C1 C2 C3 from a blob whose Cipher holds `cipher_room` bytes: 0 and the length
// (CipherLen + 96), -1 when CipherLen exceeds the room, kOutTooSmall when `out` is short.
int EccCipherFromBlob(const ECCCIPHERBLOB *blob, std::size_t cipher_room,
                      std::span<std::uint8_t> out, int *out_length);
// C1 C2 C3 into a blob with `cipher_room` bytes of Cipher; -1 below 96 bytes or when C2 does
// not fit (nothing written then).
int EccCipherToBlob(std::span<const std::uint8_t> c1c2c3, ECCCIPHERBLOB *blob,
                    std::size_t cipher_room);
