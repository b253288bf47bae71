// CEvent: a Win32 event object.
#pragma once

#include <windows.h>

#include "platform/mfc/object.h"

class CEvent : public CObject {
 public:
  explicit CEvent(BOOL initially_set = FALSE, BOOL manual_reset = FALSE, const char *name = nullptr,
                  LPSECURITY_ATTRIBUTES security = nullptr);
  ~CEvent() override;
  CEvent(const CEvent &) = delete;
  CEvent &operator=(const CEvent &) = delete;

  BOOL SetEvent() { return ::SetEvent(m_hObject); }
  BOOL ResetEvent() { return ::ResetEvent(m_hObject); }
  // Waits until the event is set, at most `timeout` ms; TRUE when it was set.
  BOOL Lock(DWORD timeout = INFINITE);

  HANDLE m_hObject;
};
