#include "traywatch/tray_icon.h"

#include <cstring>

#include "platform/mfc/menu.h"
#include "platform/mfc/window.h"

namespace {

BOOL WINAPI SystemShellCall(DWORD message, PNOTIFYICONDATAA data) {
  return Shell_NotifyIconA(message, data);
}

void CopyText(char *field, std::size_t size, const char *text) {
  lstrcpynA(field, text ? text : "", static_cast<int>(size));
}

}  // namespace

// Constant-initialised, so that a recorder set from another static initialiser stays.
TrayShellCall g_trayShellCall = &SystemShellCall;

IMPLEMENT_DYNAMIC(CTrayIcon, CObject)

CTrayIcon::CTrayIcon() { std::memset(&data_, 0, kTrayRecordSize); }

CTrayIcon::~CTrayIcon() { Delete(); }

BOOL CTrayIcon::Add(CWnd *owner, UINT callback_message, const char *tip, HICON icon, UINT id) {
  if (LOBYTE(LOWORD(GetVersion())) < 4 || !owner || !IsWindow(owner->m_hWnd)) {
    added_ = false;
    return FALSE;
  }
  data_.cbSize = kTrayRecordSize;
  data_.hWnd = owner->m_hWnd;
  data_.uID = id;
  data_.hIcon = icon;
  data_.uCallbackMessage = callback_message;
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  CopyText(data_.szTip, sizeof data_.szTip, tip);
  added_ = g_trayShellCall(NIM_ADD, &data_);
  // The icon is in the shell now, whatever an earlier Conceal left behind.
  if (added_) hidden_ = false;
  return added_;
}

BOOL CTrayIcon::Balloon(const char *text, const char *title, UINT timeout, DWORD info_flags) {
  data_.cbSize = kTrayRecordSize;
  data_.uFlags = NIF_INFO;
  data_.uTimeout = timeout;
  data_.dwInfoFlags = info_flags;
  CopyText(data_.szInfo, sizeof data_.szInfo, text);
  CopyText(data_.szInfoTitle, sizeof data_.szInfoTitle, title);
  return g_trayShellCall(NIM_MODIFY, &data_);
}

void CTrayIcon::Delete() {
  if (!added_) return;
  data_.cbSize = kTrayRecordSize;
  data_.uFlags = 0;
  g_trayShellCall(NIM_DELETE, &data_);
  added_ = false;
}

void CTrayIcon::Conceal() {
  if (!added_ || hidden_) return;
  data_.cbSize = kTrayRecordSize;
  data_.uFlags = NIF_ICON;
  g_trayShellCall(NIM_DELETE, &data_);
  hidden_ = true;
}

void CTrayIcon::Reveal() {
  if (!added_ || !hidden_) return;
  data_.cbSize = kTrayRecordSize;
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  g_trayShellCall(NIM_ADD, &data_);
  hidden_ = false;
}

LRESULT CTrayIcon::HandleCallback(WPARAM wParam, LPARAM lParam) {
  if (wParam != data_.uID) return 0;
  const UINT mouse = LOWORD(lParam);
  if (mouse != WM_RBUTTONUP && mouse != WM_LBUTTONDBLCLK) return 1;
  CMenu menu;
  if (!menu.LoadMenu(data_.uID)) return 0;
  CMenu popup = menu.GetSubMenu(0);
  if (!popup.m_hMenu) return 0;
  CWnd owner;
  owner.Attach(data_.hWnd);
  if (mouse == WM_RBUTTONUP) {
    popup.SetDefaultItem(0, TRUE);
    POINT cursor{};
    GetCursorPos(&cursor);
    SetForegroundWindow(data_.hWnd);
    popup.TrackPopupMenu(TPM_LEFTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, &owner);
  } else {
    SetForegroundWindow(data_.hWnd);
    owner.SendMessage(WM_COMMAND, popup.GetMenuItemID(0), 0);
  }
  owner.Detach();
  return 1;
}
