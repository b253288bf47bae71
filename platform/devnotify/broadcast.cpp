#include "platform/devnotify/broadcast.h"

#include <dbt.h>

#include <algorithm>
#include <cstring>

namespace {

// GUID_DEVINTERFACE_SMARTCARD_READER {50DD5230-BA8A-11D1-BF5D-0000F805F530}.
constexpr GUID kSmartCardReaderClass = {
    0x50DD5230, 0xBA8A, 0x11D1, {0xBF, 0x5D, 0x00, 0x00, 0xF8, 0x05, 0xF5, 0x30}};

static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) == kNameOffset);

}  // namespace

void FormInterfaceRecord(const std::string &reader, InterfaceRecord &record) {
  std::memset(record.bytes, 0, sizeof record.bytes);
  const std::size_t n = std::min<std::size_t>(reader.size(), READERIO_NAME_SLOT - 1);
  DEV_BROADCAST_DEVICEINTERFACE_A header{};
  header.dbcc_size = static_cast<DWORD>(kNameOffset + n + 1);
  header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  header.dbcc_classguid = kSmartCardReaderClass;
  std::memcpy(record.bytes, &header, kNameOffset);
  std::memcpy(record.bytes + kNameOffset, reader.data(), n);
}
