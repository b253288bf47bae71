// Connecting a device: tokencore's SKF_ConnectDev (tokenbase's is in skf/legacy).
#include "skf/api/export_util.h"

extern "C" ULONG DEVAPI SKF_ConnectDev(const CHAR *szName, DEVHANDLE *phDev) {
  return RunExport("SKF_ConnectDev", [&]() -> ULONG {
    if (!szName || !phDev) return SAR_INVALIDPARAMERR;
    DEVHANDLE device = QX_OpenByPath(szName);
    if (!device) return SAR_FAIL;
    *phDev = device;
    ClearDevAuth();
    return SAR_OK;
  });
}
