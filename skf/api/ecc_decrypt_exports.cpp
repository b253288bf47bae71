// SM2 decryption with a container's signing or encryption private key. The PIN comes from
// the process's PIN slots only; the shared PIN slot is not asked. tokencore's SKFEX_ECCDecrypt
// is in decrypt_ext_exports.cpp.
#include "skf/api/container_decrypt.h"
#include "skf/api/ecc_limits.h"
#include "skf/api/export_util.h"
#include "skf/api/key_output.h"
#include "skf/card/secure_zero.h"
#include "skf/card/sm2_ops.h"

ULONG DecryptWithEccContainer(const ContainerHandle &container, ULONG key_spec,
                              const ECCCIPHERBLOB &blob, BYTE *out, ULONG *out_length,
                              ULONG extra_for_null) {
  DEVHANDLE device = container.hDev;
  KeyContainer c;
  if (OpenKeyContainer(container, c) != SAR_OK) return SAR_FAIL;
  if (EntryField(c, kKeyType) != kKeySm2) return SAR_FAIL;
  std::uint8_t card[kEccCardCipherMax];
  const std::size_t cipher_length = CardCipher(blob, card);
  const ULONG pin = PrivateKeyPinStep(device, c.app_id, SharedSlot::skip);
  if (pin != SAR_OK) return pin;
  std::uint8_t plain[kSm2ContainerAnswerMax] = {};
  int length = 0;
  ULONG result = SAR_FAIL;
  if (QX_PrivateEccDecrypt(device, key_spec == kSigningKeySpec ? 1 : 0, {card, cipher_length},
                           plain, &length) == 0) {
    result = CopyResult({plain, static_cast<std::size_t>(length)}, out, out_length, extra_for_null);
  }
  SecureZero(plain, sizeof plain);
  return result;
}

ULONG CheckEccDecryptArguments(const ContainerHandle *container, const ECCCIPHERBLOB *blob,
                               const ULONG *out_length) {
  if (!container->hDev) return SAR_INVALIDHANDLEERR;
  if (!blob || !out_length) return SAR_INVALIDPARAMERR;
  if (blob->CipherLen > kEccCipherMax) return SAR_INDATALENERR;
  return SAR_OK;
}

extern "C" ULONG DEVAPI SKF_PrvKeyDecrypt(HCONTAINER hContainer, ULONG dwKeySpec,
                                          PECCCIPHERBLOB pCipherText, BYTE *pbPlainText,
                                          ULONG *pulPlainTextLen) {
  return RunExport("SKF_PrvKeyDecrypt", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container) return SAR_INVALIDHANDLEERR;
    const ULONG checked = CheckEccDecryptArguments(container, pCipherText, pulPlainTextLen);
    if (checked != SAR_OK) return checked;
    return DecryptWithEccContainer(*container, dwKeySpec, *pCipherText, pbPlainText,
                                   pulPlainTextLen, kLengthQueryExtra);
  });
}
