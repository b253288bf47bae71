// A session key wrapped under a container's exchange key (RSA) or encryption key (SM2),
// unwrapped on the card behind the private-key PIN gate.
#include <cstddef>
#include <cstring>

#include "skf/api/ecc_limits.h"
#include "skf/api/export_util.h"
#include "skf/api/key_gate.h"
#include "skf/api/key_handles.h"
#include "skf/api/session_key.h"
#include "skf/card/rsa_ops.h"
#include "skf/card/secure_zero.h"
#include "skf/card/sm2_ops.h"

namespace {

constexpr ULONG kRsa1024Bytes = 128;
constexpr ULONG kRsa2048Bytes = 256;

// The wrapped data a key type can take. An SM2 blob is read by its own CipherLen (at most the
// plaintext bound), as hosts pass sizeof(ECCCIPHERBLOB) or 0 as the length; a length given
// that cannot hold the blob's fixed fields is refused before they are read. An RSA block is
// the length given, at most the modulus.
ULONG CheckWrapped(std::uint32_t key_type, const BYTE *data, ULONG length) {
  if (key_type == kKeySm2) {
    if (length != 0 && length < offsetof(ECCCIPHERBLOB, Cipher)) return SAR_INDATALENERR;
    ULONG cipher_length = 0;
    std::memcpy(&cipher_length, data + offsetof(ECCCIPHERBLOB, CipherLen), sizeof cipher_length);
    return cipher_length == 0 || cipher_length > kSm2PlainMax ? SAR_INDATALENERR : SAR_OK;
  }
  const ULONG key_bytes = key_type == kKeyRsa1024 ? kRsa1024Bytes : kRsa2048Bytes;
  return length == 0 || length > key_bytes ? SAR_INDATALENERR : SAR_OK;
}

// The unwrapped key into `key` (kSessionKeyArea bytes); its length, or -1.
int Unwrap(DEVHANDLE device, std::uint32_t key_type, const BYTE *data, ULONG length,
           std::span<std::uint8_t, kSessionKeyArea> key) {
  if (key_type == kKeySm2) {
    std::uint8_t card[kEccCardCipherMax];
    const std::size_t n = CardCipher(*reinterpret_cast<const ECCCIPHERBLOB *>(data), card);
    int plain = 0;
    const int result = n ? QX_PrivateEccDecrypt(device, 0, {card, n}, key, &plain) : -1;
    SecureZero(card, sizeof card);
    return result == 0 ? plain : -1;
  }
  std::uint32_t plain = 0;
  if (QX_RsaDecrypt(device, 0, {data, length}, key, &plain) != 0) return -1;
  return static_cast<int>(plain);
}

}  // namespace

extern "C" ULONG DEVAPI SKF_ImportSessionKey(HCONTAINER hContainer, ULONG ulAlgId,
                                             BYTE *pbWrapedData, ULONG ulWrapedLen, HANDLE *phKey) {
  return RunExport("SKF_ImportSessionKey", [&]() -> ULONG {
    const ContainerHandle *container = AsContainer(hContainer);
    if (!container || !container->hDev) return SAR_INVALIDHANDLEERR;
    if (!pbWrapedData || !phKey) return SAR_INVALIDPARAMERR;
    DEVHANDLE device = container->hDev;
    KeyContainer c;
    if (OpenKeyContainer(*container, c) != SAR_OK) return SAR_FAIL;
    const std::uint32_t key_type = EntryField(c, kKeyType);
    if (key_type == kKeyNone || EntryField(c, kEncKeyPresent) == 0) return SAR_FAIL;
    const ULONG checked = CheckWrapped(key_type, pbWrapedData, ulWrapedLen);
    if (checked != SAR_OK) return checked;
    const ULONG pin = PrivateKeyPinStep(device, c.app_id, SharedSlot::consult);
    if (pin != SAR_OK) return pin;
    std::uint8_t key[kSessionKeyArea] = {};
    const int n = Unwrap(device, key_type, pbWrapedData, ulWrapedLen, key);
    SessionKeyHandle *record =
        n > 0 ? NewSessionKey(ulAlgId, {key, static_cast<std::size_t>(n)}, device) : nullptr;
    SecureZero(key, sizeof key);
    if (!record) return SAR_FAIL;
    *phKey = record;
    return SAR_OK;
  });
}
