// SM2 key agreement between two containers on their keys, and the raw SM2 key pair of the
// card's working memory.
#include "skf/api/ecc_limits.h"
#include "skf/api/export_util.h"
#include "skf/api/key_gate.h"
#include "skf/api/key_handles.h"
#include "skf/api/key_output.h"
#include "skf/card/secure_zero.h"
#include "skf/card/sm2_agree.h"
#include "skf/card/sm2_ops.h"

namespace {

constexpr ULONG kPeerIdMax = kAgreementIdMax;  // identities of the key-producing exports
constexpr int kSponsorRole = 1;
constexpr int kResponderRole = 0;

// A temporary pair from the card's working memory.
struct TempPair {
  std::uint8_t public_key[kEccPoint] = {};
  std::uint8_t private_key[kEccValue] = {};
  ~TempPair() { SecureZero(private_key, sizeof private_key); }
};

bool GenerateTempPair(DEVHANDLE device, TempPair &pair) {
  int public_length = 0;
  int private_length = 0;
  return QX_GenExtEccKey(device, pair.public_key, &public_length, pair.private_key,
                         &private_length) == 0;
}

// A session key handle for the agreed key, or SAR_FAIL.
ULONG HandOutKey(std::uint32_t alg_id, const std::uint8_t key[kAgreementKeySize], DEVHANDLE device,
                 HANDLE *out) {
  SessionKeyHandle *handle = NewSessionKey(alg_id, {key, kAgreementKeySize}, device);
  if (!handle) return SAR_FAIL;
  *out = handle;
  return SAR_OK;
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_GenerateAgreementDataWithECC(HCONTAINER hContainer, ULONG ulAlgId,
                                              ECCPUBLICKEYBLOB *pTempECCPubKeyBlob, BYTE *pbID,
                                              ULONG ulIDLen, HANDLE *phAgreementHandle) {
  return RunExport("SKF_GenerateAgreementDataWithECC", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container) return SAR_INVALIDHANDLEERR;
    if (!pbID) return SAR_INVALIDPARAMERR;
    if (!IsSessionKeyAlg(ulAlgId)) return SAR_INVALIDPARAMERR;
    if (!container->hDev) return SAR_INVALIDHANDLEERR;
    if (ulIDLen > kAgreementIdSize || !pTempECCPubKeyBlob || !phAgreementHandle) {
      return SAR_INVALIDPARAMERR;
    }
    DEVHANDLE device = container->hDev;
    SelectMf(device);
    TempPair pair;
    if (!GenerateTempPair(device, pair)) return SAR_FAIL;
    AgreementHandle *record = NewAgreementHandle();
    if (!record) return SAR_FAIL;
    record->AppId = static_cast<std::uint16_t>(AppIdOfContainer(container->ContainerId));
    record->ContainerId = static_cast<std::uint16_t>(container->ContainerId);
    record->AlgId = ulAlgId;
    record->IdLen = ulIDLen;
    if (ulIDLen) std::memcpy(record->Id, pbID, ulIDLen);
    std::memcpy(record->TempPublic, pair.public_key, kEccPoint);
    std::memcpy(record->TempPrivate, pair.private_key, kEccValue);
    record->hDev = device;
    EccPointToBlob(pair.public_key, pTempECCPubKeyBlob);
    *phAgreementHandle = record;
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_GenerateKeyWithECC(HANDLE hAgreementHandle, ECCPUBLICKEYBLOB *pECCPubKeyBlob,
                                    ECCPUBLICKEYBLOB *pTempECCPubKeyBlob, BYTE *pbID, ULONG ulIDLen,
                                    HANDLE *phKeyHandle) {
  return RunExport("SKF_GenerateKeyWithECC", [&]() -> ULONG {
    const AgreementHandle *record = AsAgreement(hAgreementHandle);
    if (!record) return SAR_INVALIDHANDLEERR;
    if (!pbID) return SAR_INVALIDPARAMERR;
    if (!record->hDev) return SAR_INVALIDHANDLEERR;
    if (ulIDLen > kPeerIdMax || record->IdLen > kAgreementIdSize || !pECCPubKeyBlob ||
        !pTempECCPubKeyBlob || !phKeyHandle) {
      return SAR_INVALIDPARAMERR;
    }
    DEVHANDLE device = record->hDev;
    SelectMf(device);
    if (!SelectDf(device, record->AppId) || !SelectDf(device, record->ContainerId)) {
      return SAR_FAIL;
    }
    std::uint8_t peer_public[kEccPoint];
    std::uint8_t peer_temp[kEccPoint];
    EccPointFromBlob(*pECCPubKeyBlob, peer_public);
    EccPointFromBlob(*pTempECCPubKeyBlob, peer_temp);
    const ULONG pin = PrivateKeyPinStep(device, record->AppId, SharedSlot::consult);
    if (pin != SAR_OK) return pin;
    std::uint8_t key[kAgreementKeySize] = {};
    int length = 0;
    ULONG result = SAR_FAIL;
    if (QX_EccAgreementSponsor(device, kSponsorRole, {record->Id, record->IdLen},
                               record->TempPublic, record->TempPrivate, {pbID, ulIDLen},
                               peer_public, peer_temp, key, &length) == 0) {
      result = HandOutKey(record->AlgId, key, device, phKeyHandle);
    }
    SecureZero(key, sizeof key);
    return result;
  });
}

ULONG DEVAPI SKF_GenerateAgreementDataAndKeyWithECC(HCONTAINER hContainer, ULONG ulAlgId,
                                                    ECCPUBLICKEYBLOB *pSponsorECCPubKeyBlob,
                                                    ECCPUBLICKEYBLOB *pSponsorTempECCPubKeyBlob,
                                                    ECCPUBLICKEYBLOB *pTempECCPubKeyBlob,
                                                    BYTE *pbID, ULONG ulIDLen, BYTE *pbSponsorID,
                                                    ULONG ulSponsorIDLen, HANDLE *phKeyHandle) {
  return RunExport("SKF_GenerateAgreementDataAndKeyWithECC", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container) return SAR_INVALIDHANDLEERR;
    if (!pbID || !pbSponsorID) return SAR_INVALIDPARAMERR;
    if (!IsSessionKeyAlg(ulAlgId)) return SAR_INVALIDPARAMERR;
    if (!container->hDev) return SAR_INVALIDHANDLEERR;
    if (ulIDLen > kPeerIdMax || ulSponsorIDLen > kPeerIdMax || !pSponsorECCPubKeyBlob ||
        !pSponsorTempECCPubKeyBlob || !pTempECCPubKeyBlob || !phKeyHandle) {
      return SAR_INVALIDPARAMERR;
    }
    DEVHANDLE device = container->hDev;
    KeyContainer c;
    if (OpenKeyContainer(*container, c) != SAR_OK) return SAR_FAIL;
    TempPair pair;
    if (!GenerateTempPair(device, pair)) return SAR_FAIL;
    std::uint8_t peer_public[kEccPoint];
    std::uint8_t peer_temp[kEccPoint];
    EccPointFromBlob(*pSponsorECCPubKeyBlob, peer_public);
    EccPointFromBlob(*pSponsorTempECCPubKeyBlob, peer_temp);
    const ULONG pin = PrivateKeyPinStep(device, c.app_id, SharedSlot::consult);
    if (pin != SAR_OK) return pin;
    std::uint8_t key[kAgreementKeySize] = {};
    int length = 0;
    ULONG result = SAR_FAIL;
    if (QX_EccAgreementResponder(device, kResponderRole, {pbID, ulIDLen}, pair.public_key,
                                 pair.private_key, {pbSponsorID, ulSponsorIDLen}, peer_public,
                                 peer_temp, key, &length) == 0) {
      result = HandOutKey(ulAlgId, key, device, phKeyHandle);
      if (result == SAR_OK) EccPointToBlob(pair.public_key, pTempECCPubKeyBlob);
    }
    SecureZero(key, sizeof key);
    return result;
  });
}

ULONG DEVAPI SKF_GenExtEccKey(DEVHANDLE hDev, BYTE *pbPubKey, ULONG *pulPubKeyLen, BYTE *pbPriKey,
                              ULONG *pulPriKeyLen) {
  return RunExport("SKF_GenExtEccKey", [&]() -> ULONG {
    if (!pbPubKey || !pulPubKeyLen || !pbPriKey || !pulPriKeyLen) return SAR_INVALIDPARAMERR;
    SelectMf(hDev);
    int public_length = 0;
    int private_length = 0;
    if (QX_GenExtEccKey(hDev, pbPubKey, &public_length, pbPriKey, &private_length) != 0) {
      return SAR_FAIL;
    }
    *pulPubKeyLen = static_cast<ULONG>(public_length);
    *pulPriKeyLen = static_cast<ULONG>(private_length);
    return SAR_OK;
  });
}

}  // extern "C"
