// Session keys given in clear, the decryption Init export and one-shot encryption and
// decryption. The ciphers run on the card (identifier 1: triple DES in software); a key, its chain
// value and its stream state live in the SessionKeyHandle.
#include <climits>
#include <cstring>

#include "skf/api/export_util.h"
#include "skf/api/key_handles.h"
#include "skf/api/session_key.h"
#include "skf/card/heap_bytes.h"
#include "skf/card/secure_zero.h"
#include "skf/card/sym_cipher.h"
#include "skf/card/sym_modes.h"

namespace {

constexpr ULONG kSetSymmKeyAlgIds[] = {SGD_SM1_ECB,   SGD_SM1_CBC,   SGD_SM1_MAC,
                                       SGD_SSF33_ECB, SGD_SSF33_CBC, SGD_SSF33_MAC,
                                       SGD_SMS4_ECB,  SGD_SMS4_CBC,  SGD_SMS4_MAC};

bool SetSymmKeyAccepts(ULONG alg_id) {
  for (ULONG a : kSetSymmKeyAlgIds) {
    if (a == alg_id) return true;
  }
  return false;
}

// The card layer counts in int, with room for the padding block.
constexpr ULONG kOneShotMax = INT_MAX - 2 * kSymBlock;

// Key and IV copied out of the record for one call; the record itself is not changed.
struct WorkCopy {
  std::uint8_t key[kSymKeySize];
  std::uint8_t iv[kSessionIvSize] = {};
  int iv_length;
  explicit WorkCopy(const SessionKeyHandle &k) {
    std::memcpy(key, k.Key, sizeof key);
    iv_length = static_cast<int>(k.IVLen < sizeof iv ? k.IVLen : sizeof iv);
    std::memcpy(iv, k.IV, static_cast<std::size_t>(iv_length));
  }
  ~WorkCopy() {
    SecureZero(key, sizeof key);
    SecureZero(iv, sizeof iv);
  }
  WorkCopy(const WorkCopy &) = delete;
  WorkCopy &operator=(const WorkCopy &) = delete;
};

}  // namespace

ULONG CheckInitArguments(const SessionKeyHandle *key, const BLOCKCIPHERPARAM &param) {
  if (!key) return SAR_INVALIDHANDLEERR;
  return param.IVLen > sizeof param.IV ? SAR_INVALIDPARAMERR : SAR_OK;
}

void StartOperation(SessionKeyHandle &k, const BLOCKCIPHERPARAM &param) {
  std::memset(k.IV, 0, sizeof k.IV);
  std::memcpy(k.IV, param.IV, param.IVLen);
  k.IVLen = param.IVLen;
  k.bPadding = param.PaddingType;
  k.PendingLen = 0;
  k.Finished = 0;
}

extern "C" {

ULONG DEVAPI SKF_SetSymmKey(DEVHANDLE hDev, BYTE *pbKey, ULONG ulAlgID, HANDLE *phKey) {
  return RunExport("SKF_SetSymmKey", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pbKey || !phKey || !SetSymmKeyAccepts(ulAlgID)) return SAR_INVALIDPARAMERR;
    SessionKeyHandle *k = NewSessionKey(ulAlgID, {pbKey, kSessionKeyUsed}, hDev);
    if (!k) return SAR_FAIL;
    *phKey = k;
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_DecryptInit(HANDLE hKey, BLOCKCIPHERPARAM DecryptParam) {
  return RunExport("SKF_DecryptInit", [&]() -> ULONG {
    SessionKeyHandle *k = AsSessionKey(hKey);
    const ULONG checked = CheckInitArguments(k, DecryptParam);
    if (checked == SAR_OK) StartOperation(*k, DecryptParam);
    return checked;
  });
}

ULONG DEVAPI SKF_Encrypt(HANDLE hKey, BYTE *pbData, ULONG ulDataLen, BYTE *pbEncryptedData,
                         ULONG *pulEncryptedLen) {
  return RunExport("SKF_Encrypt", [&]() -> ULONG {
    if (!pbData || ulDataLen == 0 || !pulEncryptedLen) return SAR_INVALIDPARAMERR;
    SessionKeyHandle *k = AsSessionKey(hKey);
    if (!k) return SAR_INVALIDHANDLEERR;
    if (ulDataLen > kOneShotMax) return SAR_INDATALENERR;
    if (!pbEncryptedData) {
      const ULONG block = kSymBlock;
      *pulEncryptedLen = (ulDataLen + (k->bPadding ? block : block - 1)) / block * block;
      return SAR_OK;
    }
    if (!k->hDev) return SAR_INVALIDHANDLEERR;
    // The bytes the operation writes: software DES keeps the length, the card path adds the
    // padding block when asked.
    const ULONG written = k->dwAlgID != kAlgSoftDes && k->bPadding
                              ? static_cast<ULONG>(SymPaddedLength(static_cast<int>(ulDataLen)))
                              : ulDataLen;
    if (*pulEncryptedLen < written) {
      *pulEncryptedLen = written;
      return SAR_BUFFER_TOO_SMALL;
    }
    WorkCopy work(*k);
    int length = 0;
    if (QX_SymEncrypt(k->hDev, k->dwAlgID, k->bPadding, work.key, kSymKeySize, work.iv,
                      work.iv_length, pbData, static_cast<int>(ulDataLen),
                      {pbEncryptedData, *pulEncryptedLen}, &length) != 0) {
      return SAR_FAIL;
    }
    *pulEncryptedLen = static_cast<ULONG>(length);
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_Decrypt(HANDLE hKey, BYTE *pbEncryptedData, ULONG ulEncryptedLen, BYTE *pbData,
                         ULONG *pulDataLen) {
  return RunExport("SKF_Decrypt", [&]() -> ULONG {
    SessionKeyHandle *k = AsSessionKey(hKey);
    if (!k) return SAR_INVALIDHANDLEERR;
    if (!pbEncryptedData || !pulDataLen) return SAR_INVALIDPARAMERR;
    if (ulEncryptedLen > kOneShotMax) return SAR_INDATALENERR;
    if (!pbData) {
      // With padding the result is shorter.
      *pulDataLen = ulEncryptedLen;
      return SAR_OK;
    }
    if (!k->hDev) return SAR_INVALIDHANDLEERR;
    // The padding is known only once decrypted: work in a buffer of the whole input.
    HeapBytes plain(ulEncryptedLen);
    if (!plain.ok()) return SAR_FAIL;
    WorkCopy work(*k);
    int length = 0;
    const int result = QX_SymDecrypt(k->hDev, k->dwAlgID, k->bPadding, work.key, kSymKeySize,
                                     work.iv, work.iv_length, pbEncryptedData,
                                     static_cast<int>(ulEncryptedLen), plain.span(), &length);
    if (result != 0) return SAR_FAIL;
    if (*pulDataLen < static_cast<ULONG>(length)) {
      *pulDataLen = static_cast<ULONG>(length);
      return SAR_BUFFER_TOO_SMALL;
    }
    if (length > 0) std::memcpy(pbData, plain.data(), static_cast<std::size_t>(length));
    *pulDataLen = static_cast<ULONG>(length);
    return SAR_OK;
  });
}

}  // extern "C"
