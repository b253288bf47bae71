// Command builders: one function per card command. Each returns the transport result
// (answer length, or -300) and passes the status word through `sw`. Answers marked "dropped"
// are not returned; the others go to `response`, which must hold the whole answer.
#pragma once

#include <cstdint>
#include <span>

#include "skf/card/readerio_api.h"

using Bytes = std::span<const std::uint8_t>;
using Out = std::span<std::uint8_t>;

inline constexpr int kBadClass = -305;

int QX_Verify(DEVHANDLE d, std::uint8_t p2, Bytes data, std::uint16_t *sw);
int QX_VerifyProtected(DEVHANDLE d, std::uint8_t p1, Bytes data, std::uint16_t *sw);
int QX_ChangePinCmd(DEVHANDLE d, std::uint8_t p2, Bytes data, std::uint16_t *sw);
int QX_ChangePinCmdProtected(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, Bytes data,
                             std::uint16_t *sw);
int QX_GetPinMode(DEVHANDLE d, Out response, std::uint16_t *sw);  // 2 bytes
int QX_PrepareCreate(DEVHANDLE d, std::uint16_t *sw);
int QX_CreateFile(DEVHANDLE d, std::uint8_t p2, Bytes descriptor, std::uint16_t *sw);
int QX_DeleteFile(DEVHANDLE d, Bytes file_id, std::uint16_t *sw);
int QX_Select(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, Bytes data, std::uint16_t *sw);
// CLA 00: CLA B0 P1 P2 Le. CLA 04: 04 B0 P1 P2 04 `four` Le. Other classes: -300, nothing sent.
int QX_ReadBinary(DEVHANDLE d, std::uint8_t cla, std::uint8_t p1, std::uint8_t p2,
                  const std::uint8_t *four, std::uint8_t le, Out response, std::uint16_t *sw);
int QX_UpdateBinary(DEVHANDLE d, std::uint8_t cla, std::uint8_t p1, std::uint8_t p2, Bytes data,
                    std::uint16_t *sw);
int QX_GetChallenge(DEVHANDLE d, std::uint8_t le, Out response, std::uint16_t *sw);
int QX_ExternalAuth(DEVHANDLE d, std::uint8_t p2, std::span<const std::uint8_t, 8> data,
                    std::uint16_t *sw);
int QX_GetCardInfo(DEVHANDLE d, Out response, std::uint16_t *sw);  // 15 bytes
int QX_WriteKey(DEVHANDLE d, std::uint8_t cla, std::uint8_t p1, std::uint8_t p2, Bytes data,
                std::uint16_t *sw);
int QX_WriteKeyPart(DEVHANDLE d, std::uint8_t cla, std::uint8_t p1, std::uint8_t p2, Bytes data,
                    std::uint16_t *sw);
int QX_WriteKeyPart2048(DEVHANDLE d, std::span<const std::uint8_t, 256> data, std::uint16_t *sw);
int QX_GenerateRsaKey(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, std::uint16_t *sw);
// CLA 80: 80 D8 P1 P2 Le. CLA 84: 84 D8 P1 P2 04 `four` reversed Le. Other classes: -305.
int QX_ReadRsaPublicKey(DEVHANDLE d, std::uint8_t cla, std::uint8_t p1, std::uint8_t p2,
                        const std::uint8_t *four, std::uint8_t le, Out response, std::uint16_t *sw);
int QX_ReadRsaPublicKeyExt(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, std::uint32_t n,
                           Out response, std::uint16_t *sw);
int QX_RsaPrivateCmd(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response, std::uint16_t *sw);
int QX_RsaPrivateCmd2048(DEVHANDLE d, std::span<const std::uint8_t, 256> data, Out response,
                         std::uint16_t *sw);
int QX_RsaPublicCmd(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response, std::uint16_t *sw);
int QX_RsaPublicCmd2048(DEVHANDLE d, std::span<const std::uint8_t, 256> data, Out response,
                        std::uint16_t *sw);
int QX_GenerateEccKey(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, std::uint16_t *sw);
int QX_ReadEccPublicKey(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, std::uint8_t le,
                        Out response, std::uint16_t *sw);
int QX_LoadEccPublicKey(DEVHANDLE d, std::uint8_t p1, std::uint8_t p2, Bytes data,
                        std::uint16_t *sw);
// At most 255 data bytes; the card answers n + 96.
int QX_EccEncryptCmd(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response, std::uint16_t *sw);
// C1 (64) C3 (32) C2 as the card takes it; at least 96 bytes. The card answers n - 96.
int QX_EccDecryptCmdAsIs(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response, std::uint16_t *sw);
// C1 (64) C2 C3 (32), sent as C1 C3 C2.
int QX_EccDecryptCmd(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response, std::uint16_t *sw);
int QX_EccSignCmd(DEVHANDLE d, std::uint8_t p1, Bytes data, Out response,
                  std::uint16_t *sw);  // 64 bytes
// ECB cipher, short form: 80 F3 P1 mode Lc key piece Le; the answer's first bytes are the result.
int QX_CipherEcbCmd(DEVHANDLE d, std::uint8_t p1, std::uint8_t mode,
                    std::span<const std::uint8_t, 16> key, Bytes piece, Out response,
                    std::uint16_t *sw);
int QX_EccVerifyCmd(DEVHANDLE d, std::uint8_t p1, Bytes data1, Bytes data2, std::uint16_t *sw);
