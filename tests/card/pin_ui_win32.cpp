// The scripted user as a thread that drives the windows of this process: the PIN dialog and
// the message boxes, found by class and caption, read through their controls, clicked with
// WM_COMMAND. The first sight of the dialog is saved as a screenshot of the display.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "pin_ui.h"
#include "tests/desktop/support/screenshot.h"

struct ScriptedUser::State {
  std::vector<UiStep> steps;
  std::vector<UiSeen> seen;
  std::atomic<bool> stop{false};
  std::thread thread;
};

namespace {

constexpr wchar_t kCaption[] = L"USBKey密码验证";
constexpr int kEditId = 1000;

std::string Utf8(const std::wstring &w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  s.resize(n - 1);
  return s;
}

std::wstring Text(HWND h) {
  wchar_t buffer[512] = {};
  GetWindowTextW(h, buffer, 512);
  return buffer;
}

bool IsDialog(HWND h) { return GetDlgItem(h, kEditId) != nullptr; }

struct Search {
  bool dialog;
  HWND found;
};

BOOL CALLBACK MatchPrompt(HWND h, LPARAM p) {
  auto *s = reinterpret_cast<Search *>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  wchar_t cls[16] = {};
  GetClassNameW(h, cls, 16);
  if (pid != GetCurrentProcessId() || wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(h) ||
      Text(h) != kCaption || IsDialog(h) != s->dialog || (s->dialog && !IsWindowEnabled(h))) {
    return TRUE;
  }
  s->found = h;
  return FALSE;
}

// A visible top-level window of this process with the PIN caption: the dialog (when it is
// enabled, that is no message is over it) or a message box.
HWND FindPrompt(bool dialog) {
  Search search{dialog, nullptr};
  EnumWindows(MatchPrompt, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK TakeStaticText(HWND h, LPARAM p) {
  wchar_t cls[16] = {};
  GetClassNameW(h, cls, 16);
  const LONG style = GetWindowLongW(h, GWL_STYLE);
  if (_wcsicmp(cls, L"Static") == 0 && (style & SS_TYPEMASK) != SS_ICON) {
    const std::wstring t = Text(h);
    if (!t.empty()) *reinterpret_cast<std::wstring *>(p) = t;
  }
  return TRUE;
}

BOOL CALLBACK FindIcon(HWND h, LPARAM p) {
  wchar_t cls[16] = {};
  GetClassNameW(h, cls, 16);
  if (_wcsicmp(cls, L"Static") == 0 && (GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    *reinterpret_cast<HWND *>(p) = h;
    return FALSE;
  }
  return TRUE;
}

// The message text: the static control that is not an icon.
std::string MessageText(HWND box) {
  std::wstring text;
  EnumChildWindows(box, TakeStaticText, reinterpret_cast<LPARAM>(&text));
  return Utf8(text);
}

}  // namespace

namespace {

void Click(HWND h, int id) {
  PostMessageW(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(h, id)));
}

BOOL CALLBACK CancelAnyDialog(HWND h, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  wchar_t cls[16] = {};
  GetClassNameW(h, cls, 16);
  if (pid == GetCurrentProcessId() && wcscmp(cls, L"#32770") == 0 && IsWindowVisible(h)) {
    PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
  return TRUE;
}

// Waits for a prompt of the given kind; nullptr when stopped. A prompt that never comes in a
// recognisable form (another caption, a garbled text) is reported as such, and whatever dialog
// the process shows is cancelled, so the test fails instead of hanging.
constexpr int kPromptWaitMs = 30000;
HWND Wait(ScriptedUser::State &s, bool dialog) {
  for (int waited = 0;; waited += 20) {
    if (HWND h = FindPrompt(dialog)) return h;
    if (s.stop) return nullptr;
    if (waited >= kPromptWaitMs) {
      s.seen.push_back({UiSeen::kOkOnly, "[no recognisable prompt]"});
      EnumWindows(CancelAnyDialog, 0);
      waited = 0;
    }
    Sleep(20);
  }
}

void Gone(HWND h, bool dialog) {
  for (int i = 0; i < 500; ++i) {
    if (!IsWindow(h) || !IsWindowVisible(h) || (dialog && !IsWindowEnabled(h))) return;
    Sleep(20);
  }
}

void ActOnDialog(ScriptedUser::State &s, HWND dialog, const UiStep *step) {
  static bool screenshot_taken = false;  // one a run
  if (!screenshot_taken) {
    Sleep(200);  // let it paint
    SaveScreenshot("pin_dialog.png");
    screenshot_taken = true;
  }
  s.seen.push_back({UiSeen::kDialog, ""});
  if (step && step->action == UiAction::kEnterPin) {
    SetDlgItemTextA(dialog, kEditId, step->pin.c_str());
    Click(dialog, IDOK);
  } else {
    Click(dialog, IDCANCEL);
  }
  Gone(dialog, true);
}

void ActOnMessage(ScriptedUser::State &s, HWND box, const UiStep *step) {
  HWND owner = GetWindow(box, GW_OWNER);
  UiSeen seen{UiSeen::kOkOnly, MessageText(box)};
  if (owner && IsDialog(owner)) {
    seen.kind = UiSeen::kDialogMessage;
  } else if (GetDlgItem(box, IDCANCEL)) {
    seen.kind = UiSeen::kOkCancel;
    const LONG cancel = GetWindowLongW(GetDlgItem(box, IDCANCEL), GWL_STYLE);
    if ((cancel & BS_TYPEMASK) != BS_DEFPUSHBUTTON) seen.text += " [default OK]";
  }
  // The icon of the style: a warning (IDI_EXCLAMATION) over the dialog and with the retries,
  // an error (IDI_HAND) alone.
  HWND icon = nullptr;
  EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&icon));
  const LPCWSTR expected = MAKEINTRESOURCEW(seen.kind == UiSeen::kOkOnly ? 32513 : 32515);
  if (!icon || reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)) !=
                   LoadIconW(nullptr, expected)) {
    seen.text += " [other icon]";
  }
  s.seen.push_back(seen);
  const bool cancel = step && step->action == UiAction::kMessageCancel;
  Click(box, cancel && GetDlgItem(box, IDCANCEL) ? IDCANCEL : IDOK);
  Gone(box, false);
}

void Play(ScriptedUser::State &s) {
  for (const UiStep &step : s.steps) {
    const bool dialog =
        step.action == UiAction::kEnterPin || step.action == UiAction::kCancelDialog;
    HWND h = Wait(s, dialog);
    if (!h) return;
    if (dialog) {
      ActOnDialog(s, h, &step);
    } else {
      ActOnMessage(s, h, &step);
    }
  }
  // Anything beyond the script is cancelled.
  while (!s.stop) {
    if (HWND h = FindPrompt(false)) ActOnMessage(s, h, nullptr);
    if (HWND h = FindPrompt(true)) ActOnDialog(s, h, nullptr);
    Sleep(20);
  }
}

}  // namespace

bool UiAvailable() { return true; }

ScriptedUser::ScriptedUser(std::vector<UiStep> steps) : state_(new State) {
  state_->steps = std::move(steps);
  state_->thread = std::thread([s = state_] { Play(*s); });
}

ScriptedUser::~ScriptedUser() {
  state_->stop = true;
  if (state_->thread.joinable()) state_->thread.join();
  delete state_;
}

std::vector<UiSeen> ScriptedUser::Finish() {
  state_->stop = true;
  if (state_->thread.joinable()) state_->thread.join();
  return state_->seen;
}
