// CWinApp: the one application object of a program. Its constructor makes it the program's
// application; the framework's WinMain (winmain.cpp, linked into the program) calls
// InitInstance, runs the message loop when it returns TRUE, and ends with ExitInstance.
#pragma once

#include <windows.h>

#include "platform/mfc/object.h"

class CWnd;

class CWinApp : public CObject {
 public:
  CWinApp();
  ~CWinApp() override;
  CWinApp(const CWinApp &) = delete;
  CWinApp &operator=(const CWinApp &) = delete;

  virtual BOOL InitInstance() { return FALSE; }
  virtual int Run();
  virtual int ExitInstance() { return exit_code_; }

  HINSTANCE m_hInstance = nullptr;
  const char *m_lpCmdLine = "";
  int m_nCmdShow = SW_SHOWNORMAL;
  CWnd *m_pMainWnd = nullptr;

 private:
  int exit_code_ = 0;
};

CWinApp *AfxGetApp();
int AfxWinMain(HINSTANCE instance, LPSTR command_line, int show);
