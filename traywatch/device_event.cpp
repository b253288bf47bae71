#include "traywatch/device_event.h"

#include <dbt.h>

#include <cstddef>
#include <cstring>

static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) == 28);

const char *DeviceInterfaceName(LPARAM record) {
  constexpr std::size_t kName = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
  const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(record);
  // The size first: it says how much of the rest may be read.
  if (!header || header->dbch_size <= kName ||
      header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
    return nullptr;
  }
  const auto *name = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A *>(record)->dbcc_name;
  return std::memchr(name, '\0', header->dbch_size - kName) ? name : nullptr;
}
