// CTrayIcon through the recorder (its state table, the record it hands the shell, the menu of
// its callback), and one run against Wine's notification area with screenshots.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/mfc/window.h"
#include "shell_recorder.h"
#include "tests/desktop/support/ansi_text.h"
#include "tests/desktop/support/screenshot.h"
#include "traywatch/resource_ids.h"
#include "traywatch/tray_icon.h"
#include "tests/desktop/support/wait.h"
#include "tests/desktop/support/desktop_window.h"

namespace {

using traytest::ShellCall;

constexpr UINT kCallback = WM_USER + 10;
// The record the 32-bit program hands the shell is 488 bytes; x86-64 has the platform's size.
constexpr DWORD kShellRecord = sizeof(void *) == 4 ? 488 : NOTIFYICONDATAA_V2_SIZE;
// Wine's tray window when no window manager offers a notification area (Xvfb).
constexpr char kWineTrayClass[] = "__winex11_standalone_tray";
constexpr char kTip[] = "SM2 数字证书用户工具";

// A hidden top-level window that keeps the commands it receives.
class OwnerWindow {
 public:
  OwnerWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TrayIconTestOwner";
    RegisterClassA(&wc);
    window_.Attach(CreateWindowA(wc.lpszClassName, "owner", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                                 nullptr, wc.hInstance, nullptr));
    commands().clear();
  }
  ~OwnerWindow() { DestroyWindow(window_.Detach()); }
  CWnd *get() { return &window_; }
  static std::vector<WPARAM> &commands() {
    static std::vector<WPARAM> c;
    return c;
  }
  // Handles what is queued for this thread's windows.
  static void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }

 private:
  static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_COMMAND) commands().push_back(w);
    return DefWindowProcA(h, m, w, l);
  }
  CWnd window_;
};

class TrayIconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    traytest::StartRecording(false);
    traytest::Clear();
  }
  HICON Icon() { return LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TRAYWATCH)); }
  // Adds the icon and forgets that call.
  void AddIcon(CTrayIcon &icon, UINT id = IDR_TRAYMENU) {
    ASSERT_TRUE(icon.Add(owner_.get(), kCallback, kTip, Icon(), id));
    traytest::Clear();
  }
  OwnerWindow owner_;
};

TEST_F(TrayIconTest, RunTimeClass) {
  CTrayIcon icon;
  const CRuntimeClass *c = icon.GetRuntimeClass();
  EXPECT_STREQ(c->m_lpszClassName, "CTrayIcon");
  EXPECT_EQ(c->m_wSchema, 0xFFFFu);
  EXPECT_EQ(c->m_pfnCreateObject, nullptr);
  EXPECT_EQ(c->m_pBaseClass, RUNTIME_CLASS(CObject));
  EXPECT_TRUE(icon.IsKindOf(RUNTIME_CLASS(CObject)));
  EXPECT_TRUE(icon.IsKindOf(RUNTIME_CLASS(CTrayIcon)));
}

