#include "skf/card/sym_cipher.h"

#include <cstring>

#include "skf/card/heap_bytes.h"
#include "skf/card/secure_zero.h"
#include "skf/card/sym_commands.h"
#include "skf/card/sym_modes.h"
#include "skf/crypto/des_evp.h"

namespace {

constexpr int kSoftKeyMax = 64;
constexpr int kSymLengthMax = 0x7FFFFFFF - 2 * kSymBlock;  // room for the padding block

using DesFn = int (*)(std::uint8_t *, int *, const std::uint8_t *, int, const std::uint8_t *, int,
                      int, int);

// Identifier 1: each 8-byte block on its own, triple DES ECB without padding.
int SoftDes(DesFn fn, const std::uint8_t *key, int key_length, const std::uint8_t *in,
            int in_length, std::span<std::uint8_t> out, int *out_length) {
  if (in_length % kDesBlock || !out.data() || key_length <= 0 || key_length > kSoftKeyMax ||
      out.size() < static_cast<std::size_t>(in_length)) {
    return -1;
  }
  std::uint8_t work[kSoftKeyMax] = {};
  std::memcpy(work, key, static_cast<std::size_t>(key_length));
  int total = 0;
  int result = 0;
  for (int at = 0; at < in_length; at += kDesBlock) {
    int n = 0;
    if (fn(out.data() + at, &n, in + at, kDesBlock, work, key_length, 1, 0) != 1) {
      result = -1;
      break;
    }
    total += n;
  }
  SecureZero(work, sizeof work);
  if (result == 0) *out_length = total;
  return result;
}

bool BadArguments(const std::uint8_t *key, const std::uint8_t *in, int in_length,
                  const int *out_length) {
  return !in || !out_length || !key || in_length < 0 || in_length > kSymLengthMax;
}

// The card mode and, for CBC, the IV check. False when CBC lacks a 16-byte IV.
bool CbcIvUsable(const SymMode &mode, const std::uint8_t *iv, int iv_length) {
  return mode.ecb || (iv && iv_length == kSymBlock);
}

}  // namespace

int SymPaddedLength(int length) { return length - length % kSymBlock + kSymBlock; }

int SymUnpaddedLength(int length, std::uint8_t last) {
  if (last > kSymBlock || last > length) return -1;
  return length - last;
}

int QX_SymEncrypt(DEVHANDLE device, std::uint32_t alg_id, std::uint32_t padding,
                  const std::uint8_t *key, int key_length, std::uint8_t *iv, int iv_length,
                  const std::uint8_t *in, int in_length, std::span<std::uint8_t> out,
                  int *out_length) {
  if (BadArguments(key, in, in_length, out_length)) return -1;
  if (alg_id == kAlgSoftDes) {
    return SoftDes(DES_EvpEncrypt, key, key_length, in, in_length, out, out_length);
  }
  const SymLink link = QX_SymProbe(device);
  const SymMode mode = SymModeOf(alg_id);
  if (key_length < kSymKeySize || !CbcIvUsable(mode, iv, iv_length)) return -1;
  const int total = padding ? SymPaddedLength(in_length) : in_length;
  if (!out.data()) {
    *out_length = total;
    return 0;
  }
  if (out.size() < static_cast<std::size_t>(total)) return -1;

  // Data and pad bytes, cut into pieces of the piece size.
  HeapBytes data(static_cast<std::size_t>(total));
  if (!data.ok()) return -1;
  std::memcpy(data.data(), in, static_cast<std::size_t>(in_length));
  std::memset(data.data() + in_length, total - in_length,
              static_cast<std::size_t>(total - in_length));
  const int piece = link.bSupLong ? link.piece : mode.short_piece;
  int written = 0;
  int result = 0;
  for (int at = 0; at < total && result == 0; at += piece) {
    const int n = total - at < piece ? total - at : piece;
    const std::span<const std::uint8_t> part(data.data() + at, static_cast<std::size_t>(n));
    const auto dest = out.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(n));
    if (mode.ecb) {
      result =
          QX_SymEncryptEcb(device, link.bSupLong, piece, key, part, dest, &written, mode.card_mode);
    } else {
      result = QX_SymEncryptCbc(device, link.bSupLong, piece, key, iv, part, dest, &written,
                                mode.card_mode);
      if (result == 0 && n >= kSymBlock) std::memcpy(iv, dest.data() + n - kSymBlock, kSymBlock);
    }
  }
  *out_length = written;
  return result;
}

int QX_SymDecrypt(DEVHANDLE device, std::uint32_t alg_id, std::uint32_t padding,
                  const std::uint8_t *key, int key_length, std::uint8_t *iv, int iv_length,
                  const std::uint8_t *in, int in_length, std::span<std::uint8_t> out,
                  int *out_length) {
  if (BadArguments(key, in, in_length, out_length) || !out.data()) return -1;
  if (alg_id == kAlgSoftDes) {
    return SoftDes(DES_EvpDecrypt, key, key_length, in, in_length, out, out_length);
  }
  const SymLink link = QX_SymProbe(device);
  const SymMode mode = SymModeOf(alg_id);
  if (key_length < kSymKeySize || !CbcIvUsable(mode, iv, iv_length)) return -1;
  if (in_length % kSymBlock || (padding && in_length == 0)) return -1;
  if (out.size() < static_cast<std::size_t>(in_length)) return -1;

  const int piece = link.bSupLong ? link.piece : mode.short_piece;
  int written = 0;
  int result = 0;
  for (int at = 0; at < in_length && result == 0; at += piece) {
    const int n = in_length - at < piece ? in_length - at : piece;
    const std::span<const std::uint8_t> part(in + at, static_cast<std::size_t>(n));
    const auto dest = out.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(n));
    if (mode.ecb) {
      result =
          QXEX_SM1Decrypt(device, link.bSupLong, piece, key, part, dest, &written, mode.card_mode);
    } else {
      result = QX_SymDecryptCbc(device, link.bSupLong, piece, key, iv, part, dest, &written,
                                mode.card_mode);
      if (result == 0) std::memcpy(iv, part.data() + n - kSymBlock, kSymBlock);
    }
  }
  *out_length = written;
  if (result != 0) return -1;
  if (padding) {
    const int length = SymUnpaddedLength(written, out[static_cast<std::size_t>(written) - 1]);
    if (length < 0) return -1;
    *out_length = length;
  }
  return 0;
}
