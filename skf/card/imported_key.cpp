#include "skf/card/imported_key.h"

#include <cstring>

#include "skf/card/secure_zero.h"
#include "skf/card/sym_cipher.h"
#include "skf/card/sym_modes.h"
#include "skf/card/sym_stream.h"
#include "skf/crypto/des_evp.h"

namespace {

constexpr int kTwoKeyDes = 16;
constexpr int kThreeKeyDes = 24;
static_assert(kThreeKeyDes <= kImportedKeyMax);

std::uint8_t ImportCardMode(std::uint32_t alg_id) {
  if (alg_id == kAlgSm1Ecb) return 0x01;
  if (alg_id == kAlgSm4Ecb) return 0x02;
  return 0x00;
}

// `key` is the zero-padded work buffer of kImportedKeyMax bytes.
int Decrypt(DEVHANDLE device, std::uint32_t alg_id, int strip, const std::uint8_t *key,
            int key_length, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
            int *out_length) {
  const std::size_t block = alg_id == kAlgSoftDes ? kDesBlock : kSymBlock;
  if (in.size() % block) return -1;
  // A 16-byte key is two-key triple DES, any other length three-key over the first 24 bytes.
  const int des_key_length = key_length == kTwoKeyDes ? kTwoKeyDes : kThreeKeyDes;
  int total = 0;
  for (std::size_t at = 0; at < in.size(); at += block) {
    int n = 0;
    if (alg_id == kAlgSoftDes) {
      if (DES_EvpDecrypt(out.data() + at, &n, in.data() + at, kDesBlock, key, des_key_length, 1,
                         0) != 1) {
        return -1;
      }
    } else if (QX_StreamDecryptEcb(device, key, in.subspan(at, block), out.subspan(at, block), &n,
                                   ImportCardMode(alg_id)) != 0) {
      return -1;
    }
    total += n;
  }
  if (strip && alg_id != kAlgSoftDes && total > 0) {
    total = SymUnpaddedLength(total, out[static_cast<std::size_t>(total) - 1]);
    if (total < 0) return -1;
  }
  *out_length = total;
  return 0;
}

}  // namespace

int QX_DecryptImportedKey(DEVHANDLE device, std::uint32_t alg_id, int strip,
                          std::span<const std::uint8_t> key, std::span<const std::uint8_t> in,
                          std::span<std::uint8_t> out, int *out_length) {
  if (!out_length || key.size() > kImportedKeyMax || (key.size() && !key.data()) ||
      (in.size() && !in.data()) || out.size() < in.size() || (in.size() && !out.data())) {
    return -1;
  }
  std::uint8_t work[kImportedKeyMax] = {};
  if (!key.empty()) std::memcpy(work, key.data(), key.size());
  const int result =
      Decrypt(device, alg_id, strip, work, static_cast<int>(key.size()), in, out, out_length);
  SecureZero(work, sizeof work);
  return result;
}
