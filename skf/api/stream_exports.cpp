// Multi-part encryption and decryption: the Update and Final steps on a session key's stream
// state. A non-NULL output buffer's size is the caller's *length.
#include <climits>

#include "skf/api/export_util.h"
#include "skf/api/session_key.h"
#include "skf/card/sym_modes.h"
#include "skf/card/sym_stream.h"

namespace {

// Pending and new bytes are counted in int by the card layer.
constexpr ULONG kUpdateMax = INT_MAX - 2 * kSymBlock;

ULONG StreamCode(int result) {
  switch (result) {
    case kStreamOk:
      return SAR_OK;
    case kStreamNoDevice:
      return SAR_INVALIDHANDLEERR;
    case kStreamBufferTooSmall:
      return SAR_BUFFER_TOO_SMALL;
    default:
      return SAR_FAIL;
  }
}

using Step = int (*)(SymStreamState &, std::span<const std::uint8_t>, std::span<std::uint8_t>,
                     std::uint32_t *);
using FinalStep = int (*)(SymStreamState &, std::span<std::uint8_t>, std::uint32_t *);

ULONG RunUpdate(Step step, HANDLE hKey, const BYTE *in, ULONG in_length, BYTE *out,
                ULONG *out_length) {
  SessionKeyHandle *k = AsSessionKey(hKey);
  if (!k) return SAR_INVALIDHANDLEERR;
  if (!out_length || (!in && in_length)) return SAR_INVALIDPARAMERR;
  if (in_length > kUpdateMax) return SAR_INDATALENERR;
  std::uint32_t length = *out_length;
  const int result = step(*k, {in, in ? in_length : 0}, {out, out ? *out_length : 0}, &length);
  if (result == kStreamOk || result == kStreamBufferTooSmall) *out_length = length;
  return StreamCode(result);
}

ULONG RunFinal(FinalStep step, HANDLE hKey, BYTE *out, ULONG *out_length) {
  SessionKeyHandle *k = AsSessionKey(hKey);
  if (!k) return SAR_INVALIDHANDLEERR;
  if (!out_length) return SAR_INVALIDPARAMERR;
  std::uint32_t length = *out_length;
  const int result = step(*k, {out, out ? *out_length : 0}, &length);
  if (result == kStreamOk || result == kStreamBufferTooSmall) *out_length = length;
  return StreamCode(result);
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_EncryptUpdate(HANDLE hKey, BYTE *pbData, ULONG ulDataLen, BYTE *pbEncryptedData,
                               ULONG *pulEncryptedLen) {
  return RunExport("SKF_EncryptUpdate", [&] {
    return RunUpdate(StreamEncryptUpdate, hKey, pbData, ulDataLen, pbEncryptedData,
                     pulEncryptedLen);
  });
}

ULONG DEVAPI SKF_EncryptFinal(HANDLE hKey, BYTE *pbEncryptedData, ULONG *pulEncryptedDataLen) {
  return RunExport("SKF_EncryptFinal", [&] {
    return RunFinal(StreamEncryptFinal, hKey, pbEncryptedData, pulEncryptedDataLen);
  });
}

ULONG DEVAPI SKF_DecryptUpdate(HANDLE hKey, BYTE *pbEncryptedData, ULONG ulEncryptedLen,
                               BYTE *pbData, ULONG *pulDataLen) {
  return RunExport("SKF_DecryptUpdate", [&] {
    return RunUpdate(StreamDecryptUpdate, hKey, pbEncryptedData, ulEncryptedLen, pbData,
                     pulDataLen);
  });
}

ULONG DEVAPI SKF_DecryptFinal(HANDLE hKey, BYTE *pbDecryptedData, ULONG *pulDecryptedDataLen) {
  return RunExport("SKF_DecryptFinal", [&] {
    return RunFinal(StreamDecryptFinal, hKey, pbDecryptedData, pulDecryptedDataLen);
  });
}

}  // extern "C"
