// Pointer types of the ten readerio entry points, bound at run time by name.
#pragma once

#include <cstdint>

#include "readerio.h"

typedef void *DEVHANDLE;  // readerio's device handle; 0 means none

using QX_GetReaderList_t = decltype(&::QX_GetReaderList);
using QX_DestroyReaderList_t = decltype(&::QX_DestroyReaderList);
using QX_ResetCard_t = decltype(&::QX_ResetCard);
using QX_GetDescriptor_t = decltype(&::QX_GetDescriptor);
using QX_OpenPort_t = decltype(&::QX_OpenPort);
using QX_ClosePort_t = decltype(&::QX_ClosePort);
using QX_ApduT0_t = decltype(&::QX_ApduT0);
using QX_GetDeviceName_t = decltype(&::QX_GetDeviceName);
using QX_OpenPath_t = decltype(&::QX_OpenPath);
using QX_GetReaderInfo_t = decltype(&::QX_GetReaderInfo);

inline constexpr std::uint16_t kSwOk = 0x9000;
// readerio results carry the status word in their low 16 bits.
constexpr std::uint16_t StatusWord(std::uint32_t result) {
  return static_cast<std::uint16_t>(result);
}
inline constexpr std::uint32_t kReaderNameSlot = READERIO_NAME_SLOT;
