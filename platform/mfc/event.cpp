#include "platform/mfc/event.h"

CEvent::CEvent(BOOL initially_set, BOOL manual_reset, const char *name,
               LPSECURITY_ATTRIBUTES security)
    : m_hObject(CreateEventA(security, manual_reset, initially_set, name)) {}

CEvent::~CEvent() {
  if (m_hObject) CloseHandle(m_hObject);
}

BOOL CEvent::Lock(DWORD timeout) {
  return WaitForSingleObject(m_hObject, timeout) == WAIT_OBJECT_0;
}
