// Device operations: open by device index, close, reset and the card serial.
// The card layer's QX_Close(DEVHANDLE) and QX_GET_BCDSN(DEVHANDLE, char *) are overloads of the
// exports of the same names, told apart by their handle type.
#include <charconv>
#include <cstring>

#include "platform/cardcmd/cardcmd.h"
#include "platform/cardcmd/export_guard.h"
#include "platform/cardcmd/open_keys.h"
#include "platform/cardcmd/reader_names.h"
#include "skf/card/device.h"

namespace {

constexpr std::int32_t kDeviceIndexes = 4;
constexpr std::size_t kBcdSerialSize = 4;

// The card serial text of an open key: 0, or negative.
std::int32_t SerialText(std::int32_t card, char (&text)[kSerialTextSize]) {
  OpenKey key;
  if (!FindOpenKey(card, &key)) return kBadArguments;
  const CardCall call(card);
  return QX_GET_BCDSN(key.device, text) == 0 ? 0 : kCardFailed;
}

}  // namespace

extern "C" {

int32_t CARDCMD_API QX_Open(int32_t device_index) {
  return Guarded(0, [&]() -> std::int32_t {
    if (device_index < 0 || device_index >= kDeviceIndexes) return 0;
    const auto names = KeyReaderNames();
    const auto index = static_cast<std::size_t>(device_index);
    if (index >= names.size()) return 0;
    const DEVHANDLE device = QX_OpenByPath(names[index].c_str());
    if (!device) return 0;
    const std::int32_t card = AddOpenKey(device, names[index]);
    if (card == 0) QX_Close(device);
    return card;
  });
}

int32_t CARDCMD_API QX_Close(int32_t card) {
  return Guarded(kBadArguments, [&]() -> std::int32_t {
    const DEVHANDLE device = RemoveOpenKey(card);
    if (!device) return kBadArguments;
    QX_Close(device);
    return 0;
  });
}

int32_t CARDCMD_API QX_IC_RESET(int32_t card, uint8_t *answer) {
  return Guarded(kCardFailed, [&]() -> std::int32_t {
    OpenKey key;
    if (!FindOpenKey(card, &key)) return kBadArguments;
    const CardCall call(card);
    std::uint8_t atr[kAtrSize] = {};
    if (QX_ResetCardAtr(key.device, atr) != 0) return kCardFailed;
    SetSelectedApp(card, 0);  // the master file is current after a reset
    if (answer) std::memcpy(answer, atr, sizeof atr);
    return 0;
  });
}

int32_t CARDCMD_API QX_GET_SN(int32_t card, char *serial) {
  return Guarded(kCardFailed, [&]() -> std::int32_t {
    if (!serial) return kBadArguments;
    char text[kSerialTextSize] = {};
    const std::int32_t result = SerialText(card, text);
    if (result == 0) std::memcpy(serial, text, sizeof text);
    return result;
  });
}

// The serial text holds the packed decimal bytes in hexadecimal.
int32_t CARDCMD_API QX_GET_BCDSN(int32_t card, uint8_t *serial) {
  return Guarded(kCardFailed, [&]() -> std::int32_t {
    if (!serial) return kBadArguments;
    char text[kSerialTextSize] = {};
    const std::int32_t result = SerialText(card, text);
    if (result != 0) return result;
    std::uint8_t bcd[kBcdSerialSize] = {};
    for (std::size_t i = 0; i < kBcdSerialSize; ++i) {
      const char *digits = text + 2 * i;
      if (std::from_chars(digits, digits + 2, bcd[i], 16).ptr != digits + 2) return kCardFailed;
    }
    std::memcpy(serial, bcd, sizeof bcd);
    return 0;
  });
}

}  // extern "C"
