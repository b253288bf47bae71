#include "skf/card/apdu.h"

#include <cstring>

#include "skf/card/binding.h"
#include "skf/card/device.h"
#include "skf/card/heap_bytes.h"
#include "skf/card/key_lock.h"

namespace {

// Room for any answer readerio can report (its length is 16 bits).
constexpr std::size_t kAnswerRoom = 0x10000;
constexpr std::uint8_t kMoreData = 0x61;
constexpr std::uint8_t kReaderFailure = 0xFF;

}  // namespace

int QX_Application_Manager(DEVHANDLE device, std::span<const std::uint8_t> command,
                           std::span<std::uint8_t> response, std::uint16_t *status) {
  const ReaderApiTable *api = BoundReaderApi();
  if (!api || command.size() > 0xFFFF) return kApduFailed;
  // The answers may be secrets (decrypted data, key components): cleared when it goes.
  AnswerRoom answer(kAnswerRoom);
  if (!answer.ok()) return kApduFailed;
  const KeyAccess access(device);
  if (!access) return kApduFailed;
  std::uint16_t length = 0;
  std::uint16_t sw =
      StatusWord(api->QX_ApduT0(device, command.data(), static_cast<std::uint32_t>(command.size()),
                                answer.data(), &length, 1));
  answer.Filled(length);
  for (int fetched = 0; sw >> 8 == kMoreData; ++fetched) {
    if (fetched == kMaxGetResponse) return kApduFailed;
    const std::uint8_t get_response[] = {0x00, 0xC0, 0x00, 0x00, static_cast<std::uint8_t>(sw)};
    length = 0;
    sw = StatusWord(
        api->QX_ApduT0(device, get_response, sizeof get_response, answer.data(), &length, 1));
    answer.Filled(length);
  }
  LogTrace("QX_Application_Manager sw = %x", sw);
  if (sw >> 8 == kReaderFailure) return kApduFailed;
  if (response.data()) {
    if (length > response.size()) return kApduFailed;
    std::memcpy(response.data(), answer.data(), length);
  }
  if (status) *status = sw;
  return length;
}
