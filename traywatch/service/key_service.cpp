#include "traywatch/service/key_service.h"

#include "traywatch/program_folder.h"
#include "traywatch/service/os_kind.h"
#include "traywatch/service/user_session.h"

namespace {

// The one service of the process, for the entry point and the control handler.
KeyService *g_service = nullptr;
int g_osKind = 1;

constexpr DWORD kLaunchRetryMs = 2000;
constexpr DWORD kWaitPassMs = 1000;
constexpr DWORD kWindows2000ExtraMs = 20000;
constexpr char kTraywatch[] = "traywatch.exe";

}  // namespace

KeyService::KeyService(const char *name) {
  lstrcpynA(name_, name, sizeof name_);
  g_osKind = CurrentOsKind();
  status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status_.dwCurrentState = SERVICE_STOPPED;
  status_.dwControlsAccepted = g_osKind == kOsKindWindows2000
                                   ? SERVICE_ACCEPT_STOP
                                   : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SESSIONCHANGE;
  g_service = this;
}

KeyService::~KeyService() {
  if (g_service == this) g_service = nullptr;
}

BOOL KeyService::StartDispatcher() {
  SERVICE_TABLE_ENTRYA table[] = {{name_, &ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table);
}

void KeyService::SetState(DWORD state) {
  status_.dwCurrentState = state;
  ReportStatus();
}

void KeyService::ReportStatus() { SetServiceStatus(status_handle_, &status_); }

bool KeyService::StopRequested(DWORD ms) { return stop_.Lock(ms); }

void WINAPI KeyService::ServiceMain(DWORD, LPSTR *) {
  KeyService *s = g_service;
  s->status_.dwCurrentState = SERVICE_START_PENDING;
  s->status_handle_ = RegisterServiceCtrlHandlerExA(s->name_, &HandlerEx, nullptr);
  if (!s->status_handle_) return;

  s->SetState(SERVICE_START_PENDING);
  const BOOL ok = s->OnInit();
  s->status_.dwWin32ExitCode = GetLastError();
  s->status_.dwCheckPoint = 0;
  s->status_.dwWaitHint = 0;
  s->SetState(ok ? SERVICE_RUNNING : SERVICE_STOPPED);
  if (ok) {
    s->running_ = true;
    s->status_.dwWin32ExitCode = 0;
    s->status_.dwCheckPoint = 0;
    s->status_.dwWaitHint = 0;
    s->Run();
  }
  s->SetState(SERVICE_STOPPED);
}

DWORD WINAPI KeyService::HandlerEx(DWORD control, DWORD, LPVOID, LPVOID) {
  KeyService *s = g_service;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      s->SetState(SERVICE_STOP_PENDING);
      s->OnStop();
      s->running_ = false;
      break;
    case SERVICE_CONTROL_PAUSE:
      s->OnPause();
      break;
    case SERVICE_CONTROL_CONTINUE:
      s->OnContinue();
      break;
    case SERVICE_CONTROL_INTERROGATE:
      s->OnInterrogate();
      break;
    case SERVICE_CONTROL_SHUTDOWN:
      s->OnShutdown();
      break;
    default:
      if (control >= 128) s->OnUserControl(control);
      break;
  }
  s->ReportStatus();
  // The service thread reports the end after this handler's last report.
  if (control == SERVICE_CONTROL_STOP) s->stop_.SetEvent();
  return NO_ERROR;
}

// A stop request ends the wait for the first start as well as the wait that follows it.
void KeyService::Run() {
  const CString traywatch = BesideProgram(kTraywatch, kServicePathSize);
  if (traywatch.IsEmpty()) {
    // No start could ever succeed: the service stops and says why.
    status_.dwWin32ExitCode = ERROR_FILENAME_EXCED_RANGE;
    return;
  }
  while (!LaunchInUserSession(traywatch, "")) {
    if (StopRequested(kLaunchRetryMs)) return;
  }
  while (running_) {
    if (StopRequested(kWaitPassMs)) return;
    if (g_osKind == kOsKindWindows2000 && StopRequested(kWindows2000ExtraMs)) return;
  }
}

void KeyService::OnStop() {
  const CString traywatch = BesideProgram(kTraywatch, kServicePathSize);
  if (!traywatch.IsEmpty()) LaunchInUserSession(traywatch, "-u");
}

int ServiceProgramMain(int argc, char **argv) {
  KeyService service("traywatch_Service");
  if (!service.ParseArgs(argc, argv)) service.StartDispatcher();
  return 0;
}