TEST_F(TrayIconTest, AddHandsTheShellTheWholeRecord) {
  CTrayIcon icon;
  EXPECT_TRUE(traytest::Recorded().empty());
  ASSERT_TRUE(icon.Add(owner_.get(), kCallback, kTip, Icon(), IDR_TRAYMENU));
  const auto calls = traytest::Recorded();
  ASSERT_EQ(calls.size(), 1u);
  const ShellCall &c = calls[0];
  EXPECT_EQ(c.message, DWORD(NIM_ADD));
  EXPECT_EQ(c.size, kShellRecord);
  EXPECT_EQ(c.flags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(c.id, UINT(IDR_TRAYMENU));
  EXPECT_EQ(c.callback, kCallback);
  EXPECT_EQ(c.window, reinterpret_cast<UINT_PTR>(owner_.get()->m_hWnd));
  EXPECT_TRUE(c.icon);
  EXPECT_EQ(c.tip, kTip);
  EXPECT_TRUE(icon.IsAdded());
  EXPECT_FALSE(icon.IsHidden());
}

TEST_F(TrayIconTest, AddFailsWithoutAnOwnerOrWhenTheShellRefuses) {
  CTrayIcon icon;
  EXPECT_FALSE(icon.Add(nullptr, kCallback, kTip, Icon(), IDR_TRAYMENU));
  CWnd gone;
  gone.Attach(CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
  DestroyWindow(gone.m_hWnd);
  EXPECT_FALSE(icon.Add(&gone, kCallback, kTip, Icon(), IDR_TRAYMENU));
  gone.Detach();
  EXPECT_TRUE(traytest::Recorded().empty());

  traytest::SetAnswer(FALSE);
  EXPECT_FALSE(icon.Add(owner_.get(), kCallback, kTip, Icon(), IDR_TRAYMENU));
  traytest::SetAnswer(TRUE);
  EXPECT_FALSE(icon.IsAdded());
  traytest::Clear();
  // Not added: nothing to conceal, reveal or delete.
  icon.Conceal();
  icon.Reveal();
  icon.Delete();
  EXPECT_TRUE(traytest::Recorded().empty());
}

TEST_F(TrayIconTest, LongTipIsCutTo127Bytes) {
  CTrayIcon icon;
  const std::string tip(300, 'x');
  ASSERT_TRUE(icon.Add(owner_.get(), kCallback, tip.c_str(), Icon(), IDR_TRAYMENU));
  EXPECT_EQ(traytest::Recorded().at(0).tip, std::string(127, 'x'));
}

TEST_F(TrayIconTest, ConcealAndRevealMoveBetweenShownAndConcealed) {
  CTrayIcon icon;
  AddIcon(icon);
  icon.Reveal();  // shown already
  EXPECT_TRUE(traytest::Recorded().empty());

  icon.Conceal();
  icon.Conceal();
  EXPECT_TRUE(icon.IsHidden());
  icon.Reveal();
  icon.Reveal();
  EXPECT_FALSE(icon.IsHidden());
  const auto calls = traytest::Recorded();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].message, DWORD(NIM_DELETE));
  EXPECT_EQ(calls[0].flags, UINT(NIF_ICON));
  // The icon comes back as it was added.
  EXPECT_EQ(calls[1].message, DWORD(NIM_ADD));
  EXPECT_EQ(calls[1].flags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(calls[1].tip, kTip);
  EXPECT_EQ(calls[1].callback, kCallback);
  EXPECT_EQ(calls[1].id, UINT(IDR_TRAYMENU));
  EXPECT_TRUE(calls[1].icon);
  for (const auto &c : calls) EXPECT_EQ(c.size, kShellRecord);
}

TEST_F(TrayIconTest, BalloonSendsItsTextsWhateverTheState) {
  struct Case {
    const char *text, *title;
    const char *sent_text, *sent_title;
  };
  const Case cases[] = {
      {"USBKey已经插入。\n有4张证书导入到IE中。", "提示", "USBKey已经插入。\n有4张证书导入到IE中。",
       "提示"},
      {nullptr, nullptr, "", ""},
      {"", "", "", ""},
  };
  CTrayIcon icon;  // not added: the balloon goes to the shell all the same
  for (const Case &k : cases) {
    traytest::Clear();
    EXPECT_TRUE(icon.Balloon(k.text, k.title, 3000, NIIF_INFO));
    const auto calls = traytest::Recorded();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].message, DWORD(NIM_MODIFY));
    EXPECT_EQ(calls[0].size, kShellRecord);
    EXPECT_EQ(calls[0].flags, UINT(NIF_INFO));
    EXPECT_EQ(calls[0].timeout, 3000u);
    EXPECT_EQ(calls[0].info_flags, DWORD(NIIF_INFO));
    EXPECT_EQ(calls[0].info, k.sent_text);
    EXPECT_EQ(calls[0].title, k.sent_title);
  }
  traytest::SetAnswer(FALSE);
  EXPECT_FALSE(icon.Balloon("x", "y", 3000, NIIF_INFO));
  traytest::SetAnswer(TRUE);
  EXPECT_FALSE(icon.IsAdded());
}

TEST_F(TrayIconTest, DeleteFromEveryStateAndOnDestruction) {
  {
    CTrayIcon icon;
    AddIcon(icon);
    icon.Conceal();
    icon.Delete();  // a concealed icon is deleted from the shell once more
    icon.Delete();
    EXPECT_FALSE(icon.IsAdded());
    const auto calls = traytest::Recorded();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].message, DWORD(NIM_DELETE));
    EXPECT_EQ(calls[1].flags, 0u);
    traytest::Clear();
  }
  EXPECT_TRUE(traytest::Recorded().empty());
  {
    CTrayIcon icon;
    AddIcon(icon);
  }
  const auto calls = traytest::Recorded();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, DWORD(NIM_DELETE));
}

// An icon added again after it was concealed and deleted is shown, so it can be concealed.
TEST_F(TrayIconTest, AddedAgainAfterConcealedDeleteCanBeConcealed) {
  CTrayIcon icon;
  AddIcon(icon);
  icon.Conceal();
  icon.Delete();
  AddIcon(icon);
  EXPECT_FALSE(icon.IsHidden());
  icon.Conceal();
  const auto calls = traytest::Recorded();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, DWORD(NIM_DELETE));
  EXPECT_EQ(calls[0].flags, UINT(NIF_ICON));
}

