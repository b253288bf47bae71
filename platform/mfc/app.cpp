#include "platform/mfc/app.h"

namespace {
CWinApp *the_app = nullptr;
}

CWinApp::CWinApp() { the_app = this; }

CWinApp::~CWinApp() {
  if (the_app == this) the_app = nullptr;
}

CWinApp *AfxGetApp() { return the_app; }

int AfxWinMain(HINSTANCE instance, LPSTR command_line, int show) {
  CWinApp *app = AfxGetApp();
  if (!app) return -1;
  app->m_hInstance = instance;
  app->m_lpCmdLine = command_line ? command_line : "";
  app->m_nCmdShow = show;
  app->InitInstance();
  return app->ExitInstance();
}
