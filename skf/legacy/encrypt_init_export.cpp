// Starting an encryption, tokenbase's way: the IV and the padding are stored without any card
// access.
#include "skf/api/export_util.h"
#include "skf/api/session_key.h"

extern "C" ULONG DEVAPI SKF_EncryptInit(HANDLE hKey, BLOCKCIPHERPARAM EncryptParam) {
  return RunExport("SKF_EncryptInit", [&]() -> ULONG {
    SessionKeyHandle *k = AsSessionKey(hKey);
    const ULONG checked = CheckInitArguments(k, EncryptParam);
    if (checked == SAR_OK) StartOperation(*k, EncryptParam);
    return checked;
  });
}