TEST_F(TrayIconTest, CallbackOfAnotherIconOrAnotherMouseMessage) {
  CTrayIcon icon;
  AddIcon(icon);
  EXPECT_EQ(icon.HandleCallback(IDR_TRAYMENU + 1, WM_LBUTTONDBLCLK), 0);
  EXPECT_EQ(icon.HandleCallback(IDR_TRAYMENU, WM_MOUSEMOVE), 1);
  EXPECT_EQ(icon.HandleCallback(IDR_TRAYMENU, WM_LBUTTONDOWN), 1);
  OwnerWindow::Pump();
  EXPECT_TRUE(OwnerWindow::commands().empty());
  EXPECT_TRUE(traytest::Recorded().empty());
}

TEST_F(TrayIconTest, DoubleClickRunsTheFirstMenuItem) {
  CTrayIcon icon;
  AddIcon(icon);
  EXPECT_EQ(icon.HandleCallback(IDR_TRAYMENU, MAKELPARAM(WM_LBUTTONDBLCLK, 0)), 1);
  OwnerWindow::Pump();
  EXPECT_EQ(OwnerWindow::commands(), std::vector<WPARAM>{ID_OPEN_MANAGER});
}

TEST_F(TrayIconTest, NoMenuResourceNoAction) {
  CTrayIcon icon;
  AddIcon(icon, 999);
  EXPECT_EQ(icon.HandleCallback(999, WM_LBUTTONDBLCLK), 0);
  EXPECT_EQ(icon.HandleCallback(999, WM_RBUTTONUP), 0);
  OwnerWindow::Pump();
  EXPECT_TRUE(OwnerWindow::commands().empty());
}

// A right click opens the menu at the cursor with its first item as the default; the user
// picks "退出" with the keyboard and the owner gets its command.
TEST_F(TrayIconTest, RightClickOpensTheMenu) {
  CTrayIcon icon;
  AddIcon(icon);
  std::atomic<bool> seen{false};
  std::thread user([&] {
    HWND menu = desktop::WaitForTopWindow(GetCurrentProcessId(), "#32768", nullptr, 5000);
    if (!menu) {
      PostMessageA(owner_.get()->m_hWnd, WM_CANCELMODE, 0, 0);
      return;
    }
    seen = true;
    Sleep(200);  // let it paint
    SaveScreenshot("traywatch_menu.png");
    for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN}) PostMessageA(menu, WM_KEYDOWN, key, 0);
  });
  EXPECT_EQ(icon.HandleCallback(IDR_TRAYMENU, WM_RBUTTONUP), 1);
  user.join();
  EXPECT_TRUE(seen);
  OwnerWindow::Pump();
  EXPECT_EQ(OwnerWindow::commands(), std::vector<WPARAM>{ID_EXIT});
}

// Wine's notification area: the icon shows in its tray window, the balloon in a tooltip of the
// shell's process. Screenshots of both are the artifacts a person looks at.
TEST(TrayIconShellTest, IconAndBalloonInWinesNotificationArea) {
  traytest::StartRecording(true);
  traytest::Clear();
  OwnerWindow owner;
  CTrayIcon icon;
  ASSERT_TRUE(icon.Add(owner.get(), kCallback, desktop::Ansi(kTip).c_str(),
                       LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TRAYWATCH)),
                       IDR_TRAYMENU));
  HWND tray = desktop::WaitForTopWindow(0, kWineTrayClass, nullptr, 5000);
  ASSERT_NE(tray, nullptr) << "no tray window";
  ASSERT_TRUE(SaveScreenshot("traywatch_icon.png"));

  ASSERT_TRUE(icon.Balloon(desktop::Ansi("USBKey已经插入。\n有4张证书导入到IE中。").c_str(),
                           desktop::Ansi("提示").c_str(), 3000, NIIF_INFO));
  DWORD shell = 0;
  GetWindowThreadProcessId(tray, &shell);
  HWND balloon = desktop::WaitForTopWindow(shell, "tooltips_class32", nullptr, 8000);
  ASSERT_NE(balloon, nullptr) << "no balloon";
  Sleep(200);  // let it paint
  ASSERT_TRUE(SaveScreenshot("traywatch_balloon.png"));
  EXPECT_TRUE(icon.Balloon("", "", 3000, NIIF_INFO));
  EXPECT_TRUE(PumpMessagesUntil([&] { return !IsWindowVisible(balloon); }, 5000));

  icon.Conceal();
  EXPECT_TRUE(PumpMessagesUntil([&] { return !IsWindowVisible(tray); }, 5000));
  icon.Reveal();
  EXPECT_TRUE(PumpMessagesUntil([&] { return IsWindowVisible(tray) != FALSE; }, 5000));
  icon.Delete();
  for (const auto &c : traytest::Recorded()) EXPECT_TRUE(c.result) << c.message;
}

}  // namespace
