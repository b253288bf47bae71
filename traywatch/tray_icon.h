// CTrayIcon: one notification-area icon of an owner window, with its tool tip, balloon
// messages and menu. It keeps the whole icon record between calls, so that an icon taken out of
// the shell (Conceal) comes back as it was (Reveal).
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "platform/mfc/object.h"
#include "platform/os/i686_size.h"

class CWnd;

// The shell call behind every CTrayIcon; tests put a recorder in its place.
using TrayShellCall = BOOL(WINAPI *)(DWORD message, PNOTIFYICONDATAA data);
extern TrayShellCall g_trayShellCall;

// The record in its form with balloon fields and without the later GUID and balloon icon.
inline constexpr DWORD kTrayRecordSize = NOTIFYICONDATAA_V2_SIZE;
static_assert(IsI686Size(kTrayRecordSize, 488));

class CTrayIcon : public CObject {
  DECLARE_DYNAMIC(CTrayIcon)

 public:
  CTrayIcon();
  ~CTrayIcon() override;
  CTrayIcon(const CTrayIcon &) = delete;
  CTrayIcon &operator=(const CTrayIcon &) = delete;

  // Adds the icon for `owner`; the shell sends its mouse messages to the owner as
  // `callback_message`. `id` is the icon's id and the id of its menu resource.
  BOOL Add(CWnd *owner, UINT callback_message, const char *tip, HICON icon, UINT id);
  // Shows a balloon (NULL texts are empty ones; empty texts take a balloon away).
  BOOL Balloon(const char *text, const char *title, UINT timeout, DWORD info_flags);
  void Delete();
  // Takes an added icon out of the shell / puts it back, keeping its settings.
  void Conceal();
  void Reveal();

  // The owner's callback message: a right click opens the menu, a double click runs its first
  // item. 1 when the message was for this icon, 0 when not (or the menu is missing).
  virtual LRESULT HandleCallback(WPARAM wParam, LPARAM lParam);

  bool IsAdded() const { return added_; }
  bool IsHidden() const { return hidden_; }

 private:
  bool added_ = false;
  bool hidden_ = false;
  NOTIFYICONDATAA data_;
};
