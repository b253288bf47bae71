// certdesk's start: the class registration, the close option, the single instance, and the
// main dialog.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "certdesk/main_dialog.h"
#include "certdesk/resource_ids.h"
#include "certdesk/texts.h"

namespace {

constexpr char kDialogClass[] = "#32770";
constexpr char kInstanceName[] = "SM2ZVClass";  // the class and the single-instance mutex

// The system dialog class under the program's own name, with its icon.
bool RegisterOwnClass(HINSTANCE instance) {
  WNDCLASSA own{};
  if (!GetClassInfoA(nullptr, kDialogClass, &own)) return false;
  own.hInstance = instance;
  own.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_CERTDESK));
  own.lpszClassName = kInstanceName;
  return RegisterClassA(&own) != 0;
}

bool EndsWithCloseOption(const char *command_line) {
  const std::size_t n = command_line ? std::strlen(command_line) : 0;
  return n >= 2 && _stricmp(command_line + n - 2, "-u") == 0;
}

HWND RunningWindow() { return FindWindowA(kDialogClass, certdesk::kMainCaption); }

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  InitCommonControls();
  if (!RegisterOwnClass(instance)) return 0;
  if (EndsWithCloseOption(command_line)) {
    if (HWND running = RunningWindow()) SendMessageA(running, WM_CLOSE, 0, 0);
    return 0;
  }
  // The mutex is held until the process ends. While it exists without a window yet, this
  // start opens a window of its own.
  if (OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kInstanceName)) {
    if (HWND running = RunningWindow()) {
      SetForegroundWindow(running);
      return 0;
    }
  } else {
    CreateMutexA(nullptr, TRUE, kInstanceName);
  }
  return static_cast<int>(
      DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, certdesk::MainDlgProc, 0));
}
