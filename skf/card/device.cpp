#include "skf/card/device.h"

#include <cstring>

#include "platform/os/os.h"
#include "skf/card/binding.h"

namespace {

constexpr std::uint32_t kEmptyListPauseMs = 80;
// readerio is given room well beyond the 64 characters it may write.
constexpr std::size_t kDescriptorTextBuffer = 260;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return -1;
}

}  // namespace

int QX_EnumReaderNames(int /*unused*/, std::span<char> names, std::uint32_t *length) {
  if (BindReaderApi() != 0) return -1;
  char joined[kReaderListSize] = {};
  std::size_t used = 0;
  std::uint32_t count = 0;
  char **list = ReaderApi.QX_GetReaderList(&count, 0);
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
    ReaderApi.QX_DestroyReaderList(list);
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
  DEVHANDLE device = nullptr;
  if (StatusWord(ReaderApi.QX_OpenPath(reader_name, &device)) != kSwOk) return nullptr;
  return device;
}

int QX_Close(DEVHANDLE device) {
  if (ReaderApi.module && device) ReaderApi.QX_ClosePort(device);
  return 0;
}

int QX_ResetCardAtr(DEVHANDLE device, std::uint8_t *answer) {
  if (!answer || !ReaderApi.module) return kCardFailed;
  std::uint8_t atr[kAtrSize] = {};
  std::uint16_t length = 0;
  if (StatusWord(ReaderApi.QX_ResetCard(device, atr, &length, 0)) != kSwOk) return kCardFailed;
  if (length > sizeof atr) return kCardFailed;
  std::memcpy(answer, atr, length);
  return 0;
}

int QX_ReadDescriptor(DEVHANDLE device, std::uint8_t *descriptor) {
  if (!descriptor || !ReaderApi.module) return kCardFailed;
  char text[kDescriptorTextBuffer] = {};
  if (StatusWord(ReaderApi.QX_GetDescriptor(device, text)) != kSwOk) return kCardFailed;
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
