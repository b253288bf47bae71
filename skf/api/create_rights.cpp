#include "skf/api/create_rights.h"

#include <cstring>

#include "skf/api/directory.h"
#include "skf/api/export_util.h"
#include "skf/card/admin_pin.h"
#include "skf/card/pin_ask.h"
#include "skf/card/secure_zero.h"

ULONG CheckCreateRights(const ApplicationHandle &app) {
  AppDirectory directory;
  if (!ReadAppDirectory(app.hDev, directory) || !SelectDf(app.hDev, app.AppId)) return SAR_FAIL;
  const std::uint32_t n = AppNumber(app.AppId);
  if (n < 1 || n > AppEntryCount(directory)) return SAR_FAIL;
  const std::uint32_t rights = GetU32(AppEntry(directory, n - 1), kAppCreateFileRights);
  if (rights != kUserRights && rights != kAdminRights) return SAR_OK;

  char slot[kPinSlotSize];
  ReadPinSlot(rights == kUserRights ? PinSlot::user : PinSlot::admin, app.AppId, slot);
  char pin[kPinTextSize] = {};
  std::memcpy(pin, slot, strnlen(slot, kPinTextSize - 1));
  SecureZero(slot, sizeof slot);
  if (pin[0] == '\0') return SAR_USER_NOT_LOGGED_IN;
  std::uint32_t retries = 0;
  const int verified = rights == kUserRights ? QX_VerifyPinOrAsk(app.hDev, pin, &retries)
                                             : QX_VerifyAdminPin(app.hDev, pin, &retries);
  SecureZero(pin, sizeof pin);
  return verified == 0 ? SAR_OK : SAR_PIN_INCORRECT;
}
