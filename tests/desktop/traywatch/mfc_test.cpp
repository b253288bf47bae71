// The class layer under Wine: run-time classes, strings of code page 936, menus and strings
// from the program's resources, events, and a modal dialog with its message map.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/mfc/dialog.h"
#include "platform/mfc/event.h"
#include "platform/mfc/text.h"
#include "tests/desktop/support/ansi_text.h"
#include "traywatch/resource_ids.h"

namespace {

using desktop::Ansi;

class Base : public CObject {
  DECLARE_DYNAMIC(Base)
};
class Derived : public Base {
  DECLARE_DYNAMIC(Derived)
};
IMPLEMENT_DYNAMIC(Base, CObject)
IMPLEMENT_DYNAMIC(Derived, Base)

TEST(RunTimeClassTest, KindsFollowTheBaseChain) {
  Derived d;
  Base b;
  EXPECT_STREQ(d.GetRuntimeClass()->m_lpszClassName, "Derived");
  EXPECT_EQ(d.GetRuntimeClass()->m_nObjectSize, int(sizeof(Derived)));
  EXPECT_TRUE(d.IsKindOf(RUNTIME_CLASS(Base)));
  EXPECT_TRUE(d.IsKindOf(RUNTIME_CLASS(CObject)));
  EXPECT_FALSE(b.IsKindOf(RUNTIME_CLASS(Derived)));
  const CObject &as_object = d;
  EXPECT_EQ(as_object.GetRuntimeClass(), RUNTIME_CLASS(Derived));
}

TEST(StringTest, FormatAndEnds) {
  CString line;
  line.Format(Ansi("\n有%d张证书导入到IE中。").c_str(), 2);
  EXPECT_EQ(std::string(line), Ansi("\n有2张证书导入到IE中。"));
  CString message = Ansi("USBKey已经插入。").c_str();
  message += line;
  EXPECT_EQ(std::string(message), Ansi("USBKey已经插入。\n有2张证书导入到IE中。"));
  EXPECT_EQ(message.GetLength(), int(Ansi("USBKey已经插入。\n有2张证书导入到IE中。").size()));

  const CString command = "prog -U";
  EXPECT_STREQ(command.Right(2), "-U");
  EXPECT_EQ(command.Right(2).CompareNoCase("-u"), 0);
  EXPECT_STREQ(command.Right(99), "prog -U");
  EXPECT_STREQ(command.Left(4), "prog");
  EXPECT_STREQ(command.Left(-1), "");
  EXPECT_TRUE(CString().IsEmpty());
  EXPECT_TRUE(CString(nullptr).IsEmpty());
}

// A backslash byte inside a double-byte character is no separator: "乗" ends in 0x5C in code
// page 936.
TEST(StringTest, ReverseFindSkipsTrailBytes) {
  const std::string folder = Ansi("C:\\dir\\乗");
  ASSERT_EQ(folder.back(), '\\');
  const CString path = (folder + "\\traywatch.exe").c_str();
  EXPECT_EQ(path.ReverseFind('\\'), int(folder.size()));
  const CString name = Ansi("C:\\乗").c_str();
  EXPECT_EQ(name.ReverseFind('\\'), 2);
  EXPECT_EQ(CString("none").ReverseFind('\\'), -1);
}

TEST(StringTest, LoadsTheProgramsStrings) {
  CString about;
  EXPECT_TRUE(about.LoadString(IDS_ABOUTBOX));
  EXPECT_EQ(std::string(about), Ansi("关于 (&A)..."));
  CString missing = "x";
  EXPECT_FALSE(missing.LoadString(999));
  EXPECT_TRUE(missing.IsEmpty());
}

TEST(MenuTest, LoadsTheTrayMenu) {
  HMENU loaded = nullptr;
  {
    CMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDR_TRAYMENU));
    loaded = menu.m_hMenu;
    char text[64] = {};
    GetMenuStringA(menu.m_hMenu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_EQ(std::string(text), Ansi("主菜单"));
    CMenu popup = menu.GetSubMenu(0);
    ASSERT_NE(popup.m_hMenu, nullptr);
    EXPECT_EQ(GetMenuItemCount(popup.m_hMenu), 3);
    EXPECT_EQ(popup.GetMenuItemID(0), UINT(ID_OPEN_MANAGER));
    EXPECT_EQ(popup.GetMenuItemID(1), 0u);  // separator
    EXPECT_EQ(popup.GetMenuItemID(2), UINT(ID_EXIT));
    GetMenuStringA(popup.m_hMenu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_EQ(std::string(text), Ansi("管理工具"));
    GetMenuStringA(popup.m_hMenu, 2, text, sizeof text, MF_BYPOSITION);
    EXPECT_EQ(std::string(text), Ansi("退出"));
    EXPECT_TRUE(popup.SetDefaultItem(0, TRUE));
    EXPECT_EQ(GetMenuDefaultItem(popup.m_hMenu, FALSE, 0), UINT(ID_OPEN_MANAGER));
    CMenu none;
    EXPECT_FALSE(none.LoadMenu(999));
  }
  EXPECT_FALSE(IsMenu(loaded));  // destroyed with its object
}

TEST(EventTest, SetFromAnotherThread) {
  CEvent event;
  EXPECT_FALSE(event.Lock(0));
  std::thread setter([&] {
    Sleep(50);
    event.SetEvent();
  });
  EXPECT_TRUE(event.Lock(5000));
  setter.join();
  EXPECT_FALSE(event.Lock(0));  // auto-reset
  CEvent manual(TRUE, TRUE);
  EXPECT_TRUE(manual.Lock(0));
  EXPECT_TRUE(manual.Lock(0));
  manual.ResetEvent();
  EXPECT_FALSE(manual.Lock(0));
}

constexpr UINT kSum = WM_APP + 1;

// traywatch's template with a map of its own: what reached which handler, in order.
class ScriptDialog : public CDialog {
 public:
  ScriptDialog() : CDialog(IDD_TRAYWATCH) {}
  std::vector<std::string> seen;
  int destroyed = 0;
  LRESULT sum = 0;
  HWND window = nullptr;

