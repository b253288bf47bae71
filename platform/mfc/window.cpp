#include "platform/mfc/window.h"

CWnd::~CWnd() {
  if (own_proc_ && m_hWnd) ::DestroyWindow(m_hWnd);
}

HWND CWnd::Detach() {
  HWND window = m_hWnd;
  m_hWnd = nullptr;
  return window;
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
  return reinterpret_cast<HICON>(
      SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

CMenu CWnd::GetSystemMenu(BOOL revert) const {
  return CMenu::FromHandle(::GetSystemMenu(m_hWnd, revert));
}

BOOL CWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

const MessageMap *CWnd::GetThisMessageMap() {
  static const MessageMapEntry entries[] = {{0, 0, nullptr}};
  static const MessageMap map = {nullptr, entries};
  return &map;
}

const MessageMap *CWnd::GetMessageMap() const { return GetThisMessageMap(); }

void CWnd::Subclass(HWND window) {
  m_hWnd = window;
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  own_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
}

LRESULT CWnd::Default() {
  return CallWindowProcA(own_proc_, m_hWnd, current_.message, current_.wParam, current_.lParam);
}

void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }

void CWnd::OnPaint() { Default(); }

const MessageMapEntry *CWnd::Lookup(UINT message, WPARAM wParam) const {
  // Menu commands and accelerators (notification codes 0 and 1), by id.
  const bool command = message == WM_COMMAND && HIWORD(wParam) <= 1;
  for (const MessageMap *map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
    for (const MessageMapEntry *e = map->entries; e->thunk; ++e) {
      if (e->message != message) continue;
      if (message != WM_COMMAND || (command && e->id == LOWORD(wParam))) return e;
    }
  }
  return nullptr;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const Current outer = current_;
  current_ = {message, wParam, lParam};
  const MessageMapEntry *entry = Lookup(message, wParam);
  const LRESULT result = entry ? entry->thunk(this, wParam, lParam) : Default();
  current_ = outer;
  return result;
}

LRESULT CALLBACK CWnd::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto *self = reinterpret_cast<CWnd *>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  const LRESULT result = self->WindowProc(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->own_proc_));
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    self->own_proc_ = nullptr;
    self->m_hWnd = nullptr;
    self->PostNcDestroy();
  }
  return result;
}
