#include "platform/mfc/menu.h"

#include "platform/mfc/window.h"

CMenu::~CMenu() {
  if (owned_) DestroyMenu();
}

CMenu::CMenu(CMenu &&other) noexcept : m_hMenu(other.m_hMenu), owned_(other.owned_) {
  other.m_hMenu = nullptr;
  other.owned_ = false;
}

CMenu CMenu::FromHandle(HMENU menu) {
  CMenu wrapper;
  wrapper.m_hMenu = menu;
  return wrapper;
}

BOOL CMenu::LoadMenu(UINT id) {
  if (owned_) DestroyMenu();
  m_hMenu = ::LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
  owned_ = m_hMenu != nullptr;
  return owned_;
}

BOOL CMenu::DestroyMenu() {
  const BOOL done = m_hMenu && ::DestroyMenu(m_hMenu);
  m_hMenu = nullptr;
  owned_ = false;
  return done;
}

CMenu CMenu::GetSubMenu(int position) const { return FromHandle(::GetSubMenu(m_hMenu, position)); }

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, const char *text) {
  return ::AppendMenuA(m_hMenu, flags, id, text);
}

BOOL CMenu::SetDefaultItem(UINT item, BOOL by_position) {
  return SetMenuDefaultItem(m_hMenu, item, by_position);
}

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd *owner, LPCRECT rect) {
  return ::TrackPopupMenu(m_hMenu, flags, x, y, 0, owner ? owner->m_hWnd : nullptr, rect);
}
