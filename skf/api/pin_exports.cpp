// PIN family: verification, change, information and unblock of the user and administrator
// PINs, with the retry record in the application's container directory and the PIN slots.
#include <cstring>

#include "skf/api/directory.h"
#include "skf/api/export_util.h"
#include "skf/api/pin_rules.h"
#include "skf/card/admin_pin.h"
#include "skf/card/pin_ask.h"
#include "skf/card/pin_result.h"
#include "skf/card/secure_zero.h"
#include "skf/card/user_pin.h"

namespace {

// Stays in the retries out-value when the card reported no count (a cancel, a failed exchange).
constexpr std::uint32_t kNoCount = 0xFFFFFFFF;

struct PinRecord {
  std::size_t max, remain, changed;
};
constexpr PinRecord kUser{kUserMaxRetry, kUserRemainRetry, kUserPinChanged};
constexpr PinRecord kAdmin{kAdminMaxRetry, kAdminRemainRetry, kAdminPinChanged};

// The application's container directory, read by the common road.
struct PinContext {
  DEVHANDLE device;
  std::uint32_t app_id;
  ContainerDirectory directory;

  std::uint32_t Get(std::size_t field) const { return GetU32(directory.bytes, field); }
  void Put(std::size_t field, std::uint32_t value) { PutU32(directory.bytes, field, value); }
  void Reset(const PinRecord &r) { Put(r.remain, Get(r.max)); }
  // The administrator's own count: one less, not below 0.
  std::uint32_t Decrement(const PinRecord &r) {
    const auto left = static_cast<std::int32_t>(Get(r.remain));
    const std::uint32_t next = left > 0 ? static_cast<std::uint32_t>(left - 1) : 0;
    Put(r.remain, next);
    return next;
  }
  ULONG WriteBack() const {
    return SelectEf(device, kDirectoryEf) && WriteImage(device, directory) ? SAR_OK : SAR_FAIL;
  }
};

ULONG Refused(std::uint32_t left) { return left == 0 ? SAR_PIN_LOCKED : SAR_PIN_INCORRECT; }

// A PIN text of at most 16 characters in a buffer the card layer may write back into.
struct PinText {
  char text[kPinTextSize] = {};
  explicit PinText(const char *pin) { std::memcpy(text, pin, strnlen(pin, kPinMax)); }
  ~PinText() { SecureZero(text, sizeof text); }
};

ULONG VerifyUser(PinContext &c, char *caller_pin, ULONG *retries) {
  PinText pin(caller_pin);
  const bool marker = IsPinAskMarker(caller_pin);
  std::uint32_t left = kNoCount;
  const int r = QX_VerifyPinOrAsk(c.device, pin.text, &left);
  if (r == 0) {
    if (marker) std::memcpy(caller_pin, pin.text, kPinTextSize);  // the caller holds 17 bytes
    FillPinSlot(PinSlot::user, c.app_id, pin.text, kPinMax);
    if (c.Get(kUser.remain) == c.Get(kUser.max)) return SAR_OK;
    c.Reset(kUser);
    return c.WriteBack();
  }
  // A failed exchange or a cancelled dialog reported no count: the record stays as it was.
  if (r == -2 || left == kNoCount) return SAR_FAIL;
  c.Put(kUser.remain, left);
  *retries = left;
  ClearPinSlot(PinSlot::user, c.app_id);
  const ULONG written = c.WriteBack();
  return written == SAR_OK ? Refused(left) : written;
}

// Administrator verification or change: the record's own count decides. `reported` is the
// card's count, still kNoCount when the key command was never answered (a failed challenge
// gives -1 without one): no try was used then.
ULONG AdminOutcome(PinContext &c, int r, std::uint32_t reported, const char *new_pin, bool change,
                   ULONG *retries) {
  if (r == kPinVerified) {
    if (change) c.Put(kAdmin.changed, 1);
    c.Reset(kAdmin);
    FillPinSlot(PinSlot::admin, c.app_id, new_pin, kPinMax);
    return c.WriteBack();
  }
  if (r == kPinFailed || (r == kPinBlocked && reported == kNoCount)) return SAR_FAIL;
  const std::uint32_t left = c.Decrement(kAdmin);
  *retries = left;
  ClearPinSlot(PinSlot::admin, c.app_id);
  const ULONG written = c.WriteBack();
  return written == SAR_OK ? Refused(left) : written;
}

// Handle checks and the common road; SAR_OK with the directory read.
ULONG Open(HAPPLICATION hApplication, PinContext &c) {
  const ApplicationHandle *app = AsApplication(hApplication);
  if (!app || !app->hDev) return SAR_INVALIDHANDLEERR;
  c.device = app->hDev;
  c.app_id = app->AppId;
  return ReadContainerDirectory(c.device, c.app_id, c.directory) ? SAR_OK : SAR_FAIL;
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_VerifyPIN(HAPPLICATION hApplication, ULONG ulPINType, LPSTR szPIN,
                           ULONG *pulRetryCount) {
  return RunExport("SKF_VerifyPIN", [&]() -> ULONG {
    if (!AsApplication(hApplication)) return SAR_INVALIDHANDLEERR;
    if (!szPIN || !pulRetryCount) return SAR_INVALIDPARAMERR;
    if (!PinLengthOk(szPIN) && !(ulPINType == ADMIN_TYPE && IsDefaultAdminPin(szPIN))) {
      return SAR_PIN_LEN_RANGE;
    }
    PinContext c{};
    const ULONG opened = Open(hApplication, c);
    if (opened != SAR_OK) return opened;
    if (ulPINType == USER_TYPE) return VerifyUser(c, szPIN, pulRetryCount);
    if (ulPINType != ADMIN_TYPE) return SAR_USER_TYPE_INVALID;
    std::uint32_t reported = kNoCount;
    const int r = QX_VerifyAdminPin(c.device, szPIN, &reported);
    return AdminOutcome(c, r, reported, szPIN, false, pulRetryCount);
  });
}

ULONG DEVAPI SKF_ChangePIN(HAPPLICATION hApplication, ULONG ulPINType, LPSTR szOldPin,
                           LPSTR szNewPin, ULONG *pulRetryCount) {
  return RunExport("SKF_ChangePIN", [&]() -> ULONG {
    if (!AsApplication(hApplication)) return SAR_INVALIDHANDLEERR;
    if (!szOldPin || !szNewPin || !pulRetryCount) return SAR_INVALIDPARAMERR;
    if (szOldPin[0] == '\0' || szNewPin[0] == '\0') return SAR_PIN_INVALID;
    if (ulPINType != ADMIN_TYPE && !PinLengthOk(szNewPin)) return SAR_PIN_LEN_RANGE;
    if (ulPINType == ADMIN_TYPE && !AdminPinLengthOk(szNewPin)) return SAR_INVALIDPARAMERR;
    PinContext c{};
    const ULONG opened = Open(hApplication, c);
    if (opened != SAR_OK) return opened;
    const PinText old_pin(szOldPin), new_pin(szNewPin);
    if (ulPINType == ADMIN_TYPE) {
      std::uint32_t reported = kNoCount;
      const int r = QX_ChangeAdminPin(c.device, old_pin.text, new_pin.text, &reported);
      return AdminOutcome(c, r, reported, new_pin.text, true, pulRetryCount);
    }
    std::uint32_t left = kNoCount;
    if (QX_ChangeUserPin(c.device, old_pin.text, new_pin.text, &left) == 0) {
      c.Put(kUser.changed, 1);
      c.Reset(kUser);
      FillPinSlot(PinSlot::user, c.app_id, new_pin.text, kPinMax);
      return c.WriteBack();
    }
    if (left == kNoCount) return SAR_FAIL;
    c.Put(kUser.remain, left);
    *pulRetryCount = left;
    ClearPinSlot(PinSlot::user, c.app_id);
    const ULONG written = c.WriteBack();
    return written == SAR_OK ? Refused(left) : written;
  });
}

ULONG DEVAPI SKF_GetPINInfo(HAPPLICATION hApplication, ULONG ulPINType, ULONG *pulMaxRetryCount,
                            ULONG *pulRemainRetryCount, BOOL *pbDefaultPin) {
  return RunExport("SKF_GetPINInfo", [&]() -> ULONG {
    if (!pulMaxRetryCount || !pulRemainRetryCount || !pbDefaultPin) return SAR_INVALIDPARAMERR;
    PinContext c{};
    const ULONG opened = Open(hApplication, c);
    if (opened != SAR_OK) return opened;
    const PinRecord &r = ulPINType == ADMIN_TYPE ? kAdmin : kUser;
    *pulMaxRetryCount = c.Get(r.max);
    *pulRemainRetryCount = c.Get(r.remain);
    *pbDefaultPin = c.Get(r.changed) == 0 ? TRUE : FALSE;
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
    if (!PinLengthOk(szNewUserPIN)) return SAR_PIN_LEN_RANGE;
    if (!AdminPinLengthOk(szAdminPIN)) return SAR_INVALIDPARAMERR;
    if (!app->hDev) return SAR_INVALIDHANDLEERR;
    AppDirectory devices;
    if (!ReadAppDirectory(app->hDev, devices)) return SAR_FAIL;
    PinContext c{};
    const ULONG opened = Open(hApplication, c);
    if (opened != SAR_OK) return opened;
    const PinText admin_pin(szAdminPIN), user_pin(szNewUserPIN);
    std::uint32_t left = kNoCount;
    if (QX_UnblockUserPin(c.device, admin_pin.text, user_pin.text, &left) == 0) {
      c.Put(kUser.changed, 1);
      c.Reset(kAdmin);
      c.Reset(kUser);
      return c.WriteBack();
    }
    if (left == kNoCount) return SAR_FAIL;
    c.Put(kAdmin.remain, left);
    *pulRetryCount = left;
    const ULONG written = c.WriteBack();
    return written == SAR_OK ? SAR_PIN_INCORRECT : written;
  });
}

}  // extern "C"
