// Connecting a device, tokenbase's way: a key that still accepts the library's built-in card
// authentication is refused (closed again, SAR_FAIL); any other key is connected with the PIN
// slots and the device authentication cleared.
#include "skf/api/device.h"
#include "skf/api/directory.h"
#include "skf/api/export_util.h"
#include "skf/card/auth.h"

extern "C" ULONG DEVAPI SKF_ConnectDev(const CHAR *szName, DEVHANDLE *phDev) {
  return RunExport("SKF_ConnectDev", [&]() -> ULONG {
    if (!szName || !phDev) return SAR_INVALIDPARAMERR;
    DEVHANDLE device = QX_OpenByPath(szName);
    if (!device) return SAR_FAIL;
    SelectMf(device);
    if (QX_AuthDir(device) == 0) {
      CloseDevice(device);
      return SAR_FAIL;
    }
    *phDev = device;
    ClearPinSlots();
    ClearDevAuth();
    return SAR_OK;
  });
}
