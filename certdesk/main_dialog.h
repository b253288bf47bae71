// Dialog 101, the main window: the certificate tree and its commands.
#pragma once

#include <windows.h>

namespace certdesk {

inline constexpr UINT kMainPingMessage = WM_USER + 0x32;
inline constexpr UINT kMainRefreshMessage = WM_USER + 0x111;

INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace certdesk
