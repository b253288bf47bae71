#include "skf/card/commands.h"

#include <algorithm>
#include <cstring>

#include "skf/card/apdu.h"
#include "skf/card/command_layout.h"
#include "skf/card/secure_zero.h"

namespace {

constexpr bool kRev = true;
constexpr bool kAsIs = false;

// clang-format off
//                               CLA   INS   P1    P2    form             data   answer
constexpr Command kVerify       {0x00, 0x20, 0x00, 0x00, Form::kData,     kAsIs, kAsIs};
constexpr Command kChangePin    {0x80, 0x5E, 0x01, 0x00, Form::kData,     kAsIs, kAsIs};
constexpr Command kGetPinMode   {0x80, 0x22, 0x01, 0x00, Form::kLe,       kAsIs, kAsIs};
constexpr Command kPrepareCreate{0xBF, 0xCE, 0x00, 0x00, Form::kLe,       kAsIs, kAsIs};
constexpr Command kCreateFile   {0x80, 0xE0, 0x00, 0x00, Form::kData,     kAsIs, kAsIs};
constexpr Command kDeleteFile   {0x80, 0xE4, 0x00, 0x00, Form::kData,     kAsIs, kAsIs};
constexpr Command kSelect       {0x00, 0xA4, 0x00, 0x00, Form::kData,     kAsIs, kAsIs};
constexpr Command kReadBinary   {0x00, 0xB0, 0x00, 0x00, Form::kLe,       kAsIs, kAsIs};
constexpr Command kReadBinary4  {0x04, 0xB0, 0x00, 0x00, Form::kDataLe,   kAsIs, kAsIs};
constexpr Command kUpdateBinary {0x00, 0xD6, 0x00, 0x00, Form::kData,     kAsIs, kAsIs};
constexpr Command kGetChallenge {0x00, 0x84, 0x00, 0x00, Form::kLe,       kAsIs, kAsIs};
constexpr Command kExternalAuth {0x00, 0x82, 0x00, 0x00, Form::kData,     kAsIs, kAsIs};
constexpr Command kGetCardInfo  {0xBF, 0xC8, 0x00, 0x00, Form::kLe,       kAsIs, kAsIs};
constexpr Command kWriteKey     {0x80, 0xD4, 0x00, 0x00, Form::kData,     kAsIs, kAsIs};
constexpr Command kWriteKeyPart {0x80, 0xD2, 0x00, 0x00, Form::kData,     kRev,  kAsIs};
constexpr Command kWriteKeyPart2048
                                {0x80, 0xD2, 0x20, 0x02, Form::kExtData,  kRev,  kAsIs};
constexpr Command kGenerateRsa  {0x80, 0xD0, 0x00, 0x00, Form::kLe,       kAsIs, kAsIs};
constexpr Command kReadRsaPublic{0x80, 0xD8, 0x00, 0x00, Form::kLe,       kAsIs, kRev};
constexpr Command kReadRsaPublic4
                                {0x84, 0xD8, 0x00, 0x00, Form::kDataLe,   kRev,  kRev};
constexpr Command kReadRsaPublicExt
                                {0x80, 0xD8, 0x00, 0x00, Form::kExtLe,    kAsIs, kRev};
constexpr Command kRsaPrivate   {0x80, 0xF8, 0x00, 0x00, Form::kDataLe,   kRev,  kRev};
constexpr Command kRsaPrivate2048
                                {0x80, 0xF8, 0x40, 0x00, Form::kExtDataLe, kRev, kRev};
constexpr Command kRsaPublic    {0x80, 0xF6, 0x00, 0x00, Form::kDataLe,   kRev,  kRev};
constexpr Command kRsaPublic2048{0x80, 0xF6, 0x40, 0x00, Form::kExtDataLe, kRev, kRev};
constexpr Command kGenerateEcc  {0x80, 0x32, 0x00, 0x00, Form::kLe,       kAsIs, kAsIs};
constexpr Command kReadEccPublic{0x80, 0x34, 0x00, 0x00, Form::kLe,       kAsIs, kAsIs};
constexpr Command kLoadEccPublic{0x80, 0x36, 0x00, 0x00, Form::kData,     kAsIs, kAsIs};
constexpr Command kEccEncrypt   {0x80, 0x38, 0x00, 0x00, Form::kExtDataLe, kAsIs, kAsIs};
constexpr Command kEccDecrypt   {0x80, 0x3A, 0x00, 0x00, Form::kExtDataLe, kAsIs, kAsIs};
constexpr Command kEccSign      {0x80, 0x3C, 0x00, 0x00, Form::kDataLe,   kAsIs, kAsIs};
constexpr Command kEccVerify    {0x80, 0x3E, 0x00, 0x00, Form::kData,     kAsIs, kAsIs};
constexpr Command kCipherEcb   {0x80, 0xF3, 0x00, 0x00, Form::kDataLe,   kAsIs, kAsIs};
// clang-format on

constexpr std::uint32_t kPinModeLength = 2;
constexpr std::uint32_t kCardInfoLength = 15;
constexpr std::uint32_t kEccSignatureLength = 64;
constexpr std::size_t kEccC1 = 64;  // the two coordinates of C1
constexpr std::size_t kEccC3 = 32;  // the SM3 check value
constexpr std::size_t kEccOverhead = kEccC1 + kEccC3;
constexpr std::uint32_t kRsa2048Length = 256;

int Send(DEVHANDLE d, Command c, Bytes data, std::uint32_t le, Out response, std::uint16_t *sw) {
  return SendCommand(d, Apdu{c, data, le}, response, sw);
}

int SendDropped(DEVHANDLE d, Command c, Bytes data, std::uint32_t le, std::uint16_t *sw) {
  return SendCommand(d, Apdu{c, data, le}, kDropResponse, sw);
}

}  // namespace

