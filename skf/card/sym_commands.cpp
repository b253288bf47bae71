#include "skf/card/sym_commands.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "skf/card/apdu.h"
#include "skf/card/binding.h"
#include "skf/card/heap_bytes.h"
#include "skf/card/key_lock.h"
#include "skf/card/secure_zero.h"
#include "skf/card/sym_modes.h"

static_assert(sizeof(QX_READER_INFO) == kReaderInfoSize);
static_assert(offsetof(QX_READER_INFO, dwMaxDataLength) == 344);

namespace {

constexpr std::uint8_t kCla = 0x80;
constexpr std::uint8_t kInsEcb = 0xF3;
constexpr std::uint8_t kInsCbc = 0xF1;
constexpr std::uint8_t kEncrypt = 0x00;
constexpr std::uint8_t kDecrypt = 0x01;
constexpr std::size_t kShortLimit = 255;
constexpr std::size_t kAnswerRoom = 0x10000;  // an answer may be longer than its piece
constexpr std::size_t kHeaderRoom = 9;        // header, extended Lc and Le

// Lays out one ECB (`iv` empty) or CBC command and sends it; the first n answer bytes go to
// `out`. 0 or -1.
int SendPiece(DEVHANDLE device, bool extended, std::uint8_t p1, std::uint8_t mode,
              const std::uint8_t key[16], std::span<const std::uint8_t> iv,
              std::span<const std::uint8_t> piece, std::uint8_t *out, AnswerRoom &answer) {
  const std::size_t n = piece.size();
  const std::size_t lc = kSymKeySize + iv.size() + n;
  if (!extended && lc > kShortLimit) return -1;
  HeapBytes command(lc + kHeaderRoom);
  if (!command.ok()) return -1;
  std::uint8_t *at = command.data();
  *at++ = kCla;
  *at++ = iv.empty() ? kInsEcb : kInsCbc;
  *at++ = p1;
  *at++ = mode;
  if (extended) *at++ = 0x00;
  if (extended) *at++ = static_cast<std::uint8_t>(lc >> 8);
  *at++ = static_cast<std::uint8_t>(lc);
  at = std::copy(key, key + kSymKeySize, at);
  at = std::copy(iv.begin(), iv.end(), at);
  at = std::copy(piece.begin(), piece.end(), at);
  if (extended) *at++ = static_cast<std::uint8_t>(n >> 8);
  *at++ = static_cast<std::uint8_t>(n);
  const std::size_t length = static_cast<std::size_t>(at - command.data());
  std::uint16_t sw = 0;
  const int got = QX_Application_Manager(device, {command.data(), length}, answer.span(), &sw);
  if (got > 0) answer.Filled(static_cast<std::size_t>(got));
  if (got < 0 || sw != kSwOk || static_cast<std::size_t>(got) < n) return -1;
  std::memcpy(out, answer.data(), n);
  return 0;
}

// The piece loop shared by the four functions. `iv` empty: ECB.
int RunPieces(DEVHANDLE device, int bSupLong, int piece, std::uint8_t p1, std::uint8_t mode,
              const std::uint8_t key[16], const std::uint8_t *iv, std::span<const std::uint8_t> in,
              std::span<std::uint8_t> out, int *out_length) {
  if (!key || !out_length || piece <= 0 || (in.size() && !in.data()) || out.size() < in.size() ||
      (in.size() && !out.data())) {
    return -1;
  }
  const bool decrypt = p1 == kDecrypt;
  if (decrypt && in.size() % kSymBlock) return -1;
  AnswerRoom answer(kAnswerRoom);
  if (!answer.ok()) return -1;
  std::uint8_t chain[kSymBlock] = {};
  if (iv) std::memcpy(chain, iv, kSymBlock);
  std::size_t done = 0;
  while (done < in.size()) {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(piece), in.size() - done);
    const auto part = in.subspan(done, n);
    const std::span<const std::uint8_t> chain_view =
        iv ? std::span<const std::uint8_t>(chain) : std::span<const std::uint8_t>();
    if (SendPiece(device, bSupLong != 0, p1, mode, key, chain_view, part, out.data() + done,
                  answer) != 0) {
      return -1;
    }
    if (iv && n >= kSymBlock) {
      const std::uint8_t *cipher = decrypt ? part.data() : out.data() + done;
      std::memcpy(chain, cipher + n - kSymBlock, kSymBlock);
    }
    done += n;
    *out_length += static_cast<int>(n);
  }
  return 0;
}

}  // namespace

SymLink QX_SymProbe(DEVHANDLE device) {
  std::uint8_t probe[41] = {kCla, kInsEcb, 0x00, 0x00, 0x00, 0x00, 0x20};
  probe[39] = 0x00;
  probe[40] = 0x10;
  std::uint8_t answer[256];
  std::uint16_t sw = 0;
  const int got = QX_Application_Manager(device, probe, answer, &sw);
  const bool probe_ok = got >= 0 && sw == kSwOk;

  std::uint32_t max_data = 0;
  bool info_ok = false;
  const ReaderApiTable *api = BoundReaderApi();
  const KeyAccess access(device);
  if (api && api->QX_GetReaderInfo && access) {
    QX_READER_INFO info = {};
    info.cbSize = kReaderInfoSize;
    info.dwMaxDataLength = kReaderInfoDefaultMax;
    info_ok = StatusWord(api->QX_GetReaderInfo(device, &info)) == kSwOk;
    max_data = info.dwMaxDataLength;
  }
  if (!probe_ok || !info_ok) return {0, 0};
  const std::int64_t piece = (static_cast<std::int64_t>(max_data >> 4) - 3) * kSymBlock;
  if (piece < kSymBlock) return {0, 0};
  return {1, static_cast<int>(std::min<std::int64_t>(piece, kSymPieceMax))};
}

int QX_SymEncryptEcb(DEVHANDLE device, int bSupLong, int piece, const std::uint8_t key[16],
                     std::span<const std::uint8_t> in, std::span<std::uint8_t> out, int *out_length,
                     std::uint8_t card_mode) {
  return RunPieces(device, bSupLong, piece, kEncrypt, card_mode, key, nullptr, in, out, out_length);
}

int QXEX_SM1Decrypt(DEVHANDLE device, int bSupLong, int piece, const std::uint8_t key[16],
                    std::span<const std::uint8_t> in, std::span<std::uint8_t> out, int *out_length,
                    std::uint8_t card_mode) {
  return RunPieces(device, bSupLong, piece, kDecrypt, card_mode, key, nullptr, in, out, out_length);
}

int QX_SymEncryptCbc(DEVHANDLE device, int bSupLong, int piece, const std::uint8_t key[16],
                     const std::uint8_t iv[16], std::span<const std::uint8_t> in,
                     std::span<std::uint8_t> out, int *out_length, std::uint8_t card_mode) {
  if (!iv) return -1;
  return RunPieces(device, bSupLong, piece, kEncrypt, card_mode, key, iv, in, out, out_length);
}

int QX_SymDecryptCbc(DEVHANDLE device, int bSupLong, int piece, const std::uint8_t key[16],
                     const std::uint8_t iv[16], std::span<const std::uint8_t> in,
                     std::span<std::uint8_t> out, int *out_length, std::uint8_t card_mode) {
  if (!iv) return -1;
  return RunPieces(device, bSupLong, piece, kDecrypt, card_mode, key, iv, in, out, out_length);
}
