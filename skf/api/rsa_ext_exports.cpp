// The library's own RSA container exports: the stored key type, and decryption with the
// container's signing or exchange private key, raw or with type-2 padding removed.
#include "skf/api/export_util.h"
#include "skf/api/key_gate.h"
#include "skf/api/key_output.h"
#include "skf/card/rsa_ops.h"
#include "skf/card/secure_zero.h"

namespace {

constexpr std::size_t kInputBufferSize = 512;
constexpr ULONG kInputMax = 256;  // a 2048-bit ciphertext
constexpr ULONG kLengthQueryExtra = 1;
constexpr ULONG kSigningSpec = 2;

enum class Unpad { none, type2 };

// Everything after the handle checks: preamble, key type, PIN step, the card operation and
// the output. The input is copied into a zeroed 512-byte buffer first.
ULONG DecryptWithContainer(const ContainerHandle &container, bool signing, const BYTE *input,
                           ULONG input_length, BYTE *out, ULONG *out_length, SharedSlot shared,
                           Unpad unpad, ULONG extra_for_null) {
  DEVHANDLE device = container.hDev;
  KeyContainer c;
  if (OpenKeyContainer(container, c) != SAR_OK) return SAR_FAIL;
  if (EntryField(c, kKeyType) == kKeySm2) return SAR_FAIL;
  std::uint8_t in[kInputBufferSize] = {};
  if (input_length) std::memcpy(in, input, input_length);
  const ULONG pin = PrivateKeyPinStep(device, c.app_id, shared);
  if (pin != SAR_OK) return pin;
  std::uint8_t answer[kInputBufferSize] = {};
  std::uint32_t length = 0;
  // 128 bytes take the 1024-bit form; every other length the 2048-bit form on 256 bytes.
  const std::span<const std::uint8_t> data(in, input_length == 128 ? 128 : kInputMax);
  const int done = unpad == Unpad::type2
                       ? QX_RsaDecrypt(device, signing ? 1 : 0, data, answer, &length)
                       : QX_RsaDecryptRaw(device, signing ? 1 : 0, data, answer, &length);
  ULONG result = SAR_FAIL;
  if (done == 0) result = CopyResult({answer, length}, out, out_length, extra_for_null);
  SecureZero(answer, sizeof answer);
  return result;
}

ULONG CheckDecryptArguments(const ContainerHandle *container, const BYTE *input, ULONG input_length,
                            const ULONG *out_length) {
  if (!container || !container->hDev) return SAR_INVALIDHANDLEERR;
  if ((!input && input_length) || !out_length) return SAR_INVALIDPARAMERR;
  if (input_length > kInputMax) return SAR_INVALIDPARAMERR;
  return SAR_OK;
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_GetRsaType(HCONTAINER hContainer, ULONG *pulKeyType) {
  return RunExport("SKF_GetRsaType", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container || !container->hDev) return SAR_INVALIDHANDLEERR;
    if (!pulKeyType) return SAR_INVALIDPARAMERR;
    KeyContainer c;
    if (OpenKeyContainer(*container, c) != SAR_OK) return SAR_FAIL;
    *pulKeyType = EntryField(c, kKeyType);
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_PriRsaDecrypt(HCONTAINER hContainer, ULONG bSign, BYTE *pbInput, ULONG ulInputLen,
                               BYTE *pbOutput, ULONG *pulOutputLen) {
  LogTrace("SKF_PriRsaDecrypt begin, hContainer=%p, bSign=%x", hContainer, bSign);
  return RunExport("SKF_PriRsaDecrypt", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    const ULONG checked = CheckDecryptArguments(container, pbInput, ulInputLen, pulOutputLen);
    if (checked != SAR_OK) return checked;
    return DecryptWithContainer(*container, bSign != 0, pbInput, ulInputLen, pbOutput, pulOutputLen,
                                SharedSlot::consult, Unpad::none, kLengthQueryExtra);
  });
}

ULONG DEVAPI SKF_PrvRsaKeyDecrypt(HCONTAINER hContainer, ULONG dwKeySpec, BYTE *pbInput,
                                  ULONG ulInputLen, BYTE *pbOutput, ULONG *pulOutputLen) {
  LogTrace("SKF_PrvRsaKeyDecrypt begin, hContainer=%p, dwKeySpec=%x", hContainer, dwKeySpec);
  return RunExport("SKF_PrvRsaKeyDecrypt", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    const ULONG checked = CheckDecryptArguments(container, pbInput, ulInputLen, pulOutputLen);
    if (checked != SAR_OK) return checked;
    return DecryptWithContainer(*container, dwKeySpec == kSigningSpec, pbInput, ulInputLen,
                                pbOutput, pulOutputLen, SharedSlot::consult, Unpad::none,
                                kLengthQueryExtra);
  });
}

ULONG DEVAPI SKFEX_RSADecrypt(HCONTAINER hContainer, BYTE *pbInput, ULONG ulInputLen,
                              BYTE *pbOutput, ULONG *pulOutputLen, ULONG ulUsage) {
  LogTrace("SKFEX_RSADecrypt begin, hContainer=%p, ulUsage=%x", hContainer, ulUsage);
  return RunExport("SKFEX_RSADecrypt", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container) return SAR_INVALIDHANDLEERR;
    if (ulInputLen > kInputMax) return SAR_INVALIDPARAMERR;
    if (!pulOutputLen) return SAR_INVALIDPARAMERR;
    if (!pbOutput) {
      *pulOutputLen = kInputMax;
      return SAR_OK;
    }
    const ULONG checked = CheckDecryptArguments(container, pbInput, ulInputLen, pulOutputLen);
    if (checked != SAR_OK) return checked;
    return DecryptWithContainer(*container, ulUsage == kSigningSpec, pbInput, ulInputLen, pbOutput,
                                pulOutputLen, SharedSlot::skip, Unpad::type2, 0);
  });
}

}  // extern "C"
