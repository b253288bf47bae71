// certdesk's message boxes: one caption for all.
#pragma once

#include <windows.h>

namespace certdesk {

// MessageBoxA over `owner` with the caption "数字证书用户工具-提示"; the button pressed.
int ShowMessage(HWND owner, const char *text, UINT style);

// The message of a PIN result other than success: locked, one try left, n tries left, or
// `failure` for anything else.
void ShowPinResult(HWND owner, int result, const char *failure);

}  // namespace certdesk
