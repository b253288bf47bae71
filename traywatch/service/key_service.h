// KeyService: the service "traywatch_Service". Installed as an automatic-start service of its
// own process, it starts traywatch.exe from its own folder in the interactive user's session,
// and closes it again ("-u") when the service stops. The same program installs, removes and
// reports the service when started with an option.
#pragma once

#include <windows.h>

#include <atomic>

#include "platform/mfc/event.h"

// The buffer in which the service builds its own file name and traywatch's. The tests build the
// program once more with a smaller one, to have a name that does not fit.
#ifndef TRAYWATCHSVC_PATH_SIZE
#define TRAYWATCHSVC_PATH_SIZE 512
#endif
inline constexpr DWORD kServicePathSize = TRAYWATCHSVC_PATH_SIZE;

class KeyService {
 public:
  explicit KeyService(const char *name);
  virtual ~KeyService();
  KeyService(const KeyService &) = delete;
  KeyService &operator=(const KeyService &) = delete;

  // "-v", "-install" and "-remove" (any case) in argv[1]; TRUE when one was handled.
  BOOL ParseArgs(int argc, char **argv);
  BOOL IsInstalled();
  // Registers the program's own file, quoted, as an automatic-start service; FALSE when its
  // name does not fit in kServicePathSize bytes or the manager refuses.
  BOOL Install();
  // Stops the service, waiting while it reports a pending stop, and deletes it.
  BOOL Uninstall();
  // Hands the thread to the service control manager; FALSE when not started by it.
  BOOL StartDispatcher();

 protected:
  // Starts traywatch, retrying every 2 s, then waits until the service is stopped. When
  // traywatch's file name does not fit, it returns at once with ERROR_FILENAME_EXCED_RANGE as
  // the service's exit code.
  virtual void Run();
  virtual BOOL OnInit() { return TRUE; }
  // Closes traywatch: starts it once more with "-u".
  virtual void OnStop();
  virtual void OnInterrogate() {}
  virtual void OnPause() {}
  virtual void OnContinue() {}
  virtual void OnShutdown() {}
  virtual BOOL OnUserControl(DWORD) { return FALSE; }

 private:
  static void WINAPI ServiceMain(DWORD argc, LPSTR *argv);
  static DWORD WINAPI HandlerEx(DWORD control, DWORD event_type, LPVOID event_data, LPVOID context);
  // Sets the current state and reports the whole status.
  void SetState(DWORD state);
  void ReportStatus();
  // Waits up to `ms` for a stop request; true when one came.
  bool StopRequested(DWORD ms);

  char name_[64] = {};
  int major_version_ = 1;
  int minor_version_ = 0;
  SERVICE_STATUS_HANDLE status_handle_ = nullptr;
  // Written by the control handler's thread and the service thread. No lock of its own: the
  // system serialises the handler with the status reports (Wine holds its dispatcher lock
  // through both), and a lock held across SetServiceStatus deadlocks against that one.
  SERVICE_STATUS status_{};
  std::atomic<bool> running_{false};
  CEvent stop_{FALSE, TRUE};  // set by the stop control
};

// The program: options, or the dispatcher.
int ServiceProgramMain(int argc, char **argv);
