// Closing a session-key, hash or agreement handle: the records stay allocated.
#include "skf/api/export_util.h"

extern "C" ULONG DEVAPI SKF_CloseHandle(HANDLE /*hHandle*/) {
  return RunExport("SKF_CloseHandle", []() -> ULONG { return SAR_OK; });
}
