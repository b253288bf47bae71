// Raw command transmission: tokenbase sends nothing and reports success.
#include "skf/api/export_util.h"

extern "C" ULONG DEVAPI SKF_Transmit(DEVHANDLE /*hDev*/, const BYTE * /*pbCommand*/,
                                     ULONG /*ulCommandLen*/, BYTE * /*pbData*/,
                                     ULONG * /*pulDataLen*/) {
  return RunExport("SKF_Transmit", []() -> ULONG { return SAR_OK; });
}
