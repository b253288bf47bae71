// tokenbase's key-file cache m_keyfileInfo: the serial of one key and the file tables of its
// applications AD01 and AD02, one copy for every process on the machine, keyed on the serial.
// A refresh for the cached key costs one serial read and no card command.
#pragma once

#include <cstddef>
#include <cstdint>

#include "skf/api/layout.h"
#include "skf/card/readerio_api.h"

inline constexpr std::size_t kKeyFileSerialSize = 32;
inline constexpr std::size_t kKeyFileSlots = 2;  // AD01, AD02

struct KeyFileInfo {
  char szSN[kKeyFileSerialSize];  // upper-case hex serial text; empty: nothing cached
  std::uint8_t FileTable[kKeyFileSlots][kFileTableSize];  // all zero when unreadable
};
static_assert(sizeof(KeyFileInfo) == 2112);

// The copy slot of an application (AD01: 0, AD02: 1), or -1 for any other.
int KeyFileSlot(std::uint32_t app_id);

// Makes the cache describe the key behind `device` and gives a copy of it that no other
// process is changing. 0, or -1 (cache unchanged) when the serial cannot be read.
int QX_GetKeyFileInfo(DEVHANDLE device, KeyFileInfo *out);
// 0 when the device directory of the selected MF has application `app_id` in use among its
// first two entries, else -1.
int FindKeyApp(DEVHANDLE device, std::uint32_t app_id);
// Empties the cache: the next QX_GetKeyFileInfo of any process reads the card again.
void ClearKeyFileInfo();
