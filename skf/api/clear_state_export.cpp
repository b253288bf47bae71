// Clearing the security state: tokencore's SKF_ClearSecureState (tokenbase's is in skf/legacy).
#include "skf/api/export_util.h"

extern "C" ULONG DEVAPI SKF_ClearSecureState(HAPPLICATION /*hApplication*/) {
  return RunExport("SKF_ClearSecureState", []() -> ULONG {
    ClearPinSlots();
    return SAR_OK;
  });
}
