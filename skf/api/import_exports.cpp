// Import of an enveloped exchange key pair into a container: the symmetric key is unwrapped
// with the container's signing key on the card, the private key decrypted under it, and the
// pair written into the container's exchange key files.
#include <algorithm>

#include "skf/api/ecc_limits.h"
#include "skf/api/export_util.h"
#include "skf/api/key_gate.h"
#include "skf/card/imported_key.h"
#include "skf/card/key_import.h"
#include "skf/card/rsa_ops.h"
#include "skf/card/secure_zero.h"
#include "skf/card/sm2_ops.h"
#include "skf/crypto/sm4.h"

namespace {

constexpr std::size_t kWrappedKeyMax = 256;   // an RSA-2048 ciphertext, and its payload
constexpr std::size_t kPrivateDerMax = 2048;  // the decrypted DER private key
constexpr std::size_t kEncryptedSm2Key = 64;  // cbEncryptedPriKey
constexpr std::size_t kSm2KeyHalf = 32;
constexpr ULONG kSoftwareSm4 = SGD_SMS4_ECB;

// Secret working buffers, cleared on every path.
struct ImportBuffers {
  std::uint8_t key[kWrappedKeyMax] = {};
  std::uint32_t key_length = 0;
  std::uint8_t plain[kPrivateDerMax] = {};
  int plain_length = 0;
  ~ImportBuffers() {
    SecureZero(key, sizeof key);
    SecureZero(plain, sizeof plain);
  }
};

ULONG CheckHandle(const ContainerHandle *container) {
  return container && container->hDev ? SAR_OK : SAR_INVALIDHANDLEERR;
}

// Preamble, key type and signing key present, then the PIN step.
ULONG OpenForImport(const ContainerHandle &container, bool sm2, KeyContainer &c) {
  if (OpenKeyContainer(container, c) != SAR_OK) return SAR_FAIL;
  const std::uint32_t key_type = EntryField(c, kKeyType);
  const bool type_ok =
      sm2 ? key_type == kKeySm2 : key_type == kKeyRsa1024 || key_type == kKeyRsa2048;
  if (!type_ok || EntryField(c, kSignKeyPresent) == 0) return SAR_FAIL;
  return SAR_OK;
}

// The private key ciphertext under the unwrapped key: software SM4 or the card-side routine.
bool DecryptPrivate(DEVHANDLE device, ULONG alg_id, bool software_sm4, int strip,
                    std::span<const std::uint8_t> in, ImportBuffers &b) {
  if (software_sm4) {
    return SM4_DecryptEcb(in.data(), static_cast<int>(in.size()), b.key, b.plain, &b.plain_length,
                          strip) == 0;
  }
  return QX_DecryptImportedKey(device, alg_id, strip, {b.key, b.key_length}, in, b.plain,
                               &b.plain_length) == 0;
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_ImportRSAKeyPair(HCONTAINER hContainer, ULONG ulSymAlgId, BYTE *pbWrappedKey,
                                  ULONG ulWrappedKeyLen, BYTE *pbEncryptedData,
                                  ULONG ulEncryptedDataLen) {
  return RunExport("SKF_ImportRSAKeyPair", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    const ULONG handle = CheckHandle(container);
    if (handle != SAR_OK) return handle;
    if (!pbWrappedKey || !pbEncryptedData) return SAR_INVALIDPARAMERR;
    if (ulWrappedKeyLen > kWrappedKeyMax || ulEncryptedDataLen > kPrivateDerMax) {
      return SAR_INDATALENERR;
    }
    DEVHANDLE device = container->hDev;
    KeyContainer c;
    if (OpenForImport(*container, false, c) != SAR_OK) return SAR_FAIL;
    const ULONG pin = PrivateKeyPinStep(device, c.app_id, SharedSlot::consult);
    if (pin != SAR_OK) return pin;
    ImportBuffers b;
    if (QX_RsaDecrypt(device, 1, {pbWrappedKey, ulWrappedKeyLen}, b.key, &b.key_length) != 0) {
      return SAR_FAIL;
    }
    if (b.key_length > static_cast<std::uint32_t>(kImportedKeyMax)) return SAR_INDATALENERR;
    const std::span<const std::uint8_t> encrypted(pbEncryptedData, ulEncryptedDataLen);
    if (ulSymAlgId == kSoftwareSm4) {
      if (!DecryptPrivate(device, ulSymAlgId, true, 1, encrypted, b)) return SAR_FAIL;
    } else if (!DecryptPrivate(device, ulSymAlgId, false, 1, encrypted, b) &&
               !DecryptPrivate(device, ulSymAlgId, false, 0, encrypted, b)) {
      return SAR_FAIL;
    }
    RsaKeyRecord key{};
    const bool parsed =
        ParseRsaPrivateKey({b.plain, static_cast<std::size_t>(b.plain_length)}, &key) == 0;
    const bool imported = parsed && QX_RsaImportKeyPair(device, key) == 0;
    SecureZero(&key, sizeof key);
    if (!imported) return SAR_FAIL;
    SetEntryField(c, kEncKeyPresent, 1);
    return WriteBackContainer(device, c);
  });
}

ULONG DEVAPI SKF_ImportECCKeyPair(HCONTAINER hContainer, PENVELOPEDKEYBLOB pEnvelopedKeyBlob) {
  return RunExport("SKF_ImportECCKeyPair", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    const ULONG handle = CheckHandle(container);
    if (handle != SAR_OK) return handle;
    if (!pEnvelopedKeyBlob) return SAR_INVALIDPARAMERR;
    const ENVELOPEDKEYBLOB &envelope = *pEnvelopedKeyBlob;
    if (envelope.ECCCipherBlob.CipherLen > kEccCipherMax) return SAR_INDATALENERR;
    DEVHANDLE device = container->hDev;
    KeyContainer c;
    if (OpenForImport(*container, true, c) != SAR_OK) return SAR_FAIL;
    std::uint8_t card[kEccCardCipherMax];
    const std::size_t cipher_length = CardCipher(envelope.ECCCipherBlob, card);
    const ULONG pin = PrivateKeyPinStep(device, c.app_id, SharedSlot::consult);
    if (pin != SAR_OK) return pin;
    ImportBuffers b;
    int key_length = 0;
    if (QX_PrivateEccDecrypt(device, 1, {card, cipher_length}, b.key, &key_length) != 0) {
      return SAR_FAIL;
    }
    if (key_length > kImportedKeyMax) return SAR_INDATALENERR;
    b.key_length = static_cast<std::uint32_t>(key_length);
    const std::span<const std::uint8_t> encrypted(envelope.cbEncryptedPriKey, kEncryptedSm2Key);
    const bool short_layout = std::all_of(encrypted.begin(), encrypted.begin() + kSm2KeyHalf,
                                          [](std::uint8_t v) { return v == 0; });
    const std::span<const std::uint8_t> in =
        short_layout ? encrypted.subspan(kSm2KeyHalf) : encrypted;
    const bool software = short_layout && envelope.ulSymmAlgID == kSoftwareSm4;
    if (!DecryptPrivate(device, envelope.ulSymmAlgID, software, 0, in, b) ||
        b.plain_length != static_cast<int>(in.size())) {
      return SAR_FAIL;
    }
    const std::uint8_t *private_key = short_layout ? b.plain : b.plain + kSm2KeyHalf;
    std::uint8_t point[kEccPoint];
    EccPointFromBlob(envelope.PubKey, point);
    if (QX_EccImportKeyPair(device, point, {private_key, kSm2KeyHalf}) != 0) return SAR_FAIL;
    SetEntryField(c, kEncKeyPresent, 1);
    return WriteBackContainer(device, c);
  });
}

}  // extern "C"