int QX_Verify(DEVHANDLE d, std::uint8_t p2, Bytes data, std::uint16_t *sw) {
  return SendDropped(d, WithP2(kVerify, p2), data, 0, sw);
}

int QX_VerifyProtected(DEVHANDLE d, std::uint8_t p1, Bytes data, std::uint16_t *sw) {
  return SendDropped(d, WithP1(kVerify, p1), data, 0, sw);
}

int QX_ChangePinCmd(DEVHANDLE d, std::uint8_t p2, Bytes data, std::uint16_t *sw) {
  return SendDropped(d, WithP2(kChangePin, p2), data, 0, sw);
}

int QX_ChangePinCmdProtected(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, Bytes data,
                             std::uint16_t *sw) {
  return SendDropped(d, WithP1P2(kChangePin, p1, p2), data, 0, sw);
}

int QX_GetPinMode(DEVHANDLE d, Out response, std::uint16_t *sw) {
  return Send(d, kGetPinMode, {}, kPinModeLength, response, sw);
}

int QX_PrepareCreate(DEVHANDLE d, std::uint16_t *sw) {
  return SendDropped(d, kPrepareCreate, {}, 0, sw);
}

int QX_CreateFile(DEVHANDLE d, std::uint8_t p2, Bytes descriptor, std::uint16_t *sw) {
  return SendDropped(d, WithP2(kCreateFile, p2), descriptor, 0, sw);
}

int QX_DeleteFile(DEVHANDLE d, Bytes file_id, std::uint16_t *sw) {
  return SendDropped(d, kDeleteFile, file_id, 0, sw);
}

int QX_Select(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, Bytes data, std::uint16_t *sw) {
  return SendDropped(d, WithP1P2(kSelect, p1, p2), data, 0, sw);
}

int QX_ReadBinary(DEVHANDLE d, std::uint8_t cla, std::uint8_t p1, std::uint8_t p2,
                  const std::uint8_t *four, std::uint8_t le, Out response, std::uint16_t *sw) {
  if (cla == kReadBinary.cla) return Send(d, WithP1P2(kReadBinary, p1, p2), {}, le, response, sw);
  if (cla == kReadBinary4.cla && four) {
    return Send(d, WithP1P2(kReadBinary4, p1, p2), {four, 4}, le, response, sw);
  }
  return kApduFailed;
}

int QX_UpdateBinary(DEVHANDLE d, std::uint8_t cla, std::uint8_t p1, std::uint8_t p2, Bytes data,
                    std::uint16_t *sw) {
  return SendDropped(d, WithCla(WithP1P2(kUpdateBinary, p1, p2), cla), data, 0, sw);
}

int QX_GetChallenge(DEVHANDLE d, std::uint8_t le, Out response, std::uint16_t *sw) {
  return Send(d, kGetChallenge, {}, le, response, sw);
}

int QX_ExternalAuth(DEVHANDLE d, std::uint8_t p2, std::span<const std::uint8_t, 8> data,
                    std::uint16_t *sw) {
  return SendDropped(d, WithP2(kExternalAuth, p2), data, 0, sw);
}

int QX_GetCardInfo(DEVHANDLE d, Out response, std::uint16_t *sw) {
  return Send(d, kGetCardInfo, {}, kCardInfoLength, response, sw);
}

int QX_WriteKey(DEVHANDLE d, std::uint8_t cla, std::uint8_t p1, std::uint8_t p2, Bytes data,
                std::uint16_t *sw) {
  return SendDropped(d, WithCla(WithP1P2(kWriteKey, p1, p2), cla), data, 0, sw);
}

int QX_WriteKeyPart(DEVHANDLE d, std::uint8_t cla, std::uint8_t p1, std::uint8_t p2, Bytes data,
                    std::uint16_t *sw) {
  return SendDropped(d, WithCla(WithP1P2(kWriteKeyPart, p1, p2), cla), data, 0, sw);
}

int QX_WriteKeyPart2048(DEVHANDLE d, std::span<const std::uint8_t, 256> data, std::uint16_t *sw) {
  return SendDropped(d, kWriteKeyPart2048, data, 0, sw);
}

int QX_GenerateRsaKey(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, std::uint16_t *sw) {
  return SendDropped(d, WithP1P2(kGenerateRsa, p1, p2), {}, 0, sw);
}

