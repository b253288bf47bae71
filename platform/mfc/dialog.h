// CDialog: a dialog from a template of the program's resources, run modally. The framework
// creates the dialog, calls OnInitDialog, runs the message loop until EndDialog, then calls
// DestroyWindow (virtual) and returns the EndDialog result.
#pragma once

#include "platform/mfc/window.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT template_id, CWnd *parent = nullptr)
      : template_id_(template_id), parent_(parent) {}

  // The result given to EndDialog, or -1 when the dialog could not be created.
  virtual INT_PTR DoModal();
  void EndDialog(int result);

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  // IDOK and IDCANCEL (also WM_CLOSE, which the dialog turns into IDCANCEL).
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  void PostNcDestroy() override { ended_ = true; }

  DECLARE_MESSAGE_MAP()

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  UINT template_id_;
  CWnd *parent_;
  bool ended_ = false;
  INT_PTR result_ = -1;
};
