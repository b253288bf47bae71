// Clearing the security state: tokenbase reports success and keeps the PIN slots.
#include "skf/api/export_util.h"

extern "C" ULONG DEVAPI SKF_ClearSecureState(HAPPLICATION /*hApplication*/) {
  return RunExport("SKF_ClearSecureState", []() -> ULONG { return SAR_OK; });
}
