// The device-interface record of a notification: a DEV_BROADCAST_DEVICEINTERFACE_A whose
// dbcc_name (byte 28) is the reader name, and the smart-card reader interface class.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "readerio.h"

inline constexpr std::size_t kNameOffset = 28;  // of dbcc_name

struct InterfaceRecord {
  alignas(DWORD) std::uint8_t bytes[kNameOffset + READERIO_NAME_SLOT];
};

// Fills the record for `reader` (cut to fit its slot); dbcc_size counts the name's NUL.
void FormInterfaceRecord(const std::string &reader, InterfaceRecord &record);
