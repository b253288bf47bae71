// SM2 with keys the caller supplies: encryption, decryption, signing and verification on the
// card through its external key slots.
#include "skf/api/ecc_limits.h"
#include "skf/api/directory.h"
#include "skf/api/export_util.h"
#include "skf/api/key_output.h"
#include "skf/card/secure_zero.h"
#include "skf/card/sm2_ops.h"

namespace {

constexpr ULONG kDigestSize = 32;
constexpr std::size_t kAnswerSize = 1024;
constexpr ULONG kLengthQueryExtra = 1;

}  // namespace

extern "C" {

ULONG DEVAPI SKF_ExtECCEncrypt(DEVHANDLE hDev, ECCPUBLICKEYBLOB *pECCPubKeyBlob, BYTE *pbPlainText,
                               ULONG ulPlainTextLen, PECCCIPHERBLOB pCipherText) {
  return RunExport("SKF_ExtECCEncrypt", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pECCPubKeyBlob || (!pbPlainText && ulPlainTextLen) || !pCipherText) {
      return SAR_INVALIDPARAMERR;
    }
    SelectMf(hDev);
    std::uint8_t point[kEccPoint];
    EccPointFromBlob(*pECCPubKeyBlob, point);
    std::uint8_t cipher[kAnswerSize] = {};
    int length = 0;
    if (QX_EccEncrypt(hDev, point, {pbPlainText, ulPlainTextLen}, cipher, &length) != 0 ||
        length != static_cast<int>(kEccCipherOverhead + ulPlainTextLen)) {
      return SAR_FAIL;
    }
    CipherToCallerBlob(cipher, static_cast<std::size_t>(length), pCipherText);
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_ExtECCDecrypt(DEVHANDLE hDev, ECCPRIVATEKEYBLOB *pECCPriKeyBlob,
                               PECCCIPHERBLOB pCipherText, BYTE *pbPlainText,
                               ULONG *pulPlainTextLen) {
  return RunExport("SKF_ExtECCDecrypt", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pECCPriKeyBlob || !pCipherText || !pulPlainTextLen) return SAR_INVALIDPARAMERR;
    SelectMf(hDev);
    if (pECCPriKeyBlob->BitLen != kEccBits) return SAR_INDATALENERR;
    std::uint8_t card[kEccCardCipherMax];
    const std::size_t cipher_length = CardCipher(*pCipherText, card);
    if (!cipher_length) return SAR_INDATALENERR;
    std::uint8_t key[kEccValue];
    EccPrivateFromBlob(*pECCPriKeyBlob, key);
    std::uint8_t plain[kAnswerSize] = {};
    int length = 0;
    const int done = QX_EccDecryptExt(hDev, key, {card, cipher_length}, plain, &length);
    SecureZero(key, sizeof key);
    ULONG result = SAR_FAIL;
    if (done == 0) {
      result = CopyResult({plain, static_cast<std::size_t>(length)}, pbPlainText, pulPlainTextLen,
                          kLengthQueryExtra);
    }
    SecureZero(plain, sizeof plain);
    return result;
  });
}

ULONG DEVAPI SKF_ExtECCSign(DEVHANDLE hDev, ECCPRIVATEKEYBLOB *pECCPriKeyBlob, BYTE *pbData,
                            ULONG ulDataLen, PECCSIGNATUREBLOB pSignature) {
  return RunExport("SKF_ExtECCSign", [&]() -> ULONG {
    if (!pSignature || !pECCPriKeyBlob || !pbData || ulDataLen == 0) return SAR_INVALIDPARAMERR;
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (ulDataLen != kDigestSize) return SAR_INDATALENERR;
    SelectMf(hDev);
    std::uint8_t key[kEccValue];
    EccPrivateFromBlob(*pECCPriKeyBlob, key);
    std::uint8_t answer[kAnswerSize] = {};
    int length = 0;
    const int done = QX_EccSignExt(hDev, key, {pbData, kDigestSize}, answer, &length);
    SecureZero(key, sizeof key);
    if (done != 0 || length != static_cast<int>(kEccPoint)) return SAR_FAIL;
    EccSignatureToBlob(std::span<const std::uint8_t>(answer, kEccPoint), pSignature);
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_ExtECCVerify(DEVHANDLE hDev, ECCPUBLICKEYBLOB *pECCPubKeyBlob, BYTE *pbData,
                              ULONG ulDataLen, PECCSIGNATUREBLOB pSignature) {
  return RunExport("SKF_ExtECCVerify", [&]() -> ULONG {
    if (!pbData || !pECCPubKeyBlob || ulDataLen == 0 || !pSignature) return SAR_INVALIDPARAMERR;
    if (ulDataLen != kDigestSize) return SAR_INDATALENERR;
    if (!hDev) return SAR_INVALIDHANDLEERR;
    SelectMf(hDev);
    std::uint8_t point[kEccPoint];
    std::uint8_t rs[kEccPoint];
    EccPointFromBlob(*pECCPubKeyBlob, point);
    EccSignatureFromBlob(*pSignature, rs);
    return QX_EccVerify(hDev, point, {pbData, kDigestSize}, rs) == 0 ? SAR_OK : SAR_FAIL;
  });
}

}  // extern "C"
