// CWnd: a window handle with its class's message map. A window the framework creates is
// subclassed: its messages go through the message maps, and what they do not handle (or what
// a handler passes on with Default) to the window's own procedure.
#pragma once

#include <windows.h>

#include "platform/mfc/menu.h"
#include "platform/mfc/message_map.h"
#include "platform/mfc/object.h"

class CWnd : public CObject {
 public:
  CWnd() = default;
  ~CWnd() override;
  CWnd(const CWnd &) = delete;
  CWnd &operator=(const CWnd &) = delete;

  HWND m_hWnd = nullptr;

  HWND GetSafeHwnd() const { return m_hWnd; }
  // Wraps a window made elsewhere; no message goes through this object.
  void Attach(HWND window) { m_hWnd = window; }
  HWND Detach();

  BOOL ShowWindow(int show) { return ::ShowWindow(m_hWnd, show); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  HICON SetIcon(HICON icon, BOOL big);
  void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
  }
  // The window's system menu (not owned by the result); empty when it has none.
  CMenu GetSystemMenu(BOOL revert) const;

  virtual BOOL DestroyWindow();

 protected:
  static const MessageMap *GetThisMessageMap();
  virtual const MessageMap *GetMessageMap() const;

  // Routes the window's messages through this object from now on.
  void Subclass(HWND window);
  // The window's own processing of the message being handled.
  LRESULT Default();
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The window is gone (WM_NCDESTROY has been handled).
  virtual void PostNcDestroy() {}

  void OnSysCommand(UINT id, LPARAM lParam);
  void OnPaint();

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  const MessageMapEntry *Lookup(UINT message, WPARAM wParam) const;

  WNDPROC own_proc_ = nullptr;
  struct Current {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } current_{};
};
