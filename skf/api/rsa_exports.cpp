// Random numbers and RSA: key generation, signing and verification, session-key wrapping and
// the raw operations with caller-supplied keys.
#include "skf/api/export_util.h"
#include "skf/api/key_gate.h"
#include "skf/api/key_handles.h"
#include "skf/api/key_output.h"
#include "skf/card/key_blobs.h"
#include "skf/card/rsa_ops.h"
#include "skf/card/secure_zero.h"

namespace {

constexpr std::size_t kAnswerSize = 1024;
constexpr ULONG kLengthQueryExtra = 1;

bool IsRsaBits(ULONG bits) { return bits == kRsa1024 || bits == kRsa2048; }

}  // namespace

extern "C" {

ULONG DEVAPI SKF_GenRandom(DEVHANDLE hDev, BYTE *pbRandom, ULONG ulRandomLen) {
  return RunExport("SKF_GenRandom", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pbRandom && ulRandomLen) return SAR_INVALIDPARAMERR;
    SelectMf(hDev);
    ULONG done = 0;
    while (ulRandomLen - done >= kChallengeSize) {
      if (!CardChallenge(hDev, pbRandom + done)) return SAR_FAIL;
      done += kChallengeSize;
    }
    if (done < ulRandomLen) {
      std::uint8_t last[kChallengeSize] = {};
      if (!CardChallenge(hDev, last)) return SAR_FAIL;
      std::memcpy(pbRandom + done, last, ulRandomLen - done);
      SecureZero(last, sizeof last);
    }
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_GenExtRSAKey(DEVHANDLE hDev, ULONG ulBitsLen, RSAPRIVATEKEYBLOB *pBlob) {
  return RunExport("SKF_GenExtRSAKey", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pBlob) return SAR_INVALIDPARAMERR;
    if (!IsRsaBits(ulBitsLen)) return SAR_RSAMODULUSLENERR;
    SelectMf(hDev);
    RsaKeyRecord key{};
    const int made = QX_GenExtRsaKey(hDev, ulBitsLen, &key);
    key.BitLen = ulBitsLen;
    if (made == 0) RsaRecordToPrivateBlob(key, pBlob);
    SecureZero(&key, sizeof key);
    return made == 0 ? SAR_OK : SAR_FAIL;
  });
}

ULONG DEVAPI SKF_GenRSAKeyPair(HCONTAINER hContainer, ULONG ulBitsLen, RSAPUBLICKEYBLOB *pBlob) {
  return RunExport("SKF_GenRSAKeyPair", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container) return SAR_INVALIDHANDLEERR;
    if (!IsRsaBits(ulBitsLen)) return SAR_RSAMODULUSLENERR;
    if (!container->hDev) return SAR_INVALIDHANDLEERR;
    if (!pBlob) return SAR_INVALIDPARAMERR;
    DEVHANDLE device = container->hDev;
    KeyContainer c;
    if (OpenKeyContainer(*container, c) != SAR_OK) return SAR_FAIL;
    const std::uint32_t key_type = EntryField(c, kKeyType);
    if (key_type == kKeyNone) {
      if (QX_CreateRsaKeyFiles(device, ulBitsLen) != 0) return SAR_FAIL;
    } else if (key_type * kRsa1024 != ulBitsLen) {
      return SAR_FAIL;
    }
    const ULONG pin = PrivateKeyPinStep(device, c.app_id, SharedSlot::consult);
    if (pin != SAR_OK) return pin;
    RsaPublicKeyRecord key{};
    if (QX_GenRsaKeyPair(device, ulBitsLen, 1, &key) != 0) return SAR_FAIL;
    RsaRecordToPublicBlob(key, pBlob);
    SetEntryField(c, kKeyType, ulBitsLen == kRsa1024 ? kKeyRsa1024 : kKeyRsa2048);
    SetEntryField(c, kSignKeyPresent, 1);
    return WriteBackContainer(device, c);
  });
}

ULONG DEVAPI SKF_RSASignData(HCONTAINER hContainer, BYTE *pbData, ULONG ulDataLen,
                             BYTE *pbSignature, ULONG *pulSignLen) {
  return RunExport("SKF_RSASignData", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container || !container->hDev) return SAR_INVALIDHANDLEERR;
    if ((!pbData && ulDataLen) || !pulSignLen) return SAR_INVALIDPARAMERR;
    DEVHANDLE device = container->hDev;
    KeyContainer c;
    if (OpenKeyContainer(*container, c) != SAR_OK) return SAR_FAIL;
    const std::uint32_t key_type = EntryField(c, kKeyType);
    if ((key_type != kKeyRsa1024 && key_type != kKeyRsa2048) ||
        EntryField(c, kSignKeyPresent) == 0) {
      return SAR_FAIL;
    }
    const ULONG pin = PrivateKeyPinStep(device, c.app_id, SharedSlot::consult);
    if (pin != SAR_OK) return pin;
    std::uint8_t signature[kAnswerSize] = {};
    std::uint32_t length = 0;
    if (QX_RsaSign(device, static_cast<int>(key_type), {pbData, ulDataLen}, signature, &length) !=
        0) {
      return SAR_FAIL;
    }
    return CopyResult({signature, length}, pbSignature, pulSignLen, kLengthQueryExtra);
  });
}