int QX_ReadRsaPublicKey(DEVHANDLE d, std::uint8_t cla, std::uint8_t p1, std::uint8_t p2,
                        const std::uint8_t *four, std::uint8_t le, Out response,
                        std::uint16_t *sw) {
  if (cla == kReadRsaPublic.cla) {
    return Send(d, WithP1P2(kReadRsaPublic, p1, p2), {}, le, response, sw);
  }
  if (cla == kReadRsaPublic4.cla && four) {
    return Send(d, WithP1P2(kReadRsaPublic4, p1, p2), {four, 4}, le, response, sw);
  }
  return kBadClass;
}

int QX_ReadRsaPublicKeyExt(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, std::uint32_t n,
                           Out response, std::uint16_t *sw) {
  const Command c = n < 256 ? kReadRsaPublic : kReadRsaPublicExt;
  return Send(d, WithP1P2(c, p1, p2), {}, n, response, sw);
}

int QX_RsaPrivateCmd(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response, std::uint16_t *sw) {
  return Send(d, WithP1(kRsaPrivate, p1), data, static_cast<std::uint32_t>(data.size()), response,
              sw);
}

int QX_RsaPrivateCmd2048(DEVHANDLE d, std::span<const std::uint8_t, 256> data, Out response,
                         std::uint16_t *sw) {
  return Send(d, kRsaPrivate2048, data, kRsa2048Length, response, sw);
}

int QX_RsaPublicCmd(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response, std::uint16_t *sw) {
  return Send(d, WithP1(kRsaPublic, p1), data, static_cast<std::uint32_t>(data.size()), response,
              sw);
}

int QX_RsaPublicCmd2048(DEVHANDLE d, std::span<const std::uint8_t, 256> data, Out response,
                        std::uint16_t *sw) {
  return Send(d, kRsaPublic2048, data, kRsa2048Length, response, sw);
}

int QX_GenerateEccKey(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, std::uint16_t *sw) {
  return SendDropped(d, WithP1P2(kGenerateEcc, p1, p2), {}, 0, sw);
}

int QX_ReadEccPublicKey(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, std::uint8_t le,
                        Out response, std::uint16_t *sw) {
  return Send(d, WithP1P2(kReadEccPublic, p1, p2), {}, le, response, sw);
}

int QX_LoadEccPublicKey(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, Bytes data,
                        std::uint16_t *sw) {
  return SendDropped(d, WithP1P2(kLoadEccPublic, p1, p2), data, 0, sw);
}

int QX_EccEncryptCmd(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response, std::uint16_t *sw) {
  if (data.size() > kShortDataMax) return kApduFailed;
  return Send(d, WithP1(kEccEncrypt, p1), data,
              static_cast<std::uint32_t>(data.size() + kEccOverhead), response, sw);
}

int QX_EccDecryptCmdAsIs(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response,
                         std::uint16_t *sw) {
  if (data.size() < kEccOverhead) return kApduFailed;
  return Send(d, WithP1(kEccDecrypt, p1), data,
              static_cast<std::uint32_t>(data.size() - kEccOverhead), response, sw);
}

int QX_EccDecryptCmd(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response, std::uint16_t *sw) {
  std::uint8_t reordered[kCommandBufferSize];
  if (data.size() < kEccOverhead || data.size() > sizeof reordered) return kApduFailed;
  const std::size_t c2 = data.size() - kEccOverhead;
  auto at = std::copy_n(data.begin(), kEccC1, reordered);
  at = std::copy_n(data.end() - kEccC3, kEccC3, at);
  std::copy_n(data.begin() + kEccC1, c2, at);
  return QX_EccDecryptCmdAsIs(d, p1, {reordered, data.size()}, response, sw);
}

int QX_EccSignCmd(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response, std::uint16_t *sw) {
  return Send(d, WithP1(kEccSign, p1), data, kEccSignatureLength, response, sw);
}

int QX_EccVerifyCmd(DEVHANDLE d, std::uint8_t p1, Bytes data1, Bytes data2, std::uint16_t *sw) {
  std::uint8_t data[kShortDataMax];
  if (data1.size() + data2.size() > sizeof data) return kApduFailed;
  auto at = std::copy(data1.begin(), data1.end(), data);
  std::copy(data2.begin(), data2.end(), at);
  return SendDropped(d, WithP1(kEccVerify, p1), {data, data1.size() + data2.size()}, 0, sw);
}

int QX_CipherEcbCmd(DEVHANDLE d, std::uint8_t p1, std::uint8_t mode,
                    std::span<const std::uint8_t, 16> key, Bytes piece, Out response,
                    std::uint16_t *sw) {
  std::uint8_t data[kShortDataMax];
  if (key.size() + piece.size() > sizeof data) return kApduFailed;
  auto at = std::copy(key.begin(), key.end(), data);
  std::copy(piece.begin(), piece.end(), at);
  const int result = Send(d, WithP1P2(kCipherEcb, p1, mode), {data, key.size() + piece.size()},
                          static_cast<std::uint32_t>(piece.size()), response, sw);
  SecureZero(data, sizeof data);
  return result;
}
