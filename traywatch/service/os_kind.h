// The platform family code the service derives from the system version: only NT 5.0 (6)
// changes what the service does.
#pragma once

#include <windows.h>

inline constexpr int kOsKindWindows2000 = 6;

// From GetVersion's value and, when available, the version information of GetVersionExA.
int OsKindOf(DWORD version, const OSVERSIONINFOA *info);
// The running system's code.
int CurrentOsKind();
