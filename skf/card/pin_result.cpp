#include "skf/card/pin_result.h"

#include "skf/card/readerio_api.h"

namespace {

constexpr std::uint16_t kSwRetriesMask = 0xFFF0;
constexpr std::uint16_t kSwRetries = 0x63C0;

struct StatusRow {
  std::uint16_t sw;
  int result;
};

constexpr StatusRow kPinStatus[] = {
    {kSwOk, kPinVerified},
    {0x63C0, kPinBlocked},
    {0x6983, kPinBlocked},
    {0x9303, kPinBlocked},
};

}  // namespace

int PinResult(int transport, std::uint16_t sw) {
  if (transport < 0) return kPinFailed;
  for (const StatusRow &row : kPinStatus) {
    if (row.sw == sw) return row.result;
  }
  if ((sw & kSwRetriesMask) == kSwRetries) return sw & 0x0F;  // 63C1 .. 63CF
  return kPinFailed;
}

int PinOutcome(int r, std::uint32_t *retries) {
  if (r == kPinVerified) return 0;
  if (r == kPinBlocked) {
    if (retries) *retries = 0;
  } else if (r > 0) {
    if (retries) *retries = static_cast<std::uint32_t>(r);
  }
  return -1;
}
