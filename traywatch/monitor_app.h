// MonitorApp: traywatch's application object. One instance a session (mutex ZVSM2SrvClass);
// a start whose command line ends in "-u" closes the running one instead.
#pragma once

#include "platform/mfc/app.h"

inline constexpr char kInstanceMutex[] = "ZVSM2SrvClass";
inline constexpr char kWindowCaption[] = "traywatch";

// The whole command line, program name included, ends in "-u" (any case).
bool IsCloseRequest(const char *command_line);

class MonitorApp : public CWinApp {
 public:
  // Runs the hidden dialog to its end; FALSE, so that the program ends with it.
  BOOL InitInstance() override;

 private:
  HANDLE instance_mutex_ = nullptr;  // held until the process ends
};
