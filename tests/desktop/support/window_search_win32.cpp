#include "tests/desktop/support/window_search.h"

#include <cstring>

#include "tests/desktop/support/wait.h"

namespace desktest {

namespace {

struct Search {
  const char *class_name;
  const char *caption;
  DWORD process;
  bool visible_only;
  HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM param) {
  auto *s = reinterpret_cast<Search *>(param);
  char text[256] = {};
  if (s->process && ProcessOf(window) != s->process) return TRUE;
  if (s->visible_only && !IsWindowVisible(window)) return TRUE;
  if (s->class_name) {
    GetClassNameA(window, text, sizeof text);
    if (std::strcmp(text, s->class_name) != 0) return TRUE;
  }
  if (s->caption) {
    GetWindowTextA(window, text, sizeof text);
    if (std::strcmp(text, s->caption) != 0) return TRUE;
  }
  s->found = window;
  return FALSE;
}

}  // namespace

HWND FindTopWindow(const char *class_name, const char *caption, DWORD process, bool visible_only) {
  Search search{class_name, caption, process, visible_only, nullptr};
  EnumWindows(&Match, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForWindow(const char *class_name, const char *caption, DWORD process,
                   unsigned timeout_ms) {
  HWND found = nullptr;
  PumpMessagesUntil(
      [&] { return (found = FindTopWindow(class_name, caption, process)) != nullptr; }, timeout_ms);
  return found;
}

HWND WaitForVisibleWindow(const char *class_name, unsigned timeout_ms, DWORD process) {
  HWND found = nullptr;
  PumpMessagesUntil(
      [&] { return (found = FindTopWindow(class_name, nullptr, process, true)) != nullptr; },
      timeout_ms);
  return found;
}

DWORD ProcessOf(HWND window) {
  DWORD process = 0;
  return GetWindowThreadProcessId(window, &process) ? process : 0;
}

}  // namespace desktest
