#include "skf/card/device.h"

#include <cstring>

#include "platform/os/os.h"
#include "skf/card/binding.h"
#include "skf/card/key_lock.h"

namespace {

constexpr std::uint32_t kEmptyListPauseMs = 80;
// readerio is given room well beyond the 64 characters it may write.
constexpr std::size_t kDescriptorTextBuffer = 260;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return -1;
}

// Where readerio reaches the reader (QX_READER_INFO's szLocation); left empty when readerio
// gives none.
void ReaderLocation(const ReaderApiTable &api, DEVHANDLE device, std::span<char> location) {
  QX_READER_INFO info = {};
  info.cbSize = sizeof info;
  if (StatusWord(api.QX_GetReaderInfo(device, &info)) != kSwOk) return;
  const std::size_t n = strnlen(info.szLocation, sizeof info.szLocation);
  if (n < location.size()) std::memcpy(location.data(), info.szLocation, n);
}

}  // namespace

int QX_EnumReaderNames(int /*unused*/, std::span<char> names, std::uint32_t *length) {
  if (BindReaderApi() != 0) return -1;
  const ReaderApiTable &api = *BoundReaderApi();
  char joined[kReaderListSize] = {};
  std::size_t used = 0;
  std::uint32_t count = 0;
  char **list = api.QX_GetReaderList(&count, 0);
  if (list) {
    if (count == 0) os::SleepMs(kEmptyListPauseMs);
    for (std::uint32_t i = 0; i < count; ++i) {
      const char *name = list[i];
      if (!name) break;
      const std::size_t n = strnlen(name, kReaderNameSlot - 1);
      if (used + n + 1 > sizeof joined) break;  // whole names only
      std::memcpy(joined + used, name, n);
      used += n + 1;
    }
    api.QX_DestroyReaderList(list);
  }
  if (length) *length = static_cast<std::uint32_t>(used);
  if (!names.empty()) {
    if (names.size() < used) return -1;
    std::memcpy(names.data(), joined, used);
  }
  return 0;
}

DEVHANDLE QX_OpenByPath(const char *reader_name) {
  if (!reader_name || BindReaderApi() != 0) return nullptr;
  const ReaderApiTable &api = *BoundReaderApi();
  DEVHANDLE device = nullptr;
  if (StatusWord(api.QX_OpenPath(reader_name, &device)) != kSwOk) return nullptr;
  // Every device of one reader shares its key's lock; one without it could interleave.
  char location[sizeof QX_READER_INFO::szLocation] = {};
  ReaderLocation(api, device, location);
  if (!RecordDeviceKey(device, reader_name, location)) {
    api.QX_ClosePort(device);
    return nullptr;
  }
  return device;
}

int QX_Close(DEVHANDLE device) {
  const ReaderApiTable *api = BoundReaderApi();
  if (!api || !device) return 0;
  {
    // Waits for the card work of other exports on the device; closes it anyway where waiting
    // would deadlock (closing leaves the card as it is).
    const KeyAccess access(device);
    api->QX_ClosePort(device);
  }
  ForgetDeviceKey(device);
  return 0;
}

int QX_ResetCardAtr(DEVHANDLE device, std::uint8_t *answer) {
  const ReaderApiTable *api = BoundReaderApi();
  if (!answer || !api) return kCardFailed;
  const KeyAccess access(device);
  if (!access) return kCardFailed;
  std::uint8_t atr[kAtrSize] = {};
  std::uint16_t length = 0;
  if (StatusWord(api->QX_ResetCard(device, atr, &length, 0)) != kSwOk) return kCardFailed;
  if (length > sizeof atr) return kCardFailed;
  std::memcpy(answer, atr, length);
  return 0;
}

int QX_ReadDescriptor(DEVHANDLE device, std::uint8_t *descriptor) {
  const ReaderApiTable *api = BoundReaderApi();
  if (!descriptor || !api) return kCardFailed;
  const KeyAccess access(device);
  if (!access) return kCardFailed;
  char text[kDescriptorTextBuffer] = {};
  if (StatusWord(api->QX_GetDescriptor(device, text)) != kSwOk) return kCardFailed;
  const std::size_t n = strnlen(text, sizeof text);
  if (n > kDescriptorTextMax) return kCardFailed;
  std::uint8_t bytes[kDescriptorSize] = {};
  const std::size_t count = n / 2;
  for (std::size_t i = 0; i < count; ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return kCardFailed;
    bytes[i] = static_cast<std::uint8_t>(16 * high + low);
  }
  constexpr std::size_t kPatchedByte = 12;
  if (count > kPatchedByte && bytes[kPatchedByte] == 0xDF) bytes[kPatchedByte] = 0xE0;
  std::memcpy(descriptor, bytes, count);
  return 0;
}

int QX_GET_BCDSN(DEVHANDLE device, char *serial) {
  if (!serial) return kCardFailed;
  std::uint8_t descriptor[kDescriptorSize] = {};
  if (QX_ReadDescriptor(device, descriptor) != 0) return kCardFailed;
  constexpr std::size_t kNumberSize = 4;
  const auto *zero =
      static_cast<const std::uint8_t *>(std::memchr(descriptor, 0, sizeof descriptor));
  if (!zero) return kCardFailed;
  const std::size_t at = static_cast<std::size_t>(zero - descriptor) + 1;
  if (at + kNumberSize > sizeof descriptor) return kCardFailed;
  std::uint8_t bcd[kNumberSize] = {};
  if (NumberToBcd({descriptor + at, kNumberSize}, bcd) != 0) return kCardFailed;
  ToUpperHex(bcd, {serial, kSerialTextSize});
  return 0;
}
