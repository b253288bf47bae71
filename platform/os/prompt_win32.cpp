#include <windows.h>

#include <cstring>

#include "platform/os/prompt.h"

namespace os {

namespace {

constexpr INT_PTR kEndOk = 1;
constexpr INT_PTR kEndCancel = 2;

void OnOk(HWND dialog, const PinPrompt &p) {
  std::memset(p.text.data(), 0, p.text.size());
  GetDlgItemTextA(dialog, p.edit_id, p.text.data(), p.read_max + 1);
  const char *message = p.check ? p.check(p.text.data()) : nullptr;
  if (message) {
    MessageBoxA(dialog, message, p.caption, MB_ICONWARNING);
    return;
  }
  EndDialog(dialog, kEndOk);
}

INT_PTR CALLBACK PinDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      const auto *p = reinterpret_cast<const PinPrompt *>(lparam);
      HWND edit = GetDlgItem(dialog, p->edit_id);
      SetFocus(edit);
      SendMessageA(edit, EM_LIMITTEXT, static_cast<WPARAM>(p->edit_limit), 0);
      break;
    }
    case WM_COMMAND: {
      const auto *p = reinterpret_cast<const PinPrompt *>(GetWindowLongPtrA(dialog, DWLP_USER));
      if (LOWORD(wparam) == IDOK && p) OnOk(dialog, *p);
      if (LOWORD(wparam) == IDCANCEL) EndDialog(dialog, kEndCancel);
      break;
    }
    default:
      break;
  }
  return FALSE;
}

}  // namespace

int RunPinPrompt(ModuleHandle module, const PinPrompt &prompt) {
  if (!module || prompt.read_max < 1 ||
      static_cast<std::size_t>(prompt.read_max) >= prompt.text.size()) {
    return -1;
  }
  const INT_PTR end =
      DialogBoxParamA(static_cast<HINSTANCE>(module), MAKEINTRESOURCEA(prompt.dialog_id), nullptr,
                      PinDialogProc, reinterpret_cast<LPARAM>(&prompt));
  if (end == kEndOk) return kIdOk;
  if (end == kEndCancel) return kIdCancel;
  return -1;
}

int ShowMessage(const char *text, const char *caption, unsigned style) {
  return MessageBoxA(nullptr, text, caption, style);
}

}  // namespace os
