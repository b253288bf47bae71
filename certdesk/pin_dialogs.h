// The PIN dialogs of the selected certificate's application: verify (112) and change (108).
#pragma once

#include <windows.h>

namespace certdesk {

INT_PTR CALLBACK VerifyPinDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK ChangePinDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace certdesk
