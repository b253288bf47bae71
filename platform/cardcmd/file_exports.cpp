// File operations: SELECT, READ BINARY and UPDATE BINARY as the caller forms them, and the two
// directory operations over the card's container directories.
#include <cstring>
#include <optional>

#include "platform/cardcmd/card_paths.h"
#include "platform/cardcmd/cardcmd.h"
#include "platform/cardcmd/export_guard.h"
#include "platform/cardcmd/open_keys.h"
#include "skf/api/directory.h"
#include "skf/card/apdu.h"
#include "skf/card/commands.h"
#include "skf/card/key_lock.h"

namespace {

constexpr std::uint8_t kSelectMf = 0x00;
constexpr std::uint8_t kSelectDf = 0x01;
constexpr std::uint8_t kPlainClass = 0x00;
constexpr std::uint8_t kAppDfHigh = 0xAD;
constexpr std::uint8_t kEmptyLength[] = {0xFF, 0xFF};  // length field of an empty file

// The application DF that a successful SELECT makes current, or `current` when it stays.
std::uint32_t AppAfterSelect(std::uint32_t current, std::uint8_t p1, std::uint8_t lc,
                             const std::uint8_t *data) {
  if (p1 == kSelectMf) return 0;
  if (p1 == kSelectDf && lc == 2 && data[0] == kAppDfHigh && data[1] >= 1 &&
      data[1] <= kMaxApplications) {
    return kAppIdBase + data[1];
  }
  return current;  // a container DF inside it, or an EF
}

bool InRange(std::int32_t value, std::int32_t count) { return value >= 0 && value < count; }

// Takes the key for the call, and makes the caller's selection current again when another call,
// of any process, used the key since the caller's last one. Nothing when the card is as the
// caller left it; else what the call returns, with the refusal's status word in *sw.
std::optional<int> Resume(const OpenKey &key, std::uint16_t *sw) {
  if (!KeyAccess(key.device)) return kApduFailed;
  if (key.takings == 0 || KeyTakings(key.device) == key.takings + 1 || key.selection.count <= 0) {
    return std::nullopt;
  }
  const int result = Reselect(key.device, key.selection, sw);
  if (result < 0) return result;
  if (result > 0) return 0;
  return std::nullopt;
}

}  // namespace

extern "C" {

int32_t CARDCMD_API Select_File(int32_t card, uint8_t p1, uint8_t p2, uint8_t lc,
                                const uint8_t *data, uint16_t *sw) {
  return Guarded(kApduFailed, [&]() -> std::int32_t {
    OpenKey key;
    if (!sw || (lc > 0 && !data) || !FindOpenKey(card, &key)) return kBadArguments;
    CardCall call(card, key.selection);
    if (const auto refused = Resume(key, sw)) return *refused;
    const int result = QX_Select(key.device, p1, p2, {data, lc}, sw);
    Selection selection = key.selection;
    if (result >= 0 && *sw == kSwOk) {
      SetSelectedApp(card, AppAfterSelect(key.app_id, p1, lc, data));
      AddSelect(selection, p1, p2, {data, lc});
    }
    call.Leaves(selection);
    return result;
  });
}

int32_t CARDCMD_API Read_Binary(int32_t card, uint8_t cla, uint8_t p1, uint8_t p2, uint8_t lc,
                                uint8_t length, uint8_t *out, uint16_t *sw) {
  return Guarded(kApduFailed, [&]() -> std::int32_t {
    OpenKey key;
    if (!out || !sw || cla != kPlainClass || lc != 0 || length == 0 || length > CARDCMD_MAX_READ ||
        !FindOpenKey(card, &key)) {
      return kBadArguments;
    }
    CardCall call(card, key.selection);
    if (const auto refused = Resume(key, sw)) return *refused;
    return QX_ReadBinary(key.device, cla, p1, p2, nullptr, length, {out, length}, sw);
  });
}

int32_t CARDCMD_API Update_Binary(int32_t card, uint8_t cla, uint8_t p1, uint8_t p2, uint8_t lc,
                                  const uint8_t *data, uint16_t *sw) {
  return Guarded(kApduFailed, [&]() -> std::int32_t {
    OpenKey key;
    if (!data || !sw || cla != kPlainClass || lc == 0 || lc > CARDCMD_MAX_READ ||
        !FindOpenKey(card, &key)) {
      return kBadArguments;
    }
    CardCall call(card, key.selection);
    if (const auto refused = Resume(key, sw)) return *refused;
    return QX_UpdateBinary(key.device, cla, p1, p2, {data, lc}, sw);
  });
}

int32_t CARDCMD_API QX_DeleteCert(int32_t card, int32_t application, int32_t container,
                                  int32_t signing) {
  return Guarded(kBadArguments, [&]() -> std::int32_t {
    OpenKey key;
    if (!InRange(application, kAppIndexes) || !InRange(container, kContainerIndexes) ||
        !FindOpenKey(card, &key)) {
      return kBadArguments;
    }
    const CardCall call(card);
    const std::uint32_t app_id = AppDfOf(static_cast<std::size_t>(application));
    ContainerDirectory directory;
    SetSelectedApp(card, 0);
    if (!ReadContainerDirectory(key.device, app_id, directory)) return -1;
    const auto index = static_cast<std::size_t>(container);
    if (index >= ContainerEntryCount(directory)) return -1;
    const auto entry = ContainerEntry(directory, index);
    if (entry[kContainerName] == 0) return -1;
    const std::uint16_t ef = signing ? kSignCertEf : kEncCertEf;
    std::uint16_t sw = 0;
    if (!SelectDf(key.device, ContainerDfOf(app_id, index)) || !SelectEf(key.device, ef) ||
        QX_UpdateBinary(key.device, kPlainClass, 0, 0, kEmptyLength, &sw) < 0 || sw != kSwOk) {
      return -1;
    }
    PutU32(entry, signing ? kSignCertPresent : kEncCertPresent, 0);
    if (!WriteContainerDirectory(key.device, app_id, directory)) return -1;
    SetSelectedApp(card, app_id);
    return 0;
  });
}

int32_t CARDCMD_API QX_ClearDir(int32_t card, int32_t application) {
  return Guarded(kBadArguments, [&]() -> std::int32_t {
    OpenKey key;
    if (!InRange(application, kAppIndexes) || !FindOpenKey(card, &key)) return kBadArguments;
    const CardCall call(card);
    const std::uint32_t app_id = AppDfOf(static_cast<std::size_t>(application));
    ContainerDirectory directory;
    SetSelectedApp(card, 0);
    if (!ReadContainerDirectory(key.device, app_id, directory)) return -1;
    for (std::size_t j = 0; j < ContainerEntryCount(directory); ++j) {
      const auto entry = ContainerEntry(directory, j);
      std::memset(entry.data(), 0, entry.size());
    }
    if (!WriteContainerDirectory(key.device, app_id, directory)) return -1;
    SetSelectedApp(card, app_id);
    return 0;
  });
}

}  // extern "C"
