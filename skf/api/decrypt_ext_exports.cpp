// tokencore's three further decryptions with a container's private key, which tokenbase does
// not have: SKF_PrvRsaKeyDecrypt (raw RSA, the key chosen by dwKeySpec), SKFEX_RSADecrypt (RSA
// with type-2 padding removed, the process's PIN slots only) and SKFEX_ECCDecrypt (SM2).
#include "skf/api/container_decrypt.h"
#include "skf/api/export_util.h"

namespace {

constexpr ULONG kEccPlainReported = 256;  // SKFEX_ECCDecrypt's answer to a length query

}  // namespace

extern "C" {

ULONG DEVAPI SKF_PrvRsaKeyDecrypt(HCONTAINER hContainer, ULONG dwKeySpec, BYTE *pbInput,
                                  ULONG ulInputLen, BYTE *pbOutput, ULONG *pulOutputLen) {
  LogTrace("SKF_PrvRsaKeyDecrypt begin, hContainer=%p, dwKeySpec=%x", hContainer, dwKeySpec);
  return RunExport("SKF_PrvRsaKeyDecrypt", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    const ULONG checked = CheckRsaDecryptArguments(container, pbInput, ulInputLen, pulOutputLen);
    if (checked != SAR_OK) return checked;
    return DecryptWithRsaContainer(*container, dwKeySpec == kSigningKeySpec, pbInput, ulInputLen,
                                   pbOutput, pulOutputLen, SharedSlot::consult, RsaUnpad::none,
                                   kLengthQueryExtra);
  });
}

ULONG DEVAPI SKFEX_RSADecrypt(HCONTAINER hContainer, BYTE *pbInput, ULONG ulInputLen,
                              BYTE *pbOutput, ULONG *pulOutputLen, ULONG ulUsage) {
  LogTrace("SKFEX_RSADecrypt begin, hContainer=%p, ulUsage=%x", hContainer, ulUsage);
  return RunExport("SKFEX_RSADecrypt", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container) return SAR_INVALIDHANDLEERR;
    if (ulInputLen > kRsaCipherMax) return SAR_INVALIDPARAMERR;
    if (!pulOutputLen) return SAR_INVALIDPARAMERR;
    if (!pbOutput) {
      *pulOutputLen = kRsaCipherMax;
      return SAR_OK;
    }
    const ULONG checked = CheckRsaDecryptArguments(container, pbInput, ulInputLen, pulOutputLen);
    if (checked != SAR_OK) return checked;
    return DecryptWithRsaContainer(*container, ulUsage == kSigningKeySpec, pbInput, ulInputLen,
                                   pbOutput, pulOutputLen, SharedSlot::skip, RsaUnpad::type2, 0);
  });
}

ULONG DEVAPI SKFEX_ECCDecrypt(HCONTAINER hContainer, ULONG dwKeySpec, PECCCIPHERBLOB pCipherText,
                              BYTE *pbPlainText, ULONG *pulPlainTextLen) {
  return RunExport("SKFEX_ECCDecrypt", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container) return SAR_INVALIDHANDLEERR;
    if (!pulPlainTextLen) return SAR_INVALIDPARAMERR;
    if (!pbPlainText) {
      *pulPlainTextLen = kEccPlainReported;
      return SAR_OK;
    }
    const ULONG checked = CheckEccDecryptArguments(container, pCipherText, pulPlainTextLen);
    if (checked != SAR_OK) return checked;
    return DecryptWithEccContainer(*container, dwKeySpec, *pCipherText, pbPlainText,
                                   pulPlainTextLen, 0);
  });
}

}  // extern "C"
