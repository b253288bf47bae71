// certdesk.exe under test: started from a folder of the test's choosing, its main window found,
// its tree, dialogs and message boxes read and driven. Control ids and texts are the ones a
// person sees, written here independently of certdesk's sources.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/desktop/support/desktop_window.h"
#include "tests/desktop/support/message_box.h"
#include "tests/desktop/support/program.h"
#include "tests/desktop/support/tree_view.h"

namespace certdesk_test {

inline constexpr char kMainCaption[] = "数字证书用户工具";
inline constexpr char kMessageCaption[] = "数字证书用户工具-提示";
inline constexpr char kVerifyCaption[] = "验证USBKey密码";
inline constexpr char kChangeCaption[] = "修改USBKey密码";
inline constexpr char kNoKey[] = "没有USBKey";

// Main dialog
inline constexpr int kTree = 1000;
inline constexpr int kView = 1001;
inline constexpr int kChange = 1002;
inline constexpr int kInitialise = 1003;
inline constexpr int kExit = 1004;
inline constexpr int kVerify = 1019;
inline constexpr int kRegister = 1020;
inline constexpr UINT kPingMessage = WM_USER + 0x32;
inline constexpr UINT kRefreshMessage = WM_USER + 0x111;
// Verify dialog
inline constexpr int kVerifyEdit = 1018;
inline constexpr int kEnterKey = 1064;
// Change dialog
inline constexpr int kCurrentPin = 1007;
inline constexpr int kNewPin = 1008;
inline constexpr int kConfirmPin = 1009;

using desktop::ControlEnabled;
using desktop::ControlText;
using desktop::ControlVisible;
using desktop::MessageBoxView;
using desktop::MessageIcon;

// Messages of both PIN dialogs.
inline constexpr char kPinCharacters[] =
    "只能使用16位内的数字、字母或其组合作为USBKey密码，请重新输入。";
inline constexpr char kNewPinCharacters[] =
    "只能使用4～8位的数字、字母或其组合作为USBKey密码，请重新输入。";
inline constexpr char kKeyLocked[] = "对不起，您的USBKey已被锁！";
inline constexpr char kLastTry[] =
    "对不起，您输入的USBKey密码不正确，还有最后一次重试机会，请重新输入！";
inline std::string TriesLeft(int n) {
  return "对不起，您输入的USBKey密码不正确，还有 " + std::to_string(n) +
         " 次重试机会，请重新输入！";
}
// A message box with the warning icon and an OK button.
inline MessageBoxView Warning(const std::string &text) {
  return {text, MessageIcon::kWarning, {IDOK}};
}

// The folder of the test program, where the build puts certdesk.exe and the libraries.
std::string BuildFolder();

// A temporary folder holding certdesk.exe (under the name `exe_name`) and the named files of
// the build folder; removed with the object.
class LoneFolder {
 public:
  explicit LoneFolder(const std::vector<std::string> &files,
                      const std::string &exe_name = "certdesk.exe");
  ~LoneFolder();
  LoneFolder(const LoneFolder &) = delete;
  LoneFolder &operator=(const LoneFolder &) = delete;
  const std::string &path() const { return path_; }
  std::string exe() const { return path_ + exe_name_; }

 private:
  std::string path_;
  std::string exe_name_;
};

class Certdesk {
 public:
  ~Certdesk();  // closes the program if it still runs

  // Starts certdesk (the build's, or `exe`) and waits for its main window.
  bool Start(const std::string &exe = "", const std::string &args = "",
             const std::vector<std::pair<std::string, std::string>> &environment = {});
  HWND main() const { return main_; }
  HWND tree() const { return GetDlgItem(main_, kTree); }
  DWORD pid() const { return program_.pid(); }
  desktop::Program &program() { return program_; }

  std::vector<desktop::TreeNode> Tree() const { return desktop::ReadTree(tree()); }
  // Selects the tree item with this text path ("root", "child"); false when there is none.
  bool Select(const std::string &root, const std::string &child = "");
  // Waits until the tree's texts are `expected` (each root with its children).
  bool WaitForTree(const std::vector<std::vector<std::string>> &expected, int timeout_ms = 15000);

  // certdesk's message box, when one comes.
  HWND WaitMessage(int timeout_ms = 10000) const;
  // The message box read and answered with `button`; an empty view when none came.
  desktop::MessageBoxView TakeMessage(int button = IDOK);
  // Selects the certificate and opens the PIN dialog of `command` (kVerify, kChange).
  HWND OpenPinDialog(int command, const std::string &root, const std::string &certificate);
  // A dialog of certdesk with this caption, when it comes.
  HWND WaitDialog(const char *caption, int timeout_ms = 10000) const;

  // The certificate viewer certdesk opened: a window of its own with the main window's caption.
  HWND WaitViewer(int timeout_ms = 10000) const;

  // Closes the main window and waits for the end; the exit code, or -1.
  long Close();

 private:
  desktop::Program program_;
  HWND main_ = nullptr;
};

// The viewer's text naming the certificate's subject and issuer.
std::string ViewerNames(HWND viewer);

// The tree's texts: each root with its children, as WaitForTree takes them.
std::vector<std::vector<std::string>> Texts(const std::vector<desktop::TreeNode> &tree);
std::string Describe(const std::vector<std::vector<std::string>> &texts);

}  // namespace certdesk_test
