// certdesk's start and end: the tree without cardcmd, the main dialog's controls, one instance,
// the close option, and the commands that need no key.
#include <gtest/gtest.h>

#include "certdesk_app.h"
#include "tests/desktop/support/screenshot.h"

namespace certdesk_test {
namespace {

TEST(Start, WithoutCardcmdTheTreeSaysThereIsNoKey) {
  LoneFolder folder({});
  Certdesk app;
  ASSERT_TRUE(app.Start(folder.exe()));
  ASSERT_TRUE(app.WaitForTree({{kNoKey}})) << Describe(Texts(app.Tree()));
  const auto tree = app.Tree();
  EXPECT_EQ(tree[0].image, 0);
  for (int id : {kView, kChange, kVerify, kInitialise, kRegister}) {
    EXPECT_FALSE(ControlEnabled(app.main(), id)) << id;
  }
  struct Button {
    int id;
    const char *text;
    bool visible;
  };
  const Button kButtons[] = {{kView, "查看证书", true},      {kVerify, "验证密码", true},
                             {kChange, "修改密码", true},    {kExit, "退   出", true},
                             {kInitialise, "初始化", false}, {kRegister, "注册证书", false}};
  for (const Button &b : kButtons) {
    EXPECT_EQ(ControlText(app.main(), b.id), b.text) << b.id;
    EXPECT_EQ(ControlVisible(app.main(), b.id), b.visible) << b.id;
  }
  EXPECT_EQ(desktop::WindowText(app.main()), kMainCaption);
  EXPECT_TRUE(SaveWindowScreenshot(app.main(), "certdesk_no_key.png"));
}

TEST(Start, ASecondStartBringsTheFirstWindowForwardAndEnds) {
  LoneFolder folder({});
  Certdesk first;
  ASSERT_TRUE(first.Start(folder.exe()));
  // A window of the test's own in front, to see certdesk's come forward again.
  HWND other = CreateWindowExW(0, L"STATIC", L"in front", WS_POPUP | WS_VISIBLE, 0, 0, 80, 40,
                               nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  ASSERT_TRUE(desktop::WaitUntil([&] { return GetForegroundWindow() == other; }));
  desktop::Program second;
  ASSERT_TRUE(second.Start(folder.exe()));
  DWORD code = 1;
  ASSERT_TRUE(second.WaitExit(10000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(desktop::TopWindows(0, "#32770", kMainCaption).size(), 1u);
  EXPECT_TRUE(desktop::WaitUntil([&] { return GetForegroundWindow() == first.main(); }, 3000));
  DestroyWindow(other);
  EXPECT_EQ(first.Close(), 0);
}

TEST(Start, WhileTheMutexHasNoWindowYetAStartOpensItsOwn) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "SM2ZVClass");
  ASSERT_NE(mutex, nullptr);
  LoneFolder folder({});
  Certdesk app;
  EXPECT_TRUE(app.Start(folder.exe()));
  EXPECT_EQ(app.Close(), 0);
  CloseHandle(mutex);
}

TEST(Start, TheCloseOptionClosesTheRunningWindow) {
  LoneFolder folder({});
  for (const char *option : {"-u", "-U", "now -u"}) {
    Certdesk running;
    ASSERT_TRUE(running.Start(folder.exe()));
    desktop::Program closer;
    ASSERT_TRUE(closer.Start(folder.exe(), option));
    DWORD code = 1;
    EXPECT_TRUE(closer.WaitExit(10000, &code)) << option;
    EXPECT_EQ(code, 0u) << option;
    EXPECT_TRUE(running.program().WaitExit(10000, &code)) << option;
    EXPECT_EQ(code, 0u) << option;
  }
}

TEST(Start, TheCloseOptionWithoutAnInstanceEndsWithoutAWindow) {
  LoneFolder folder({});
  desktop::Program closer;
  ASSERT_TRUE(closer.Start(folder.exe(), "-U"));
  DWORD code = 1;
  ASSERT_TRUE(closer.WaitExit(10000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(desktop::TopWindow(0, "#32770", kMainCaption), nullptr);
}

TEST(MainWindow, EscapeDoesNothingWhileTheCloseBoxAndExitEndTheProgram) {
  LoneFolder folder({});
  Certdesk app;
  ASSERT_TRUE(app.Start(folder.exe()));
  desktop::SendCommand(app.main(), IDCANCEL);  // what Escape sends
  SendMessageW(app.main(), kRefreshMessage, 0, 16);
  EXPECT_EQ(SendMessageW(app.main(), kPingMessage, 0, 0), 1);
  EXPECT_TRUE(IsWindowVisible(app.main()));
  desktop::PostCommand(app.main(), kExit);
  DWORD code = 1;
  EXPECT_TRUE(app.program().WaitExit(10000, &code));
  EXPECT_EQ(code, 0u);

  Certdesk again;
  ASSERT_TRUE(again.Start(folder.exe()));
  PostMessageW(again.main(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(again.program().WaitExit(10000, &code));
  EXPECT_EQ(code, 0u);
}

TEST(Initialise, WithoutTokenbaseReportsTheMissingLibrary) {
  LoneFolder folder({});
  Certdesk app;
  ASSERT_TRUE(app.Start(folder.exe()));
  desktop::PostCommand(app.main(), kInitialise);
  HWND box = app.WaitMessage();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(desktop::ReadMessageBox(box),
            (MessageBoxView{"调用初始化动态库失败！", MessageIcon::kWarning, {IDOK}}));
  EXPECT_TRUE(SaveWindowScreenshot(box, "certdesk_message.png"));
  desktop::AnswerMessageBox(box, IDOK);
  EXPECT_EQ(app.Close(), 0);
}

}  // namespace
}  // namespace certdesk_test
