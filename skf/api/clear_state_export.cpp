// Clearing the security state: tokencore's SKF_ClearSecureState (tokenbase's is in skf/legacy).
#include "skf/api/export_util.h"
#include "skf/card/secure_zero.h"

extern "C" ULONG DEVAPI SKF_ClearSecureState(HAPPLICATION /*hApplication*/) {
  return RunExport("SKF_ClearSecureState", []() -> ULONG {
    SecureZero(PinCacheSlots, sizeof PinCacheSlots);
    return SAR_OK;
  });
}
