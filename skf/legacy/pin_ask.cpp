// tokenbase's user PIN verification for the exports: the PIN given, verified on the card. There
// is no ask marker and no PIN dialog.
#include "skf/card/pin_ask.h"

#include <cstring>

#include "skf/card/pin_result.h"
#include "skf/card/secure_zero.h"
#include "skf/card/user_pin.h"

namespace {

constexpr std::size_t kWorkSize = 128;

}  // namespace

bool IsPinAskMarker(const char * /*pin*/) { return false; }

int QX_VerifyPinOrAsk(DEVHANDLE device, char pin[kPinTextSize], std::uint32_t *retries) {
  if (!pin) return -1;
  char work[kWorkSize] = {};
  std::memcpy(work, pin, strnlen(pin, kPinTextSize - 1));
  const int r = QX_VerifyUserPin(device, work, static_cast<int>(std::strlen(work)));
  SecureZero(work, sizeof work);
  return PinOutcome(r, retries);
}
