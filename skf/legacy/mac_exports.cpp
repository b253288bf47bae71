// MAC family, tokenbase's way: each export reports success at once and touches no argument.
#include "skf/api/export_util.h"

extern "C" {

ULONG DEVAPI SKF_MacInit(HANDLE /*hKey*/, BLOCKCIPHERPARAM * /*pMacParam*/, HANDLE * /*phMac*/) {
  return RunExport("SKF_MacInit", [] { return ULONG{SAR_OK}; });
}

ULONG DEVAPI SKF_Mac(HANDLE /*hMac*/, BYTE * /*pbData*/, ULONG /*ulDataLen*/, BYTE * /*pbMacData*/,
                     ULONG * /*pulMacLen*/) {
  return RunExport("SKF_Mac", [] { return ULONG{SAR_OK}; });
}

ULONG DEVAPI SKF_MacUpdate(HANDLE /*hMac*/, BYTE * /*pbData*/, ULONG /*ulDataLen*/) {
  return RunExport("SKF_MacUpdate", [] { return ULONG{SAR_OK}; });
}

ULONG DEVAPI SKF_MacFinal(HANDLE /*hMac*/, BYTE * /*pbMacData*/, ULONG * /*pulMacDataLen*/) {
  return RunExport("SKF_MacFinal", [] { return ULONG{SAR_OK}; });
}

}  // extern "C"
