#include "certdesk/pin_attempt.h"

#include "certdesk/cardcmd_binding.h"
#include "certdesk/key_device.h"

namespace certdesk {

std::int32_t OpenForPin(const PinSelection &selection, OpenFailure *failure) {
  const std::int32_t handle = OpenKeyDevice(selection.slot);
  if (handle < 1) {
    *failure = OpenFailure::kNotOpened;
    return 0;
  }
  std::uint8_t answer[CARDCMD_RESET_BUFFER] = {};
  BoundCardCmd().reset(handle, answer);
  if (!SelectApplication(handle, selection.pair / kListedContainers)) {
    CloseKeyDevice(handle);
    *failure = OpenFailure::kNotSelected;
    return 0;
  }
  *failure = OpenFailure::kNone;
  return handle;
}

}  // namespace certdesk
