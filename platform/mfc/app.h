// CWinApp: the one application object of a program. Its constructor makes it the program's
// application; the framework's WinMain (winmain.cpp, linked into the program) calls
// InitInstance and ends with ExitInstance. The program's work is done inside InitInstance (a
// modal dialog); this layer has no message loop of the application's own.
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
  virtual int ExitInstance() { return 0; }

  HINSTANCE m_hInstance = nullptr;
  const char *m_lpCmdLine = "";
  int m_nCmdShow = SW_SHOWNORMAL;
  CWnd *m_pMainWnd = nullptr;
};

CWinApp *AfxGetApp();
int AfxWinMain(HINSTANCE instance, LPSTR command_line, int show);
