#include "tests/desktop/support/desktop_window.h"

namespace desktop {

std::string Utf8(const wchar_t *w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  s.resize(n - 1);
  return s;
}

std::wstring Wide(const std::string &utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, w.data(), n);
  w.resize(n - 1);
  return w;
}

namespace {

struct Search {
  DWORD pid;
  const char *class_name;
  const char *caption;
  std::vector<HWND> found;
};

BOOL CALLBACK Match(HWND h, LPARAM p) {
  auto *s = reinterpret_cast<Search *>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if ((s->pid == 0 || pid == s->pid) && IsWindowVisible(h) &&
      (!s->class_name || ClassName(h) == s->class_name) &&
      (!s->caption || WindowText(h) == s->caption)) {
    s->found.push_back(h);
  }
  return TRUE;
}

}  // namespace

std::string WindowText(HWND window) {
  wchar_t buffer[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                      5000, &copied);
  return Utf8(buffer);
}

std::string ClassName(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return Utf8(buffer);
}

std::vector<HWND> TopWindows(DWORD pid, const char *class_name, const char *caption) {
  Search search{pid, class_name, caption, {}};
  EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND TopWindow(DWORD pid, const char *class_name, const char *caption) {
  const auto found = TopWindows(pid, class_name, caption);
  return found.empty() ? nullptr : found.front();
}

bool WaitUntil(const std::function<bool()> &holds, int timeout_ms) {
  for (int waited = 0;; waited += 20) {
    if (holds()) return true;
    if (waited >= timeout_ms) return false;
    Sleep(20);
  }
}

HWND WaitForTopWindow(DWORD pid, const char *class_name, const char *caption, int timeout_ms) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = TopWindow(pid, class_name, caption)) != nullptr; }, timeout_ms);
  return found;
}

void PostCommand(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool SendCommand(HWND dialog, int id, int timeout_ms) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)), SMTO_NORMAL,
                             timeout_ms, &result) != 0;
}

std::string ControlText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

bool ControlVisible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)); }

bool ControlEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)); }

LONG ControlStyle(HWND dialog, int id) { return GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE); }

void Type(HWND dialog, int id, const std::string &utf8) {
  HWND edit = GetDlgItem(dialog, id);
  for (wchar_t c : Wide(utf8)) PostMessageW(edit, WM_CHAR, c, 1);
}

void Backspace(HWND dialog, int id, int count) {
  HWND edit = GetDlgItem(dialog, id);
  for (int i = 0; i < count; ++i) PostMessageW(edit, WM_CHAR, VK_BACK, 1);
}

}  // namespace desktop
