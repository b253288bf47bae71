// User PIN verification and change in the application the caller selected, with its PIN
// information (the retry record at the head of the application's container directory) kept as
// the SKF PIN family keeps it: the limit restored on success, the card's count on a refusal,
// untouched when the card gave no answer to the PIN.
#include <algorithm>
#include <cstring>

#include "platform/cardcmd/cardcmd.h"
#include "platform/cardcmd/export_guard.h"
#include "platform/cardcmd/open_keys.h"
#include "skf/api/directory.h"
#include "skf/card/pin_cache.h"
#include "skf/card/pin_result.h"
#include "skf/card/secure_zero.h"
#include "skf/card/user_pin.h"

namespace {

// The change block: old PIN, the separator, new PIN; each 1 to 16 characters.
constexpr std::size_t kPinChars = kPinTextMax;
constexpr std::size_t kChangeBlockMax = 2 * kPinChars + 1;

bool ChangeBlockOk(std::span<const std::uint8_t> block) {
  const auto separator = std::find(block.begin(), block.end(), kPinSeparator);
  const auto old_length = static_cast<std::size_t>(separator - block.begin());
  if (separator == block.end() || old_length == 0 || old_length > kPinChars) return false;
  const std::size_t new_length = block.size() - old_length - 1;
  return new_length > 0 && new_length <= kPinChars;
}

// Records the card's answer in the retry record and writes it back when it changed. A record
// that cannot be written turns the result into a failure.
int RecordPinResult(const OpenKey &key, ContainerDirectory &directory, int result,
                    bool changed_pin) {
  if (result == kPinFailed) return result;
  const std::uint32_t max = GetU32(directory.bytes, kUserMaxRetry);
  const std::uint32_t before = GetU32(directory.bytes, kUserRemainRetry);
  std::uint32_t remain = max;
  if (result == kPinBlocked) remain = 0;
  if (result > 0) remain = static_cast<std::uint32_t>(result);
  if (result == kPinVerified && changed_pin) PutU32(directory.bytes, kUserPinChanged, 1);
  if (remain == before && !(result == kPinVerified && changed_pin)) return result;
  PutU32(directory.bytes, kUserRemainRetry, remain);
  return WriteContainerDirectory(key.device, key.app_id, directory) ? result : kPinFailed;
}

// The selected application's key and directory; false when none is selected or it is unread.
bool OpenSelectedApp(std::int32_t card, OpenKey *key, ContainerDirectory &directory) {
  return FindOpenKey(card, key) && key->app_id != 0 &&
         ReadContainerDirectory(key->device, key->app_id, directory);
}

}  // namespace

extern "C" {

int32_t CARDCMD_API QX_VerifyPinUpDatePinInfoFile(int32_t card, const char *pin, int32_t length) {
  return Guarded(kPinFailed, [&]() -> std::int32_t {
    if (!pin || length < 1 || length > kPinTextMax) return kPinFailed;
    char text[kPinTextSize] = {};
    std::memcpy(text, pin, strnlen(pin, static_cast<std::size_t>(length)));
    OpenKey key;
    ContainerDirectory directory;
    int result = kPinFailed;
    const CardCall call(card);
    if (text[0] != '\0' && OpenSelectedApp(card, &key, directory)) {
      result = QX_VerifyUserPin(key.device, text, length);
      result = RecordPinResult(key, directory, result, false);
    }
    SecureZero(text, sizeof text);
    return result;
  });
}

int32_t CARDCMD_API QX_ChangePin(int32_t card, int32_t length, const uint8_t *change) {
  return Guarded(kPinFailed, [&]() -> std::int32_t {
    if (!change || length < 3 || static_cast<std::size_t>(length) > kChangeBlockMax) {
      return kPinFailed;
    }
    const std::span<const std::uint8_t> block(change, static_cast<std::size_t>(length));
    OpenKey key;
    ContainerDirectory directory;
    const CardCall call(card);
    if (!ChangeBlockOk(block) || !OpenSelectedApp(card, &key, directory)) return kPinFailed;
    return RecordPinResult(key, directory, QX_SendUserPinChange(key.device, block), true);
  });
}

}  // extern "C"
