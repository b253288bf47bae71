#include "skf/card/pin_ask.h"

#include <cstdio>
#include <cstring>

#include "platform/os/prompt.h"
#include "skf/card/pin_dialog.h"
#include "skf/card/pin_result.h"
#include "skf/card/pin_texts.h"
#include "skf/card/secure_zero.h"
#include "skf/card/user_pin.h"

namespace {

constexpr std::size_t kWorkSize = 128;
constexpr std::size_t kMessageSize = 256;
constexpr unsigned kRetryStyle = os::kMbOkCancel | os::kMbIconWarning | os::kMbDefButton2;

void SetRetries(std::uint32_t *retries, std::uint32_t value) {
  if (retries) *retries = value;
}

// Verifies a copy of `pin` in a zeroed work buffer.
int VerifyCopy(DEVHANDLE device, const char *pin) {
  char work[kWorkSize] = {};
  std::memcpy(work, pin, strnlen(pin, kWorkSize - 1));
  const int r = QX_VerifyUserPin(device, work, static_cast<int>(std::strlen(work)));
  SecureZero(work, sizeof work);
  return r;
}

// Verifies the cached or entered PIN until it is right, the key is blocked or the user gives up.
int AskAndVerify(DEVHANDLE device, char pin[kPinTextSize], std::uint32_t *retries) {
  char current[kPinTextSize] = {};
  if (GetPin_FromMap(current) != 0 && ShowPinDialog(current) != 0) return -1;
  for (;;) {
    const int r = VerifyCopy(device, current);
    if (r == kPinVerified) {
      std::memcpy(pin, current, kPinTextSize);
      SecureZero(current, sizeof current);
      return 0;
    }
    SecureZero(current, sizeof current);
    if (r == kPinBlocked) {
      SetRetries(retries, 0);
      os::ShowMessage(kPinLockedMessage, kPinCaption, os::kMbIconError);
      return -1;
    }
    // The card reported no count: the exchange failed, the retries stay as they were.
    if (r <= 0) return -2;
    SetRetries(retries, static_cast<std::uint32_t>(r));
    char message[kMessageSize];
    if (r == 1) {
      std::snprintf(message, sizeof message, "%s", kPinLastTryMessage);
    } else {
      std::snprintf(message, sizeof message, kPinRetryMessage, r);
    }
    if (os::ShowMessage(message, kPinCaption, kRetryStyle) == os::kIdCancel) return -1;
    if (ShowPinDialog(current) != 0) return -1;
  }
}

}  // namespace

void QX_PinAskMarker(char marker[kPinAskMarkerLength + 1]) {
  // Two control characters, then the digits of a fixed number.
  marker[0] = 0x1D;
  marker[1] = 0x1E;
  unsigned value = 48151623u;
  for (int i = kPinAskMarkerLength - 1; i >= 2; --i) {
    marker[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  marker[kPinAskMarkerLength] = 0;
}

bool IsPinAskMarker(const char *pin) {
  char marker[kPinAskMarkerLength + 1];
  QX_PinAskMarker(marker);
  return pin && std::strncmp(pin, marker, sizeof marker) == 0;
}

int QX_VerifyPinOrAsk(DEVHANDLE device, char pin[kPinTextSize], std::uint32_t *retries) {
  if (!pin) return -1;
  if (IsPinAskMarker(pin)) return AskAndVerify(device, pin, retries);
  const int r = VerifyCopy(device, pin);
  if (r == kPinVerified) return 0;
  if (r == kPinBlocked) {
    SetRetries(retries, 0);
    return -1;
  }
  if (r > 0) {
    SetRetries(retries, static_cast<std::uint32_t>(r));
    return -1;
  }
  return -2;
}
