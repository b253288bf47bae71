// SM2 with a container's key pairs: generation, signing, verification, session-key wrapping,
// and the public key of an SM2 or RSA container.
#include "skf/api/ecc_limits.h"
#include "skf/api/export_util.h"
#include "skf/api/key_gate.h"
#include "skf/api/key_handles.h"
#include "skf/api/key_output.h"
#include "skf/card/key_blobs.h"
#include "skf/card/rsa_keys.h"
#include "skf/card/secure_zero.h"
#include "skf/card/sm2_ops.h"
#include "skf/card/variant.h"

namespace {

constexpr ULONG kDigestSize = 32;
constexpr std::size_t kAnswerSize = 1024;
// The verify command carries data and signature in one short command.
constexpr ULONG kVerifyDataMax = 255 - kEccPoint;
constexpr ULONG kRsaBlobNullExtra = 1;

// The pair that an algorithm identifier of the library variant generates, or nullptr.
const EccPairAlgorithm *FindEccPairAlgorithm(ULONG alg_id) {
  for (const EccPairAlgorithm &a : kLibraryVariant.ecc_pair_algorithms) {
    if (a.alg_id == alg_id) return &a;
  }
  return nullptr;
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_GenECCKeyPair(HCONTAINER hContainer, ULONG ulAlgId, ECCPUBLICKEYBLOB *pBlob) {
  return RunExport("SKF_GenECCKeyPair", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container || !container->hDev) return SAR_INVALIDHANDLEERR;
    if (!pBlob) return SAR_INVALIDPARAMERR;
    DEVHANDLE device = container->hDev;
    KeyContainer c;
    if (OpenKeyContainer(*container, c) != SAR_OK) return SAR_FAIL;
    const std::uint32_t key_type = EntryField(c, kKeyType);
    if (key_type == kKeyNone) {
      if (QX_CreateEccKeyFiles(device) != 0) return SAR_FAIL;
    } else if (key_type != kKeySm2) {
      return SAR_FAIL;
    }
    const ULONG pin = PrivateKeyPinStep(device, c.app_id, SharedSlot::consult);
    if (pin != SAR_OK) return pin;
    const EccPairAlgorithm *pair = FindEccPairAlgorithm(ulAlgId);
    if (!pair) return SAR_FAIL;
    const int signing = pair->signing ? 1 : 0;
    std::uint8_t point[kEccPoint] = {};
    int length = 0;
    if (QX_GenEccKeyPair(device, signing, point, &length) != 0) return SAR_FAIL;
    EccPointToBlob(point, pBlob);
    SetEntryField(c, kKeyType, kKeySm2);
    SetEntryField(c, signing ? kSignKeyPresent : kEncKeyPresent, 1);
    return WriteBackContainer(device, c);
  });
}

ULONG DEVAPI SKF_ECCSignData(HCONTAINER hContainer, BYTE *pbData, ULONG ulDataLen,
                             PECCSIGNATUREBLOB pSignature) {
  return RunExport("SKF_ECCSignData", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container) return SAR_INVALIDHANDLEERR;
    if (ulDataLen != kDigestSize) return SAR_INDATALENERR;
    if (!container->hDev) return SAR_INVALIDHANDLEERR;
    if (!pbData || !pSignature) return SAR_INVALIDPARAMERR;
    DEVHANDLE device = container->hDev;
    KeyContainer c;
    if (OpenKeyContainer(*container, c) != SAR_OK) return SAR_FAIL;
    if (EntryField(c, kKeyType) != kKeySm2 || EntryField(c, kSignKeyPresent) == 0) {
      return SAR_FAIL;
    }
    const ULONG pin = PrivateKeyPinStep(device, c.app_id, SharedSlot::consult);
    if (pin != SAR_OK) return pin;
    std::uint8_t answer[kAnswerSize] = {};
    int length = 0;
    if (QX_EccSign(device, {pbData, kDigestSize}, answer, &length) != 0 ||
        length != static_cast<int>(kEccPoint)) {
      return SAR_FAIL;
    }
    EccSignatureToBlob(std::span<const std::uint8_t>(answer, kEccPoint), pSignature);
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_ECCVerify(DEVHANDLE hDev, ECCPUBLICKEYBLOB *pECCPubKeyBlob, BYTE *pbData,
                           ULONG ulDataLen, PECCSIGNATUREBLOB pSignature) {
  return RunExport("SKF_ECCVerify", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pECCPubKeyBlob || (!pbData && ulDataLen) || !pSignature) return SAR_INVALIDPARAMERR;
    if (ulDataLen > kVerifyDataMax) return SAR_INDATALENERR;
    SelectMf(hDev);
    std::uint8_t point[kEccPoint];
    std::uint8_t rs[kEccPoint];
    EccPointFromBlob(*pECCPubKeyBlob, point);
    EccSignatureFromBlob(*pSignature, rs);
    return QX_EccVerify(hDev, point, {pbData, ulDataLen}, rs) == 0 ? SAR_OK : SAR_FAIL;
  });
}

