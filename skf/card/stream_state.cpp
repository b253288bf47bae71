#include <cstring>

#include "skf/card/heap_bytes.h"
#include "skf/card/secure_zero.h"
#include "skf/card/sym_modes.h"
#include "skf/card/sym_stream.h"

namespace {

constexpr std::size_t kSlack = 128;

// Key and IV copied out of the record for one step.
struct Work {
  std::uint8_t key[kSymKeySize];
  std::uint8_t iv[kStreamIvSize];
  explicit Work(const SymStreamState &s) {
    std::memcpy(key, s.Key, sizeof key);
    std::memset(iv, 0, sizeof iv);
    const std::uint32_t n = s.IVLen < sizeof iv ? s.IVLen : sizeof iv;
    std::memcpy(iv, s.IV, n);
  }
  ~Work() {
    SecureZero(key, sizeof key);
    SecureZero(iv, sizeof iv);
  }
};

int Encrypt(const SymStreamState &s, Work &w, std::span<const std::uint8_t> in,
            std::span<std::uint8_t> out, int *written) {
  const SymMode mode = SymModeOf(s.dwAlgID);
  return mode.ecb ? QX_StreamEncryptEcb(s.hDev, w.key, in, out, written, mode.card_mode)
                  : QX_StreamEncryptCbc(s.hDev, w.key, w.iv, in, out, written, mode.card_mode);
}

int Decrypt(const SymStreamState &s, Work &w, std::span<const std::uint8_t> in,
            std::span<std::uint8_t> out, int *written) {
  const SymMode mode = SymModeOf(s.dwAlgID);
  return mode.ecb ? QX_StreamDecryptEcb(s.hDev, w.key, in, out, written, mode.card_mode)
                  : QX_StreamDecryptCbc(s.hDev, w.key, w.iv, in, out, written, mode.card_mode);
}

// Pending bytes followed by the new data, in a buffer of at least their length.
void Join(const SymStreamState &s, std::span<const std::uint8_t> in, const HeapBytes &joined) {
  std::memcpy(joined.data(), s.Pending, s.PendingLen);
  if (!in.empty()) std::memcpy(joined.data() + s.PendingLen, in.data(), in.size());
}

void Hold(SymStreamState &s, const HeapBytes &joined, std::size_t total, std::size_t held) {
  std::memcpy(s.Pending, joined.data() + (total - held), held);
  s.PendingLen = static_cast<std::uint32_t>(held);
}

bool StateUsable(const SymStreamState &s, std::span<const std::uint8_t> in) {
  return s.PendingLen <= kSymBlock && (in.data() || in.empty());
}

}  // namespace

int StreamEncryptUpdate(SymStreamState &s, std::span<const std::uint8_t> in,
                        std::span<std::uint8_t> out, std::uint32_t *out_length) {
  if (s.Finished || !out_length || !StateUsable(s, in)) return kStreamFail;
  const std::size_t total = s.PendingLen + in.size();
  const std::size_t whole = total - total % kSymBlock;
  *out_length = static_cast<std::uint32_t>(whole);
  if (!out.data()) return kStreamOk;
  if (!s.hDev) return kStreamNoDevice;
  if (out.size() < whole) return kStreamBufferTooSmall;
  HeapBytes joined(whole + 2 * kSymBlock);
  if (!joined.ok()) return kStreamFail;
  Join(s, in, joined);
  Hold(s, joined, total, total - whole);
  *out_length = 0;
  if (whole == 0) return kStreamOk;
  Work w(s);
  int written = 0;
  const int result = Encrypt(s, w, {joined.data(), whole}, out, &written);
  if (result != 0) return kStreamFail;
  if (!SymModeOf(s.dwAlgID).ecb && written >= kSymBlock) {
    std::memcpy(s.IV, out.data() + written - kSymBlock, kSymBlock);
  }
  *out_length = static_cast<std::uint32_t>(written);
  return kStreamOk;
}

int StreamEncryptFinal(SymStreamState &s, std::span<std::uint8_t> out, std::uint32_t *out_length) {
  s.Finished = 1;
  if (!out_length || s.PendingLen > kSymBlock) return kStreamFail;
  if (!s.hDev) return kStreamNoDevice;
  if (!s.bPadding) {
    if (s.PendingLen != 0) return kStreamFail;
    *out_length = 0;
    return kStreamOk;
  }
  *out_length = kSymBlock;
  if (!out.data()) return kStreamOk;
  if (out.size() < kSymBlock) return kStreamBufferTooSmall;
  std::uint8_t block[kSymBlock];
  const std::uint8_t pad = static_cast<std::uint8_t>(kSymBlock - s.PendingLen);
  std::memset(block, pad, sizeof block);
  std::memcpy(block, s.Pending, s.PendingLen);
  Work w(s);
  int written = 0;
  const int result = Encrypt(s, w, block, out, &written);
  SecureZero(block, sizeof block);
  return result == 0 ? kStreamOk : kStreamFail;
}

int StreamDecryptUpdate(SymStreamState &s, std::span<const std::uint8_t> in,
                        std::span<std::uint8_t> out, std::uint32_t *out_length) {
  if (!out_length || !StateUsable(s, in)) return kStreamFail;
  const std::size_t total = s.PendingLen + in.size();
  // At least one byte, and a whole last block, stay behind for the Final step.
  const std::size_t held = total == 0 ? 0 : (total % kSymBlock ? total % kSymBlock : kSymBlock);
  const std::size_t whole = total - held;
  *out_length = static_cast<std::uint32_t>(whole);
  if (!out.data()) return kStreamOk;
  if (!s.hDev) return kStreamNoDevice;
  if (out.size() < whole) return kStreamBufferTooSmall;
  if (total == 0) return kStreamOk;
  HeapBytes joined(total + kSlack);
  HeapBytes plain(whole + kSlack);
  if (!joined.ok() || !plain.ok()) return kStreamFail;
  Join(s, in, joined);
  Hold(s, joined, total, held);
  Work w(s);
  int written = 0;
  const int result = Decrypt(s, w, {joined.data(), whole}, plain.span(), &written);
  if (result != 0) {
    *out_length = 0;
    return kStreamFail;
  }
  if (!SymModeOf(s.dwAlgID).ecb && written > 0) std::memcpy(s.IV, w.iv, kSymBlock);
  std::memcpy(out.data(), plain.data(), whole);
  return kStreamOk;
}

int StreamDecryptFinal(SymStreamState &s, std::span<std::uint8_t> out, std::uint32_t *out_length) {
  if (!out_length || s.PendingLen > kSymBlock) return kStreamFail;
  if (!s.hDev) return kStreamNoDevice;
  std::uint8_t plain[2 * kSymBlock] = {};
  Work w(s);
  int written = 0;
  if (Decrypt(s, w, {s.Pending, s.PendingLen}, plain, &written) != 0) return kStreamFail;
  int length = written;
  if (s.bPadding) {
    const std::uint8_t v = plain[kSymBlock - 1];
    if (v > kSymBlock || v > written) return kStreamFail;
    length = written - v;
  }
  *out_length = static_cast<std::uint32_t>(length);
  if (out.data()) {
    if (out.size() < static_cast<std::size_t>(length)) return kStreamBufferTooSmall;
    std::memcpy(out.data(), plain, static_cast<std::size_t>(length));
  }
  SecureZero(plain, sizeof plain);
  return kStreamOk;
}
