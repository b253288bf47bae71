#include "platform/mfc/dialog.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal() {
  HWND owner = parent_ ? parent_->m_hWnd : nullptr;
  ended_ = false;
  result_ = -1;
  if (!CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(template_id_), owner,
                          &DialogProc, reinterpret_cast<LPARAM>(this))) {
    return -1;
  }
  if (owner) EnableWindow(owner, FALSE);
  MSG msg;
  while (!ended_) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
      break;
    }
    if (!m_hWnd || !IsDialogMessageA(m_hWnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  if (owner) EnableWindow(owner, TRUE);
  DestroyWindow();
  return result_;
}

void CDialog::EndDialog(int result) {
  result_ = result;
  ended_ = true;
  if (m_hWnd) ::PostMessageA(m_hWnd, WM_NULL, 0, 0);  // wakes the loop
}

// Until WM_INITDIALOG the dialog manager's messages come here; from then on the window is
// subclassed and this procedure only answers "not handled" to the dialog manager.
INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  auto *self = reinterpret_cast<CDialog *>(lParam);
  self->Subclass(window);
  return self->OnInitDialog();
}
