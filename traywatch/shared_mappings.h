// The named mappings traywatch creates and keeps open while it runs: ZVSM2KEY (a key cache of
// other programs) and ZVSM2PIN (a PIN cache of other programs). traywatch only zeroes them.
#pragma once

#include <windows.h>

inline constexpr char kKeyMappingName[] = "ZVSM2KEY";
inline constexpr DWORD kKeyMappingSize = 40960;
inline constexpr char kPinMappingName[] = "ZVSM2PIN";
inline constexpr DWORD kPinMappingSize = 64;
inline constexpr DWORD kPinCacheBytes = 32;  // what a key arrival or removal clears

// Creates (or opens, when another program made it first) the pagefile-backed mapping and zeroes
// its first `size` bytes. The handle, or nullptr when the mapping cannot be created. A mapping
// smaller than `size` made by someone else is left as it is.
HANDLE CreateZeroedMapping(const char *name, DWORD size);

// Zeroes the first 32 bytes of ZVSM2PIN: 0, or -1 when it cannot be opened or mapped.
int ClearPinCache();
