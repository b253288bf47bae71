// Raw command transmission, device authentication and the device key change.
#include <cstring>
#include <memory>

#include "skf/api/directory.h"
#include "skf/api/export_util.h"
#include "skf/card/apdu.h"
#include "skf/card/auth.h"
#include "skf/card/commands.h"
#include "skf/card/secure_zero.h"

namespace {

constexpr std::size_t kTransmitAnswerSize = 40960;
constexpr std::size_t kStatusWordSize = 2;
constexpr ULONG kAuthDataSize = 16;
constexpr std::size_t kFoldedSize = 8;
constexpr ULONG kDevKeyMax = 16;
constexpr std::size_t kWriteKeyHeader = 3;  // 00 00 00 before the key
constexpr std::size_t kWriteKeySize = kWriteKeyHeader + kDevKeyMax;
constexpr std::uint8_t kExternalAuthP2 = 0x00;
constexpr std::uint8_t kWriteKeyClass = 0x80;
constexpr std::uint8_t kDevKeyP1 = 0x01;
constexpr std::uint8_t kDevKeyP2 = 0x00;

}  // namespace

extern "C" {

ULONG DEVAPI SKF_Transmit(DEVHANDLE hDev, const BYTE *pbCommand, ULONG ulCommandLen, BYTE *pbData,
                          ULONG *pulDataLen) {
  return RunExport("SKF_Transmit", [&]() -> ULONG {
    if (!hDev || !pbCommand || !pbData || !pulDataLen) return SAR_INVALIDHANDLEERR;
    auto answer = std::make_unique<std::uint8_t[]>(kTransmitAnswerSize);
    std::uint16_t sw = 0;
    const int n = QX_Application_Manager(hDev, {pbCommand, ulCommandLen},
                                         {answer.get(), kTransmitAnswerSize}, &sw);
    if (n < 0) return SAR_FAIL;
    const std::size_t total = static_cast<std::size_t>(n) + kStatusWordSize;
    if (*pulDataLen < total) return SAR_BUFFER_TOO_SMALL;
    std::memcpy(pbData, answer.get(), static_cast<std::size_t>(n));
    pbData[n] = static_cast<BYTE>(sw);           // SW2
    pbData[n + 1] = static_cast<BYTE>(sw >> 8);  // SW1
    *pulDataLen = static_cast<ULONG>(total);
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_DevAuth(DEVHANDLE hDev, const BYTE *pbAuthData, ULONG ulLen) {
  return RunExport("SKF_DevAuth", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pbAuthData) return SAR_INVALIDPARAMERR;
    if (ulLen != kAuthDataSize) return SAR_INDATALENERR;
    SelectMf(hDev);
    std::uint8_t folded[kFoldedSize];
    for (std::size_t i = 0; i < kFoldedSize; ++i) {
      folded[i] = pbAuthData[i] ^ pbAuthData[i + kFoldedSize];
    }
    std::uint16_t sw = 0;
    const bool accepted =
        (QX_ExternalAuth(hDev, kExternalAuthP2, folded, &sw) >= 0 && sw == kSwOk) ||
        QX_AuthDir(hDev) == 0;
    SecureZero(folded, sizeof folded);
    if (!accepted) {
      ClearDevAuth();
      return SAR_FAIL;
    }
    DevAuthState = {hDev, 1};
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_ChangeDevAuthKey(DEVHANDLE hDev, const BYTE *pbKeyValue, ULONG ulKeyLen) {
  return RunExport("SKF_ChangeDevAuthKey", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pbKeyValue) return SAR_INVALIDPARAMERR;
    if (!IsDevAuthenticated(hDev)) return SAR_FAIL;
    SelectMf(hDev);
    if (ulKeyLen > kDevKeyMax) return SAR_INDATALENERR;
    // A card that still takes the built-in key keeps it: the new key is not sent.
    if (QX_AuthDir(hDev) == 0) return SAR_OK;
    std::uint8_t data[kWriteKeySize] = {};
    std::memcpy(data + kWriteKeyHeader, pbKeyValue, ulKeyLen);
    std::uint16_t sw = 0;
    const int result = QX_WriteKey(hDev, kWriteKeyClass, kDevKeyP1, kDevKeyP2, data, &sw);
    SecureZero(data, sizeof data);
    return result >= 0 && sw == kSwOk ? SAR_OK : SAR_FAIL;
  });
}

}  // extern "C"
