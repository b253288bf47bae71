// PIN family: verification, change, unblock and information of an application's PINs, with
// the retry header of its container directory and the process's PIN slots.
#include "skf/api/directory.h"
#include "skf/api/export_util.h"
#include "skf/card/admin_pin.h"
#include "skf/card/auth.h"
#include "skf/card/pin_ask.h"
#include "skf/card/pin_result.h"
#include "skf/card/secure_zero.h"
#include "skf/card/user_pin.h"

namespace {

constexpr ULONG kAdminType = 0;
constexpr ULONG kUserType = 1;
constexpr std::size_t kPinMin = 6;
constexpr std::size_t kPinMax = kPinTextMax;
constexpr char kDefaultAdminPin[] = "vemto";
// Stored in the retries out-parameter before a card routine: still there afterwards means the
// card reported no count (a cancelled dialog or a failed exchange).
constexpr std::uint32_t kNoCount = 0xFFFFFFFF;

bool LengthOk(const char *pin) {
  const std::size_t n = BoundedLength(pin, kPinMax);
  return n >= kPinMin && n <= kPinMax;
}
bool IsDefaultAdminPin(const char *pin) {
  return std::strncmp(pin, kDefaultAdminPin, sizeof kDefaultAdminPin) == 0;
}
bool AdminLengthOk(const char *pin) { return LengthOk(pin) || IsDefaultAdminPin(pin); }

void FillSlot(char *slot, const char *pin) {
  SecureZero(slot, kPinSlotSize);
  std::memcpy(slot, pin, BoundedLength(pin, kPinMax));
}
void ClearSlot(char *slot) { SecureZero(slot, kPinSlotSize); }

std::uint32_t Field(ContainerDirectory &image, std::size_t offset) {
  return GetU32(image.bytes, offset);
}
void SetField(ContainerDirectory &image, std::size_t offset, std::uint32_t value) {
  PutU32(image.bytes, offset, value);
}

// EF01 of the selected application DF again, then the image with the length read.
ULONG WriteBack(DEVHANDLE device, const ContainerDirectory &image) {
  return SelectEf(device, kDirectoryEf) && WriteImage(device, image) ? SAR_OK : SAR_FAIL;
}

// After a refused administrator PIN: one retry less, not below 0, whatever the card counts.
ULONG AdminRefused(DEVHANDLE device, ContainerDirectory &image, char *slot, ULONG *retries) {
  const std::uint32_t left = Field(image, kAdminRemainRetry);
  const std::uint32_t now = left > 0 ? left - 1 : 0;
  SetField(image, kAdminRemainRetry, now);
  *retries = now;
  ClearSlot(slot);
  if (WriteBack(device, image) != SAR_OK) return SAR_FAIL;
  return now == 0 ? SAR_PIN_LOCKED : SAR_PIN_INCORRECT;
}

// A card answer that reports no PIN check at all: the exchange failed.
bool ExchangeFailed(int r, std::uint32_t count) {
  return r == kPinFailed || (r == kPinBlocked && count == kNoCount);
}

ULONG VerifyUser(DEVHANDLE device, std::uint32_t app_id, ContainerDirectory &image, LPSTR szPIN,
                 ULONG *retries) {
  char pin[kPinTextSize] = {};
  std::memcpy(pin, szPIN, BoundedLength(szPIN, kPinMax));
  const bool ask = IsPinAskMarker(pin);
  std::uint32_t count = kNoCount;
  const int r = QX_VerifyPinOrAsk(device, pin, &count);
  char *slot = UserPinSlot(app_id);
  ULONG result = SAR_FAIL;
  if (r == 0) {
    if (ask) std::memcpy(szPIN, pin, BoundedLength(pin, kPinMax) + 1);
    FillSlot(slot, pin);
    const std::uint32_t max = Field(image, kUserMaxRetry);
    if (Field(image, kUserRemainRetry) == max) {
      result = SAR_OK;
    } else {
      SetField(image, kUserRemainRetry, max);
      result = WriteBack(device, image);
    }
  } else if (r != -2 && count != kNoCount) {
    SetField(image, kUserRemainRetry, count);
    *retries = count;
    ClearSlot(slot);
    result = WriteBack(device, image);
    if (result == SAR_OK) result = count == 0 ? SAR_PIN_LOCKED : SAR_PIN_INCORRECT;
  }
  SecureZero(pin, sizeof pin);
  return result;
}

ULONG VerifyAdmin(DEVHANDLE device, std::uint32_t app_id, ContainerDirectory &image,
                  const char *szPIN, ULONG *retries) {
  std::uint32_t count = kNoCount;
  const int r = QX_VerifyAdminPin(device, szPIN, &count);
  char *slot = AdminPinSlot(app_id);
  if (r == kPinVerified) {
    SetField(image, kAdminRemainRetry, Field(image, kAdminMaxRetry));
    FillSlot(slot, szPIN);
    return WriteBack(device, image);
  }
  if (ExchangeFailed(r, count)) return SAR_FAIL;
  return AdminRefused(device, image, slot, retries);
}

// Handle and directory read shared by the exports that work on an application.
ULONG ReadDirectory(const ApplicationHandle &app, ContainerDirectory &image) {
  return ReadContainerDirectory(app.hDev, app.AppId, image) ? SAR_OK : SAR_FAIL;
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_VerifyPIN(HAPPLICATION hApplication, ULONG ulPINType, LPSTR szPIN,
                           ULONG *pulRetryCount) {
  return RunExport("SKF_VerifyPIN", [&]() -> ULONG {
    const ApplicationHandle *app = AsApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    if (!szPIN || !pulRetryCount) return SAR_INVALIDPARAMERR;
    if (!LengthOk(szPIN) && (ulPINType != kAdminType || !IsDefaultAdminPin(szPIN))) {
      return SAR_PIN_LEN_RANGE;
    }
    if (!app->hDev) return SAR_INVALIDHANDLEERR;
    ContainerDirectory image;
    if (ReadDirectory(*app, image) != SAR_OK) return SAR_FAIL;
    if (ulPINType == kUserType)
      return VerifyUser(app->hDev, app->AppId, image, szPIN, pulRetryCount);
    if (ulPINType == kAdminType) {
      return VerifyAdmin(app->hDev, app->AppId, image, szPIN, pulRetryCount);
    }
    return SAR_USER_TYPE_INVALID;
  });
}

ULONG DEVAPI SKF_ChangePIN(HAPPLICATION hApplication, ULONG ulPINType, LPSTR szOldPin,
                           LPSTR szNewPin, ULONG *pulRetryCount) {
  return RunExport("SKF_ChangePIN", [&]() -> ULONG {
    const ApplicationHandle *app = AsApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    if (!szOldPin || !szNewPin || !pulRetryCount) return SAR_INVALIDPARAMERR;
    if (szOldPin[0] == '\0' || szNewPin[0] == '\0') return SAR_PIN_INVALID;
    if (ulPINType != kAdminType && !LengthOk(szNewPin)) return SAR_PIN_LEN_RANGE;
    if (ulPINType == kAdminType && !AdminLengthOk(szNewPin)) return SAR_INVALIDPARAMERR;
    if (!app->hDev) return SAR_INVALIDHANDLEERR;
    DEVHANDLE device = app->hDev;
    ContainerDirectory image;
    if (ReadDirectory(*app, image) != SAR_OK) return SAR_FAIL;
    std::uint32_t count = kNoCount;
    if (ulPINType != kAdminType) {
      char *slot = UserPinSlot(app->AppId);
      if (QX_ChangeUserPin(device, szOldPin, szNewPin, &count) == 0) {
        SetField(image, kUserPinChanged, 1);
        SetField(image, kUserRemainRetry, Field(image, kUserMaxRetry));
        FillSlot(slot, szNewPin);
        return WriteBack(device, image);
      }
      if (count == kNoCount) return SAR_FAIL;
      SetField(image, kUserRemainRetry, count);
      *pulRetryCount = count;
      ClearSlot(slot);
      if (WriteBack(device, image) != SAR_OK) return SAR_FAIL;
      return count == 0 ? SAR_PIN_LOCKED : SAR_PIN_INCORRECT;
    }
    char *slot = AdminPinSlot(app->AppId);
    const int r = QX_ChangeAdminPin(device, szOldPin, szNewPin, &count);
    if (r == kPinVerified) {
      SetField(image, kAdminPinChanged, 1);
      SetField(image, kAdminRemainRetry, Field(image, kAdminMaxRetry));
      FillSlot(slot, szNewPin);
      return WriteBack(device, image);
    }
    if (ExchangeFailed(r, count)) return SAR_FAIL;
    return AdminRefused(device, image, slot, pulRetryCount);
  });
}

ULONG DEVAPI SKF_GetPINInfo(HAPPLICATION hApplication, ULONG ulPINType, ULONG *pulMaxRetryCount,
                            ULONG *pulRemainRetryCount, BOOL *pbDefaultPin) {
  return RunExport("SKF_GetPINInfo", [&]() -> ULONG {
    if (!pulMaxRetryCount || !pulRemainRetryCount || !pbDefaultPin) return SAR_INVALIDPARAMERR;
    const ApplicationHandle *app = AsApplication(hApplication);
    if (!app || !app->hDev) return SAR_INVALIDHANDLEERR;
    ContainerDirectory image;
    if (ReadDirectory(*app, image) != SAR_OK) return SAR_FAIL;
    const bool admin = ulPINType == kAdminType;
    *pulMaxRetryCount = Field(image, admin ? kAdminMaxRetry : kUserMaxRetry);
    *pulRemainRetryCount = Field(image, admin ? kAdminRemainRetry : kUserRemainRetry);
    *pbDefaultPin = Field(image, admin ? kAdminPinChanged : kUserPinChanged) == 0 ? 1 : 0;
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_UnblockPIN(HAPPLICATION hApplication, LPSTR szAdminPIN, LPSTR szNewUserPIN,
                            ULONG *pulRetryCount) {
  return RunExport("SKF_UnblockPIN", [&]() -> ULONG {
    const ApplicationHandle *app = AsApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    if (!szAdminPIN || !szNewUserPIN) return SAR_PIN_INVALID;
    if (!pulRetryCount) return SAR_INVALIDPARAMERR;
    if (!LengthOk(szNewUserPIN)) return SAR_PIN_LEN_RANGE;
    if (!AdminLengthOk(szAdminPIN)) return SAR_INVALIDPARAMERR;
    if (!app->hDev) return SAR_INVALIDHANDLEERR;
    DEVHANDLE device = app->hDev;
    AppDirectory apps;
    ContainerDirectory image;
    if (!ReadAppDirectory(device, apps) || ReadDirectory(*app, image) != SAR_OK) return SAR_FAIL;
    std::uint32_t count = kNoCount;
    if (QX_UnblockUserPin(device, szAdminPIN, szNewUserPIN, &count) == 0) {
      SetField(image, kUserPinChanged, 1);
      SetField(image, kAdminRemainRetry, Field(image, kAdminMaxRetry));
      SetField(image, kUserRemainRetry, Field(image, kUserMaxRetry));
      return WriteBack(device, image);
    }
    if (count == kNoCount) return SAR_FAIL;
    SetField(image, kAdminRemainRetry, count);
    *pulRetryCount = count;
    if (WriteBack(device, image) != SAR_OK) return SAR_FAIL;
    return SAR_PIN_INCORRECT;
  });
}

ULONG DEVAPI SKF_ClearSecureState(HAPPLICATION hApplication) {
  return RunExport("SKF_ClearSecureState", [&]() -> ULONG {
    static_cast<void>(hApplication);
    SecureZero(PinCacheSlots, sizeof PinCacheSlots);
    return SAR_OK;
  });
}

}  // extern "C"
