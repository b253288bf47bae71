#include "skf/card/rsa_keys.h"

#include <openssl/bn.h>

#include <algorithm>

#include "skf/card/auth.h"
#include "skf/card/command_status.h"
#include "skf/card/commands.h"

namespace {

constexpr std::uint8_t kCla = 0x80;
constexpr std::uint8_t kFromSelected = 0x20;
constexpr std::uint8_t kFromWorking = 0x00;
constexpr std::uint8_t kPartE = 0x01;
constexpr std::uint8_t kPartN = 0x02;
constexpr std::uint8_t kPartP = 0x03;
constexpr std::uint8_t kPartQ = 0x04;
constexpr std::uint8_t kPartQinv = 0x05;
constexpr std::uint8_t kPartDp = 0x06;
constexpr std::uint8_t kPartDq = 0x07;
constexpr std::uint8_t kPrivatePart = 0xA0;
constexpr std::uint8_t kLargeFlag = 0x40;
constexpr std::uint8_t kExternal = 0x80;
constexpr std::uint8_t kExternalLarge = 0xC0;
constexpr std::uint8_t kPublicFileP2 = 0x10;
constexpr std::uint8_t kPrivateFileP2 = 0x11;
constexpr std::uint8_t kExchangePublic = 0x1A;
constexpr std::uint8_t kExchangePrivate = 0x1B;
constexpr std::uint8_t kSigningPublic = 0x1C;
constexpr std::uint8_t kSigningPrivate = 0x1D;
constexpr std::size_t kPublicDescriptor = 14;
constexpr std::size_t kPrivateDescriptor = 10;
constexpr std::size_t kDescriptorSizeByte = 2;

// One component into `field`, big-endian; the answer must be exactly `length` bytes.
int ReadPart(DEVHANDLE device, std::uint8_t p1, std::uint8_t part, std::size_t length,
             std::uint8_t *field) {
  std::uint16_t sw = 0;
  const int got =
      length > 255 ? QX_ReadRsaPublicKeyExt(device, p1, part, static_cast<std::uint32_t>(length),
                                            {field, length}, &sw)
                   : QX_ReadRsaPublicKey(device, kCla, p1, part, nullptr,
                                         static_cast<std::uint8_t>(length), {field, length}, &sw);
  return CommandOk(got, sw) && static_cast<std::size_t>(got) == length ? 0 : -1;
}

int ReadPublic(DEVHANDLE device, std::uint32_t bits, RsaPublicKeyRecord *key) {
  key->BitLen = bits == kRsa1024 ? kRsa1024 : kRsa2048;
  const std::size_t k = key->BitLen / 8;
  if (ReadPart(device, kFromSelected, kPartN, k, key->Modulus) != 0) return -1;
  return ReadPart(device, kFromSelected, kPartE, kRsaExponentBytes, key->PublicExponent);
}

}  // namespace

int QX_CreateRsaKeyFiles(DEVHANDLE device, std::uint32_t bits) {
  if (QX_AuthDir(device) != 0) return -1;
  const std::uint8_t size = bits == kRsa1024 ? 0x00 : 0x01;
  for (std::uint8_t low : {kExchangePublic, kExchangePrivate, kSigningPublic, kSigningPrivate}) {
    if (SelectEfInDf(device, low) == 0) continue;
    const bool is_private = low & 1;
    std::uint8_t descriptor[kPublicDescriptor] = {0x00, low};
    descriptor[kDescriptorSizeByte] = size;
    if (is_private) {
      descriptor[3] = 0x01;
      descriptor[6] = 0x01;
    }
    std::uint16_t sw = 0;
    const std::size_t length = is_private ? kPrivateDescriptor : kPublicDescriptor;
    const int made = QX_CreateFile(device, is_private ? kPrivateFileP2 : kPublicFileP2,
                                   {descriptor, length}, &sw);
    if (!CommandOk(made, sw)) return -1;
  }
  return 0;
}

int QX_GenRsaKeyPair(DEVHANDLE device, std::uint32_t bits, int signing,
                     RsaPublicKeyRecord *public_key) {
  if (!public_key) return -1;
  const std::uint8_t pub = signing ? kSigningPublic : kExchangePublic;
  const std::uint8_t prv = signing ? kSigningPrivate : kExchangePrivate;
  const std::uint8_t p1 = bits == kRsa1024 ? pub : static_cast<std::uint8_t>(pub | kLargeFlag);
  std::uint16_t sw = 0;
  if (!CommandOk(QX_GenerateRsaKey(device, p1, prv, &sw), sw)) return -1;
  if (SelectEfInDf(device, pub) != 0) return -1;
  return ReadPublic(device, bits, public_key);
}

int QX_GenExtRsaKey(DEVHANDLE device, std::uint32_t bits, RsaKeyRecord *key) {
  if (!key) return -1;
  const bool small = bits == kRsa1024;
  std::uint16_t sw = 0;
  if (!CommandOk(QX_GenerateRsaKey(device, small ? kExternal : kExternalLarge, kExternal, &sw),
                 sw)) {
    return -1;
  }
  const std::size_t k = small ? 128 : 256;
  const std::size_t half = k / 2;
  if (ReadPart(device, kFromWorking, kPartN, k, key->Modulus) != 0) return -1;
  const struct {
    std::uint8_t part;
    std::uint8_t *field;
    std::size_t length;
  } parts[] = {
      {kPartE, key->PublicExponent, kRsaExponentBytes},
      {kPartDp, key->Prime1Exponent, half},
      {kPartDq, key->Prime2Exponent, half},
      {kPartP, key->Prime1, half},
      {kPartQ, key->Prime2, half},
      {kPartQinv, key->Coefficient, half},
  };
  for (const auto &p : parts) {
    if (ReadPart(device, kFromWorking, p.part, p.length, p.field) != 0) return -1;
  }
  return 0;
}

int QX_RsaExportPublicKey(DEVHANDLE device, int size_unit, int signing,
                          RsaPublicKeyRecord *public_key) {
  if (!public_key) return -1;
  if (SelectEfInDf(device, signing ? kSigningPublic : kExchangePublic) != 0) return -1;
  return ReadPublic(device, size_unit == 1 ? kRsa1024 : kRsa2048, public_key);
}

int BignumToBytes(const BIGNUM *number, std::span<std::uint8_t> out) {
  if (!number) return -1;
  const int count = BN_num_bytes(number);
  if (static_cast<std::size_t>(count) > out.size()) return -1;
  if (count == 0) return 0;
  return BN_bn2lebinpad(number, out.data(), count);
}

int ReverseBuffer(std::uint8_t *buffer, std::uint32_t length) {
  if (buffer) std::reverse(buffer, buffer + length);
  return static_cast<int>(length / 2);
}

int QX_WriteRsaPrivateParts(DEVHANDLE device, const RsaKeyRecord &key) {
  const std::uint32_t half = key.BitLen / 16;
  const struct {
    std::uint8_t part;
    const std::uint8_t *value;
  } parts[] = {{kPartP, key.Prime1},
               {kPartQ, key.Prime2},
               {kPartQinv, key.Coefficient},
               {kPartDp, key.Prime1Exponent},
               {kPartDq, key.Prime2Exponent}};
  for (const auto &p : parts) {
    std::uint16_t sw = 0;
    if (!CommandOk(QX_WriteKeyPart(device, kCla, kPrivatePart, p.part, {p.value, half}, &sw), sw)) {
      return -1;
    }
  }
  return 0;
}
