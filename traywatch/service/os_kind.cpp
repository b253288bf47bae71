#include "traywatch/service/os_kind.h"

int OsKindOf(DWORD version, const OSVERSIONINFOA *info) {
  const bool nine_x = (version & 0x80000000u) != 0;
  if (nine_x) {
    if (LOBYTE(LOWORD(version)) < 4) return 0;
    if (!info || info->dwMajorVersion != 4) return 2;
    if (info->dwMinorVersion == 10) return 3;
    if (info->dwMinorVersion == 90) return 4;
    return 2;
  }
  if (!info) return 1;
  if (info->dwMajorVersion == 4) return 5;
  if (info->dwMajorVersion == 5) {
    if (info->dwMinorVersion == 0) return kOsKindWindows2000;
    if (info->dwMinorVersion == 1) return 7;
    if (info->dwMinorVersion == 2) return 8;
  }
  if (info->dwMajorVersion == 6 && info->dwMinorVersion == 0) return 9;
  return 1;
}

int CurrentOsKind() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  const bool known = GetVersionExA(&info);
  return OsKindOf(GetVersion(), known ? &info : nullptr);
}
