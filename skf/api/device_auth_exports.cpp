// Device authentication and the device key change.
#include <cstring>

#include "skf/api/directory.h"
#include "skf/api/export_util.h"
#include "skf/card/auth.h"
#include "skf/card/commands.h"
#include "skf/card/secure_zero.h"

namespace {

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
    SetDevAuth(hDev);
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
