// Starting an encryption: tokencore's SKF_EncryptInit, which first checks that the device
// answers (tokenbase's is in skf/legacy).
#include "skf/api/export_util.h"
#include "skf/api/session_key.h"

extern "C" ULONG DEVAPI SKF_EncryptInit(HANDLE hKey, BLOCKCIPHERPARAM EncryptParam) {
  return RunExport("SKF_EncryptInit", [&]() -> ULONG {
    SessionKeyHandle *k = AsSessionKey(hKey);
    const ULONG checked = CheckInitArguments(k, EncryptParam);
    if (checked != SAR_OK) return checked;
    // The serial is not kept: reading it proves that the device answers.
    char serial[kSerialTextSize];
    if (QX_GET_BCDSN(k->hDev, serial) != 0) return SAR_FAIL;
    StartOperation(*k, EncryptParam);
    return SAR_OK;
  });
}
