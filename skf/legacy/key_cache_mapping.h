// The key-cache mapping ZVSM2KEY, which traywatch creates: tokenbase empties its first part after
// every change of applications or containers.
#pragma once

#include <cstddef>

inline constexpr char kKeyCacheMappingName[] = "ZVSM2KEY";
inline constexpr std::size_t kKeyCacheClearedSize = 34480;  // 0x86B0

// Zeroes the first 34480 bytes of ZVSM2KEY (all of it when it is smaller). 0, or -1 when the
// mapping does not exist or cannot be mapped.
int ClearKeyCacheMapping();
