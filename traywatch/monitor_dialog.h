// MonitorDialog: traywatch's hidden dialog. It owns the notification-area icon, creates the
// shared mappings, binds devnotify and cardcmd, and puts a key's certificates into the user's
// store when it arrives and takes them out when it leaves.
#pragma once

#include "platform/mfc/dialog.h"
#include "traywatch/tray_icon.h"

// The icon's callback message to the dialog.
inline constexpr UINT kTrayCallbackMessage = WM_USER + 10;
// The system-menu item added from string 101.
inline constexpr UINT kAboutCommand = 0x10;

class MonitorDialog : public CDialog {
 public:
  MonitorDialog();

  // Unregisters from devnotify and frees both libraries before the window goes.
  BOOL DestroyWindow() override;

 protected:
  BOOL OnInitDialog() override;
  void OnSysCommand(UINT id, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnOpenManager();
  void OnExit();
  LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
  BOOL OnDeviceChange(UINT event, DWORD_PTR record);

  DECLARE_MESSAGE_MAP()

 private:
  void OnKeyArrived(const char *name);
  void OnKeyRemoved(const char *name);
  // Shows the balloon for 3000 ms (the thread waits), then takes it away.
  void ShowBalloon(const char *text);

  CTrayIcon tray_icon_;
  HICON icon_;
};