ULONG DEVAPI SKF_ECCExportSessionKey(HCONTAINER hContainer, ULONG ulAlgId,
                                     ECCPUBLICKEYBLOB *pPubKey, PECCCIPHERBLOB pData,
                                     HANDLE *phSessionKey) {
  return RunExport("SKF_ECCExportSessionKey", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container) return SAR_INVALIDHANDLEERR;
    if (!IsSessionKeyAlg(ulAlgId)) return SAR_INVALIDPARAMERR;
    if (!container->hDev) return SAR_INVALIDHANDLEERR;
    if (!pPubKey || !pData || !phSessionKey) return SAR_INVALIDPARAMERR;
    DEVHANDLE device = container->hDev;
    SelectMf(device);
    std::uint8_t session[kSessionKeyUsed] = {};
    ULONG result = SAR_FAIL;
    std::uint8_t point[kEccPoint];
    EccPointFromBlob(*pPubKey, point);
    std::uint8_t cipher[kAnswerSize] = {};
    int length = 0;
    if (CardSessionKey(device, session) &&
        QX_EccEncrypt(device, point, session, cipher, &length) == 0 &&
        length == static_cast<int>(kEccCipherOverhead + kSessionKeyUsed)) {
      SessionKeyHandle *handle = NewSessionKey(ulAlgId, session, device);
      if (handle) {
        CipherToCallerBlob(cipher, static_cast<std::size_t>(length), pData);
        *phSessionKey = handle;
        result = SAR_OK;
      }
    }
    SecureZero(session, sizeof session);
    return result;
  });
}

ULONG DEVAPI SKF_ExportPublicKey(HCONTAINER hContainer, BOOL bSignFlag, BYTE *pbBlob,
                                 ULONG *pulBlobLen) {
  return RunExport("SKF_ExportPublicKey", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container || !container->hDev) return SAR_INVALIDHANDLEERR;
    if (!pulBlobLen) return SAR_INVALIDPARAMERR;
    DEVHANDLE device = container->hDev;
    KeyContainer c;
    if (OpenKeyContainer(*container, c) != SAR_OK) return SAR_FAIL;
    const std::uint32_t key_type = EntryField(c, kKeyType);
    if (key_type == kKeyNone) return SAR_FAIL;
    if (EntryField(c, bSignFlag ? kSignKeyPresent : kEncKeyPresent) == 0) return SAR_FAIL;
    const int signing = bSignFlag ? 1 : 0;
    if (key_type == kKeySm2) {
      std::uint8_t point[kEccPoint] = {};
      int length = 0;
      if (QX_EccExportPublicKey(device, signing, point, &length) != 0) return SAR_FAIL;
      ECCPUBLICKEYBLOB blob{};
      EccPointToBlob(point, &blob);
      const ULONG result = CopyResult({reinterpret_cast<const std::uint8_t *>(&blob), sizeof blob},
                                      pbBlob, pulBlobLen, 0);
      return result;
    }
    RsaPublicKeyRecord key{};
    if (QX_RsaExportPublicKey(device, static_cast<int>(key_type), signing, &key) != 0) {
      return SAR_FAIL;
    }
    RSAPUBLICKEYBLOB blob{};
    RsaRecordToPublicBlob(key, &blob);
    return CopyResult({reinterpret_cast<const std::uint8_t *>(&blob), sizeof blob}, pbBlob,
                      pulBlobLen, kRsaBlobNullExtra);
  });
}

}  // extern "C"
