#include <cstring>

#include "skf/card/commands.h"
#include "skf/card/secure_zero.h"
#include "skf/card/sym_commands.h"
#include "skf/card/sym_modes.h"
#include "skf/card/sym_stream.h"

namespace {

constexpr int kStreamShortEcbPiece = 112;
constexpr std::uint8_t kEncrypt = 0x00;
constexpr std::uint8_t kDecrypt = 0x01;
constexpr std::size_t kAnswerRoom = 256;

bool Usable(const std::uint8_t *key, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
            const int *out_length) {
  return key && out_length && out.data() && (in.data() || in.empty()) && out.size() >= in.size();
}

// One block through a short ECB command. 0 or -1.
int EcbBlock(DEVHANDLE device, std::uint8_t p1, std::uint8_t mode, const std::uint8_t key[16],
             const std::uint8_t in[16], std::uint8_t out[16]) {
  std::uint8_t answer[kAnswerRoom];
  std::uint16_t sw = 0;
  const int got =
      QX_CipherEcbCmd(device, p1, mode, std::span<const std::uint8_t, 16>(key, kSymKeySize),
                      {in, kSymBlock}, answer, &sw);
  if (got < kSymBlock || sw != kSwOk) return -1;
  std::memcpy(out, answer, kSymBlock);
  SecureZero(answer, sizeof answer);
  return 0;
}

}  // namespace

int QX_StreamEncryptEcb(DEVHANDLE device, const std::uint8_t key[16],
                        std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        int *out_length, std::uint8_t card_mode) {
  const SymLink link = QX_SymProbe(device);
  if (!Usable(key, in, out, out_length)) return -1;
  *out_length = 0;
  const int piece = link.bSupLong ? link.piece : kStreamShortEcbPiece;
  return QX_SymEncryptEcb(device, link.bSupLong, piece, key, in, out, out_length, card_mode);
}

int QX_StreamDecryptEcb(DEVHANDLE device, const std::uint8_t key[16],
                        std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        int *out_length, std::uint8_t card_mode) {
  const SymLink link = QX_SymProbe(device);
  if (!out.data() && out_length) {
    *out_length = static_cast<int>(in.size());
    return 0;
  }
  if (!Usable(key, in, out, out_length) || in.size() % kSymBlock) return -1;
  *out_length = 0;
  const int piece = link.bSupLong ? link.piece : kStreamShortEcbPiece;
  return QXEX_SM1Decrypt(device, link.bSupLong, piece, key, in, out, out_length, card_mode);
}

int QX_StreamEncryptCbc(DEVHANDLE device, const std::uint8_t key[16], const std::uint8_t iv[16],
                        std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        int *out_length, std::uint8_t card_mode) {
  const SymLink link = QX_SymProbe(device);
  if (!Usable(key, in, out, out_length) || !iv) return -1;
  *out_length = 0;
  if (link.bSupLong) {
    return QX_SymEncryptCbc(device, 1, link.piece, key, iv, in, out, out_length, card_mode);
  }
  std::uint8_t chain[kSymBlock];
  std::memcpy(chain, iv, kSymBlock);
  for (std::size_t at = 0; at + kSymBlock <= in.size(); at += kSymBlock) {
    std::uint8_t x[kSymBlock];
    for (int i = 0; i < kSymBlock; ++i) x[i] = in[at + i] ^ chain[i];
    if (EcbBlock(device, kEncrypt, card_mode, key, x, out.data() + at) != 0) return -1;
    std::memcpy(chain, out.data() + at, kSymBlock);
    *out_length += kSymBlock;
  }
  return 0;
}

int QX_StreamDecryptCbc(DEVHANDLE device, const std::uint8_t key[16], std::uint8_t iv[16],
                        std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        int *out_length, std::uint8_t card_mode) {
  const SymLink link = QX_SymProbe(device);
  if (!Usable(key, in, out, out_length) || !iv || in.size() % kSymBlock) return -1;
  *out_length = 0;
  if (link.bSupLong) {
    if (QX_SymDecryptCbc(device, 1, link.piece, key, iv, in, out, out_length, card_mode) != 0) {
      return -1;
    }
    if (!in.empty()) std::memcpy(iv, in.data() + in.size() - kSymBlock, kSymBlock);
    return 0;
  }
  for (std::size_t at = 0; at < in.size(); at += kSymBlock) {
    std::uint8_t plain[kSymBlock];
    if (EcbBlock(device, kDecrypt, card_mode, key, in.data() + at, plain) != 0) return -1;
    for (int i = 0; i < kSymBlock; ++i) out[at + i] = plain[i] ^ iv[i];
    std::memcpy(iv, in.data() + at, kSymBlock);
    *out_length += kSymBlock;
  }
  return 0;
}