ULONG DEVAPI SKF_RSAVerify(DEVHANDLE hDev, RSAPUBLICKEYBLOB *pRSAPubKeyBlob, BYTE *pbData,
                           ULONG ulDataLen, BYTE *pbSignature, ULONG ulSignLen) {
  return RunExport("SKF_RSAVerify", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pRSAPubKeyBlob || (!pbData && ulDataLen) || !pbSignature) return SAR_INVALIDPARAMERR;
    SelectMf(hDev);
    RsaPublicKeyRecord key{};
    RsaPublicBlobToRecord(*pRSAPubKeyBlob, &key);
    return QX_RsaVerify(hDev, key, {pbData, ulDataLen}, {pbSignature, ulSignLen}) == 0 ? SAR_OK
                                                                                       : SAR_FAIL;
  });
}

ULONG DEVAPI SKF_RSAExportSessionKey(HCONTAINER hContainer, ULONG ulAlgId,
                                     RSAPUBLICKEYBLOB *pPubKey, BYTE *pbData, ULONG *pulDataLen,
                                     HANDLE *phSessionKey) {
  return RunExport("SKF_RSAExportSessionKey", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container || !container->hDev) return SAR_INVALIDHANDLEERR;
    if (!pPubKey || !pulDataLen || !phSessionKey) return SAR_INVALIDPARAMERR;
    DEVHANDLE device = container->hDev;
    SelectMf(device);
    std::uint8_t session[kSessionKeyUsed] = {};
    ULONG result = SAR_FAIL;
    if (CardSessionKey(device, session)) {
      RsaPublicKeyRecord key{};
      RsaPublicBlobToRecord(*pPubKey, &key);
      std::uint8_t wrapped[kAnswerSize] = {};
      std::uint32_t length = 0;
      if (QX_RsaExportSessionKey(device, key, session, wrapped, &length) == 0) {
        result = CopyResult({wrapped, length}, pbData, pulDataLen, kLengthQueryExtra);
      }
      if (result == SAR_OK) {
        SessionKeyHandle *handle = NewSessionKey(ulAlgId, session, device);
        if (handle) {
          *phSessionKey = handle;
        } else {
          result = SAR_FAIL;
        }
      }
    }
    SecureZero(session, sizeof session);
    return result;
  });
}

ULONG DEVAPI SKF_ExtRSAPubKeyOperation(DEVHANDLE hDev, RSAPUBLICKEYBLOB *pRSAPubKeyBlob,
                                       BYTE *pbInput, ULONG ulInputLen, BYTE *pbOutput,
                                       ULONG *pulOutputLen) {
  return RunExport("SKF_ExtRSAPubKeyOperation", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pRSAPubKeyBlob || (!pbInput && ulInputLen) || !pulOutputLen) return SAR_INVALIDPARAMERR;
    SelectMf(hDev);
    const ULONG bits = pRSAPubKeyBlob->BitLen;
    if (!IsRsaBits(bits)) return SAR_MODULUSLENERR;
    if (ulInputLen > bits / 8) return SAR_INDATALENERR;
    RsaPublicKeyRecord key{};
    RsaPublicBlobToRecord(*pRSAPubKeyBlob, &key);
    std::uint8_t answer[kAnswerSize] = {};
    std::uint32_t length = 0;
    if (QX_RsaPublicOp(hDev, key, {pbInput, ulInputLen}, answer, &length) != 0) return SAR_FAIL;
    return CopyResult({answer, length}, pbOutput, pulOutputLen, kLengthQueryExtra);
  });
}

ULONG DEVAPI SKF_ExtRSAPriKeyOperation(DEVHANDLE hDev, RSAPRIVATEKEYBLOB *pRSAPriKeyBlob,
                                       BYTE *pbInput, ULONG ulInputLen, BYTE *pbOutput,
                                       ULONG *pulOutputLen) {
  return RunExport("SKF_ExtRSAPriKeyOperation", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pRSAPriKeyBlob || (!pbInput && ulInputLen) || !pulOutputLen) return SAR_INVALIDPARAMERR;
    SelectMf(hDev);
    RsaKeyRecord key{};
    RsaPrivateBlobToRecord(*pRSAPriKeyBlob, &key);
    std::uint8_t answer[kAnswerSize] = {};
    std::uint32_t length = 0;
    const int done = QX_RsaPrivateOp(hDev, key, {pbInput, ulInputLen}, answer, &length);
    SecureZero(&key, sizeof key);
    ULONG result = SAR_FAIL;
    if (done == 0) result = CopyResult({answer, length}, pbOutput, pulOutputLen, kLengthQueryExtra);
    SecureZero(answer, sizeof answer);
    return result;
  });
}

}  // extern "C"
