#include "skf/api/key_gate.h"

#include <cstring>

#include "skf/api/export_util.h"
#include "skf/card/pin_ask.h"
#include "skf/card/pin_cache.h"
#include "skf/card/secure_zero.h"

namespace {
constexpr int kSharedSlotEmpty = -1;
constexpr int kSharedSlotFound = 0;
constexpr std::uint32_t kFirstAppId = kAppIdBase + 1;
}  // namespace

ULONG OpenKeyContainer(const ContainerHandle &container, KeyContainer &out) {
  out.app_id = AppIdOfContainer(container.ContainerId);
  out.index = ContainerIndex(container.ContainerId);
  if (!ReadContainerDirectory(container.hDev, out.app_id, out.directory)) return SAR_FAIL;
  if (out.index >= ContainerEntryCount(out.directory)) return SAR_FAIL;
  if (!SelectDf(container.hDev, container.ContainerId)) return SAR_FAIL;
  return SAR_OK;
}

std::uint32_t EntryField(KeyContainer &container, std::size_t offset) {
  return GetU32(ContainerEntry(container.directory, container.index), offset);
}

void SetEntryField(KeyContainer &container, std::size_t offset, std::uint32_t value) {
  PutU32(ContainerEntry(container.directory, container.index), offset, value);
}

ULONG PrivateKeyPinStep(DEVHANDLE device, std::uint32_t app_id, SharedSlot shared) {
  if (shared == SharedSlot::consult) {
    char cached[kPinTextSize] = {};
    const int found = GetPin_FromMap(cached);
    if (found == kSharedSlotEmpty) return SAR_USER_NOT_LOGGED_IN;
    if (found == kSharedSlotFound) FillPinSlot(PinSlot::user, kFirstAppId, cached, kPinTextMax);
    SecureZero(cached, sizeof cached);
  }
  char pin[kPinSlotSize];
  ReadPinSlot(PinSlot::user, app_id, pin);
  ULONG result = SAR_USER_NOT_LOGGED_IN;
  if (pin[0] != '\0') {
    const bool marker = IsPinAskMarker(pin);
    std::uint32_t retries = 0;
    result = QX_VerifyPinOrAsk(device, pin, &retries) == 0 ? SAR_OK : SAR_PIN_INCORRECT;
    // A marker in the slot gives way to the PIN verified for it.
    if (result == SAR_OK && marker) FillPinSlot(PinSlot::user, app_id, pin, kPinTextMax);
  }
  SecureZero(pin, sizeof pin);
  return result;
}

ULONG WriteBackContainer(DEVHANDLE device, const KeyContainer &container) {
  return WriteContainerDirectory(device, container.app_id, container.directory) ? SAR_OK : SAR_FAIL;
}