  BOOL DestroyWindow() override {
    ++destroyed;
    seen.push_back(IsWindow(m_hWnd) ? "destroy" : "destroy without window");
    return CDialog::DestroyWindow();
  }

 protected:
  BOOL OnInitDialog() override {
    window = m_hWnd;
    SetTimer(m_hWnd, 1, 10000, nullptr);  // a dialog that never ends fails instead of hanging
    sum = SendMessage(kSum, 2, 3);
    PostMessage(WM_COMMAND, ID_OPEN_MANAGER);
    PostMessage(WM_COMMAND, MAKEWPARAM(ID_OPEN_MANAGER, EN_CHANGE));  // not a command
    PostMessage(WM_SYSCOMMAND, SC_CLOSE);  // default processing: WM_CLOSE, then IDCANCEL
    return TRUE;
  }
  void OnOpenManager() { seen.push_back("command"); }
  LRESULT OnSum(WPARAM a, LPARAM b) {
    seen.push_back("sum");
    return a + b;
  }
  void OnSysCommand(UINT id, LPARAM lParam) {
    seen.push_back("syscommand");
    CDialog::OnSysCommand(id, lParam);
  }
  LRESULT OnTimer(WPARAM, LPARAM) {
    EndDialog(-2);
    return 0;
  }
  void OnCancel() override {
    seen.push_back("cancel");
    CDialog::OnCancel();
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ScriptDialog, CDialog)
ON_COMMAND(ID_OPEN_MANAGER, OnOpenManager)
ON_MESSAGE(kSum, OnSum)
ON_WM_SYSCOMMAND()
ON_MESSAGE(WM_TIMER, OnTimer)
END_MESSAGE_MAP()

TEST(DialogTest, MessageMapDefaultProcessingAndEnd) {
  ScriptDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(dialog.sum, 5);
  EXPECT_EQ(dialog.seen,
            (std::vector<std::string>{"sum", "command", "syscommand", "cancel", "destroy"}));
  EXPECT_EQ(dialog.destroyed, 1);
  EXPECT_FALSE(IsWindow(dialog.window));
  EXPECT_EQ(dialog.m_hWnd, nullptr);
}

class OkDialog : public CDialog {
 public:
  OkDialog(UINT id) : CDialog(id) {}

 protected:
  BOOL OnInitDialog() override {
    char caption[32] = {};
    GetWindowTextA(m_hWnd, caption, sizeof caption);
    caption_ok = std::string(caption) == "traywatch";
    PostMessage(WM_COMMAND, IDOK);
    return TRUE;
  }

 public:
  bool caption_ok = false;
};

TEST(DialogTest, OkEndsWithIdOkAndAMissingTemplateFails) {
  OkDialog dialog(IDD_TRAYWATCH);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_TRUE(dialog.caption_ok);
  OkDialog missing(999);
  EXPECT_EQ(missing.DoModal(), -1);
}

}  // namespace
