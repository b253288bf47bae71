#include "tests/desktop/support/message_box.h"

#include <vector>

#include "tests/desktop/support/desktop_window.h"

namespace desktop {

namespace {

bool IsIconControl(HWND h) {
  return ClassName(h) == "Static" && (GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

struct Children {
  std::vector<HWND> all;
};

BOOL CALLBACK Collect(HWND h, LPARAM p) {
  reinterpret_cast<Children *>(p)->all.push_back(h);
  return TRUE;
}

std::vector<COLORREF> Grab(HDC source, int x, int y, int w, int h) {
  HDC memory = CreateCompatibleDC(source);
  HBITMAP bitmap = CreateCompatibleBitmap(source, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, source, x, y, SRCCOPY);
  std::vector<COLORREF> pixels;
  pixels.reserve(static_cast<std::size_t>(w) * h);
  for (int row = 0; row < h; ++row) {
    for (int col = 0; col < w; ++col) pixels.push_back(GetPixel(memory, col, row));
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return pixels;
}

// The system icon `id` drawn on `background` at the control's size.
std::vector<COLORREF> Drawn(LPCWSTR id, int w, int h, COLORREF background) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  HBRUSH brush = CreateSolidBrush(background);
  RECT all{0, 0, w, h};
  FillRect(memory, &all, brush);
  DeleteObject(brush);
  DrawIconEx(memory, 0, 0, LoadIconW(nullptr, id), w, h, 0, nullptr, DI_NORMAL);
  auto pixels = Grab(memory, 0, 0, w, h);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

MessageIcon IconOnScreen(HWND box, HWND icon) {
  struct Candidate {
    LPCWSTR id;
    MessageIcon icon;
  };
  const Candidate kCandidates[] = {{MAKEINTRESOURCEW(32515), MessageIcon::kWarning},
                                   {MAKEINTRESOURCEW(32516), MessageIcon::kInformation},
                                   {MAKEINTRESOURCEW(32513), MessageIcon::kError},
                                   {MAKEINTRESOURCEW(32514), MessageIcon::kQuestion}};
  MessageIcon seen = MessageIcon::kOther;
  WaitUntil(
      [&] {
        SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        RECT r{};
        GetWindowRect(icon, &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        if (w <= 0 || h <= 0) return false;
        HDC screen = GetDC(nullptr);
        const auto shot = Grab(screen, r.left, r.top, w, h);
        ReleaseDC(nullptr, screen);
        for (const Candidate &c : kCandidates) {
          if (Drawn(c.id, w, h, shot.front()) == shot) {
            seen = c.icon;
            return true;
          }
        }
        return false;
      },
      2000);
  return seen;
}

// The box's text (its first static control that is not the icon) and its visible icon control.
std::string BoxText(HWND box, HWND *icon) {
  Children children;
  EnumChildWindows(box, Collect, reinterpret_cast<LPARAM>(&children));
  std::string text;
  for (HWND h : children.all) {
    if (IsIconControl(h)) {
      if (icon && IsWindowVisible(h)) *icon = h;
    } else if (ClassName(h) == "Static" && text.empty()) {
      text = WindowText(h);
    }
  }
  return text;
}

}  // namespace

MessageBoxView ReadMessageBox(HWND box) {
  MessageBoxView view;
  HWND icon = nullptr;
  view.text = BoxText(box, &icon);
  for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
    HWND button = GetDlgItem(box, id);
    if (button && IsWindowVisible(button)) view.buttons.push_back(id);
  }
  view.icon = icon ? IconOnScreen(box, icon) : MessageIcon::kNone;
  return view;
}

HWND WaitForMessageBox(DWORD pid, const char *caption, int timeout_ms) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND h : TopWindows(pid, "#32770", caption)) {
          if (IsWindowEnabled(h) && !BoxText(h, nullptr).empty()) {
            found = h;
            return true;
          }
        }
        return false;
      },
      timeout_ms);
  return found;
}

void AnswerMessageBox(HWND box, int id) {
  PostCommand(box, id);
  WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
}

std::ostream &operator<<(std::ostream &o, MessageIcon icon) {
  static constexpr const char *kNames[] = {"no icon", "warning",  "information",
                                           "error",   "question", "another icon"};
  return o << kNames[static_cast<int>(icon)];
}

std::ostream &operator<<(std::ostream &o, const MessageBoxView &view) {
  o << "\"" << view.text << "\" (" << view.icon << ", buttons";
  for (int id : view.buttons) o << " " << id;
  return o << ")";
}

}  // namespace desktop
