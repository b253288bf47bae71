// CMenu: a menu handle. A menu this object loaded is destroyed with it; one it only wraps
// (FromHandle, GetSubMenu) is not.
#pragma once

#include <windows.h>

#include "platform/mfc/object.h"

class CWnd;

class CMenu : public CObject {
 public:
  CMenu() = default;
  ~CMenu() override;
  CMenu(CMenu &&other) noexcept;
  CMenu &operator=(CMenu &&other) = delete;

  HMENU m_hMenu = nullptr;

  // A wrapper of `menu` that leaves it alive.
  static CMenu FromHandle(HMENU menu);

  // Menu resource `id` of the program.
  BOOL LoadMenu(UINT id);
  BOOL DestroyMenu();

  CMenu GetSubMenu(int position) const;
  UINT GetMenuItemID(int position) const { return ::GetMenuItemID(m_hMenu, position); }
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const char *text = nullptr);
  BOOL SetDefaultItem(UINT item, BOOL by_position);
  // Shows the menu as a pop-up at (x, y); the chosen command reaches `owner` as WM_COMMAND.
  BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd *owner, LPCRECT rect = nullptr);

 private:
  bool owned_ = false;
};
