// The PIN dialog as the library's resources lay it out, inspected from a test thread while
// the library runs it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "skf/card/binding.h"
#include "skf/card/pin_dialog.h"

namespace {

struct Control {
  int id;  // -1: found by its text
  const wchar_t *text;
  int x, y, cx, cy;  // dialog units
};

const Control kControls[] = {
    {IDOK, L"确定[&O]", 74, 55, 50, 14},
    {IDCANCEL, L"取消[&C]", 129, 55, 50, 14},
    {-1, L"您好，现在需要验证您的USBKey密码", 36, 14, 129, 8},
    {kPinEditId, L"", 74, 36, 106, 14},
    {-1, L"USBKey密码：", 11, 38, 49, 8},
};

std::wstring Text(HWND h) {
  wchar_t buffer[256] = {};
  GetWindowTextW(h, buffer, 256);
  return buffer;
}

struct ByText {
  const wchar_t *text;
  HWND found;
};

BOOL CALLBACK MatchText(HWND h, LPARAM p) {
  auto *s = reinterpret_cast<ByText *>(p);
  if (Text(h) == s->text) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindIcon(HWND h, LPARAM p) {
  if ((GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    *reinterpret_cast<HWND *>(p) = h;
    return FALSE;
  }
  return TRUE;
}

// Checks the dialog, then cancels it. Runs beside the thread that shows it.
void Inspect(HWND dialog, DWORD ui_thread) {
  EXPECT_EQ(Text(dialog), L"USBKey密码验证");
  RECT client{}, size{0, 0, 187, 77};
  GetClientRect(dialog, &client);
  MapDialogRect(dialog, &size);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);
  for (const Control &c : kControls) {
    HWND h = nullptr;
    if (c.id >= 0) {
      h = GetDlgItem(dialog, c.id);
    } else {
      ByText search{c.text, nullptr};
      EnumChildWindows(dialog, MatchText, reinterpret_cast<LPARAM>(&search));
      h = search.found;
    }
    ASSERT_NE(h, nullptr) << c.id;
    EXPECT_EQ(Text(h), c.text) << c.id;
    RECT at{c.x, c.y, c.cx, c.cy}, actual{};  // position and size, each mapped
    MapDialogRect(dialog, &at);
    GetWindowRect(h, &actual);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&actual), 2);
    EXPECT_EQ(actual.left, at.left) << c.id;
    EXPECT_EQ(actual.top, at.top) << c.id;
    EXPECT_EQ(actual.right - actual.left, at.right) << c.id;
    EXPECT_EQ(actual.bottom - actual.top, at.bottom) << c.id;
  }
  HWND edit = GetDlgItem(dialog, kPinEditId);
  const LONG style = GetWindowLongW(edit, GWL_STYLE);
  EXPECT_EQ(style & (ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP),
            ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP);
  // The dialog manager draws a bordered edit field with a sunken client edge.
  EXPECT_TRUE((style & WS_BORDER) || (GetWindowLongW(edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
  EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 16);
  EXPECT_EQ(GetWindowLongW(GetDlgItem(dialog, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetGUIThreadInfo(ui_thread, &info));
  EXPECT_EQ(info.hwndFocus, edit) << "the PIN field has the focus";
  HWND icon = nullptr;
  EnumChildWindows(dialog, FindIcon, reinterpret_cast<LPARAM>(&icon));
  ASSERT_NE(icon, nullptr);
  EXPECT_NE(SendMessageW(icon, STM_GETICON, 0, 0), 0) << "icon 103 is loaded";
}

TEST(PinDialogResourceTest, TemplateAndIconInChineseSimplified) {
  auto *module = static_cast<HMODULE>(ModuleHandle);
  const WORD chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
  EXPECT_NE(FindResourceExW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */,
                            MAKEINTRESOURCEW(kPinDialogId), chinese),
            nullptr);
  EXPECT_NE(FindResourceExW(module, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */,
                            MAKEINTRESOURCEW(kPinIconId), chinese),
            nullptr);
}

TEST(PinDialogResourceTest, LayoutTextsAndFocus) {
  const DWORD ui_thread = GetCurrentThreadId();
  std::thread inspector([ui_thread] {
    HWND dialog = nullptr;
    for (int i = 0; i < 500 && !dialog; ++i) {
      dialog = FindWindowW(L"#32770", L"USBKey密码验证");
      if (!dialog || !GetDlgItem(dialog, kPinEditId)) {
        dialog = nullptr;
        Sleep(20);
      }
    }
    ASSERT_NE(dialog, nullptr) << "no dialog";
    Inspect(dialog, ui_thread);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  char pin[kPinTextSize] = "untouched";
  EXPECT_EQ(ShowPinDialog(pin), -1);
  EXPECT_STREQ(pin, "untouched");
  inspector.join();
}

TEST(PinDialogResourceTest, NoModuleNoDialog) {
  void *const recorded = ModuleHandle;
  ModuleHandle = nullptr;
  char pin[kPinTextSize] = {};
  EXPECT_EQ(ShowPinDialog(pin), -1);
  ModuleHandle = recorded;
}

}  // namespace
