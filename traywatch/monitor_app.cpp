#include "traywatch/monitor_app.h"

#include "platform/mfc/text.h"
#include "traywatch/monitor_dialog.h"

bool IsCloseRequest(const char *command_line) {
  const CString line = command_line;
  return line.GetLength() >= 2 && line.Right(2).CompareNoCase("-u") == 0;
}

BOOL MonitorApp::InitInstance() {
  if (IsCloseRequest(GetCommandLineA())) {
    if (HWND running = FindWindowA("#32770", kWindowCaption)) {
      SendMessageA(running, WM_CLOSE, 0, 0);
    }
    return FALSE;
  }
  if (OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kInstanceMutex)) return FALSE;
  instance_mutex_ = CreateMutexA(nullptr, TRUE, kInstanceMutex);
  // Two starts at the same moment: the later one finds the mutex made here.
  if (GetLastError() == ERROR_ALREADY_EXISTS) return FALSE;

  MonitorDialog dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
