#include "skf/card/rsa_ops.h"

#include <cstring>

#include "skf/card/command_status.h"
#include "skf/card/commands.h"
#include "skf/card/op_results.h"
#include "skf/card/pkcs1.h"
#include "skf/card/rsa_keys.h"
#include "skf/card/secure_zero.h"
#include "skf/card/variant.h"

namespace {

constexpr std::uint8_t kCla = 0x80;
constexpr std::uint8_t kOperation = 0x40;
constexpr std::uint8_t kPublicPart = 0x20;
constexpr std::uint8_t kPartE = 0x01;
constexpr std::uint8_t kPartN = 0x02;
constexpr std::size_t kAnswerRoom = 1024;
constexpr std::uint32_t k1024 = 128;
constexpr std::uint32_t k2048 = 256;
constexpr std::uint8_t kWork1024Public = 0x01;
constexpr std::uint8_t kWork1024Private = 0x02;
constexpr std::uint8_t kWork2048Public = 0x03;
constexpr std::uint8_t kWork2048Private = 0x04;
constexpr std::uint8_t kExchangePrivate = 0x1B;
constexpr std::uint8_t kSigningPrivate = 0x1D;

bool SizeKnown(std::uint32_t bits) { return bits == kRsa1024 || bits == kRsa2048; }

// Copies `data` to `out` and stores its length; kOutTooSmall when it does not fit.
int Deliver(std::span<const std::uint8_t> data, std::span<std::uint8_t> out,
            std::uint32_t *out_length) {
  if (!out_length) return -1;
  *out_length = static_cast<std::uint32_t>(data.size());
  if (!out.data() || out.size() < data.size()) return kOutTooSmall;
  if (!data.empty()) std::memcpy(out.data(), data.data(), data.size());
  return 0;
}

// Public- or private-key operation on k bytes; the answer (big-endian) and its length.
int Operate(DEVHANDLE device, bool is_private, std::uint32_t k, const std::uint8_t *block,
            std::uint8_t answer[kAnswerRoom]) {
  std::uint16_t sw = 0;
  int got = 0;
  if (k == k1024) {
    got = is_private
              ? QX_RsaPrivateCmd(device, kOperation, {block, k1024}, {answer, kAnswerRoom}, &sw)
              : QX_RsaPublicCmd(device, kOperation, {block, k1024}, {answer, kAnswerRoom}, &sw);
  } else {
    const std::span<const std::uint8_t, 256> data(block, k2048);
    got = is_private ? QX_RsaPrivateCmd2048(device, data, {answer, kAnswerRoom}, &sw)
                     : QX_RsaPublicCmd2048(device, data, {answer, kAnswerRoom}, &sw);
  }
  return CommandOk(got, sw) ? got : -1;
}

// Selects the work public key file of the size and writes e and n into it.
int LoadPublicKey(DEVHANDLE device, std::uint32_t bits, const std::uint8_t *modulus,
                  const std::uint8_t *exponent) {
  const bool small = bits == kRsa1024;
  if (SelectEfInDf(device, small ? kWork1024Public : kWork2048Public) != 0) return -1;
  std::uint16_t sw = 0;
  if (!CommandOk(
          QX_WriteKeyPart(device, kCla, kPublicPart, kPartE, {exponent, kRsaExponentBytes}, &sw),
          sw)) {
    return -1;
  }
  const int written =
      small ? QX_WriteKeyPart(device, kCla, kPublicPart, kPartN, {modulus, k1024}, &sw)
            : QX_WriteKeyPart2048(device, std::span<const std::uint8_t, 256>(modulus, k2048), &sw);
  return CommandOk(written, sw) ? 0 : -1;
}

int ContainerPrivate(DEVHANDLE device, int signing, std::span<const std::uint8_t> in, bool unpad,
                     std::span<std::uint8_t> out, std::uint32_t *out_length) {
  if (!out_length || (in.size() && !in.data()) || in.size() > k2048) return -1;
  const std::uint32_t k = in.size() == k1024 ? k1024 : k2048;
  std::uint8_t block[k2048] = {};
  if (!in.empty()) std::memcpy(block, in.data(), in.size());
  const std::uint8_t ef = signing ? kSigningPrivate : kExchangePrivate;
  if (QX_PrepareContainerPrivateKey(device, ef, k, false) != 0 || SelectEfInDf(device, ef) != 0) {
    return -1;
  }
  std::uint8_t answer[kAnswerRoom] = {};
  const int got = Operate(device, true, k, block, answer);
  int result = -1;
  if (got >= 0 && !unpad) {
    result = Deliver({answer, k}, out, out_length);
  } else if (got >= 0) {
    std::uint8_t payload[k2048];
    std::uint32_t n = 0;
    if (PKCS1_UnpadType2(payload, &n, answer, static_cast<std::uint32_t>(got), k) == 0) {
      result = Deliver({payload, n}, out, out_length);
    }
    SecureZero(payload, sizeof payload);
  }
  SecureZero(answer, sizeof answer);
  SecureZero(block, sizeof block);
  return result;
}

}  // namespace

int QX_RsaSign(DEVHANDLE device, int size_unit, std::span<const std::uint8_t> data,
               std::span<std::uint8_t> out, std::uint32_t *out_length) {
  if (!out_length || (size_unit != 1 && size_unit != 2) || (data.size() && !data.data())) {
    return -1;
  }
  const std::uint32_t k = static_cast<std::uint32_t>(size_unit) * k1024;
  std::uint8_t block[k2048];
  if (data.size() > k - kPkcs1Overhead ||
      PKCS1_PadType1(block, data.data(), static_cast<std::uint32_t>(data.size()), k) != 0) {
    return -1;
  }
  if (QX_PrepareContainerPrivateKey(device, kSigningPrivate, k, true) != 0 ||
      SelectEfInDf(device, kSigningPrivate) != 0) {
    return -1;
  }
  std::uint8_t answer[kAnswerRoom];
  const int got = Operate(device, true, k, block, answer);
  if (got < 0) return -1;
  return Deliver({answer, static_cast<std::size_t>(got)}, out, out_length);
}

int QX_RsaVerify(DEVHANDLE device, const RsaPublicKeyRecord &key,
                 std::span<const std::uint8_t> data, std::span<const std::uint8_t> signature) {
  if (!SizeKnown(key.BitLen) || !signature.data()) return -1;
  if (LoadPublicKey(device, key.BitLen, key.Modulus, key.PublicExponent) != 0) return -1;
  const std::uint32_t k = key.BitLen / 8;
  if (signature.size() != k) return -1;
  std::uint8_t answer[kAnswerRoom];
  const int got = Operate(device, false, k, signature.data(), answer);
  if (got < 0) return -1;
  std::uint8_t payload[k2048];
  std::uint32_t n = 0;
  if (PKCS1_UnpadType1(payload, &n, answer, static_cast<std::uint32_t>(got), k) != 0) return -1;
  if (n != data.size() || (n && std::memcmp(payload, data.data(), n) != 0)) return -1;
  return 0;
}

int QX_RsaExportSessionKey(DEVHANDLE device, const RsaPublicKeyRecord &key,
                           std::span<const std::uint8_t> session_key, std::span<std::uint8_t> out,
                           std::uint32_t *out_length) {
  if (!SizeKnown(key.BitLen) || !out_length) return -1;
  if (LoadPublicKey(device, key.BitLen, key.Modulus, key.PublicExponent) != 0) return -1;
  const std::uint32_t k = key.BitLen / 8;
  std::uint8_t block[k2048];
  if (PKCS1_PadType2(block, session_key.data(), static_cast<std::uint32_t>(session_key.size()),
                     k) != 0) {
    return -1;
  }
  std::uint8_t answer[kAnswerRoom];
  const int got = Operate(device, false, k, block, answer);
  SecureZero(block, sizeof block);
  if (got < 0) return -1;
  return Deliver({answer, static_cast<std::size_t>(got)}, out, out_length);
}

int QX_RsaPublicOp(DEVHANDLE device, const RsaPublicKeyRecord &key,
                   std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                   std::uint32_t *out_length) {
  if (!SizeKnown(key.BitLen) || !out_length || (in.size() && !in.data())) return -1;
  const std::uint32_t k = key.BitLen / 8;
  if (in.size() > k) return -1;
  if (LoadPublicKey(device, key.BitLen, key.Modulus, key.PublicExponent) != 0) return -1;
  std::uint8_t block[k2048] = {};
  if (!in.empty()) std::memcpy(block, in.data(), in.size());
  std::uint8_t answer[kAnswerRoom];
  const int got = Operate(device, false, k, block, answer);
  if (got < 0) return -1;
  return Deliver({answer, static_cast<std::size_t>(got)}, out, out_length);
}

int QX_RsaPrivateOp(DEVHANDLE device, const RsaKeyRecord &key, std::span<const std::uint8_t> in,
                    std::span<std::uint8_t> out, std::uint32_t *out_length) {
  if (!SizeKnown(key.BitLen) || !out_length) return -1;
  if (LoadPublicKey(device, key.BitLen, key.Modulus, key.PublicExponent) != 0) return -1;
  const std::uint32_t k = key.BitLen / 8;
  std::uint8_t ones[k2048];
  std::memset(ones, 0x01, sizeof ones);
  std::uint8_t answer[kAnswerRoom] = {};
  if (Operate(device, false, k, ones, answer) < 0) return -1;
  if (SelectEfInDf(device, key.BitLen == kRsa1024 ? kWork1024Private : kWork2048Private) != 0) {
    return -1;
  }
  if (QX_WriteRsaPrivateParts(device, key) != 0) return -1;
  if (in.size() != k || !in.data()) return -1;
  const int got = Operate(device, true, k, in.data(), answer);
  if (got < 0) return -1;
  std::uint8_t payload[k2048];
  std::uint32_t n = 0;
  const int result = PKCS1_UnpadType2(payload, &n, answer, static_cast<std::uint32_t>(got), k) == 0
                         ? Deliver({payload, n}, out, out_length)
                         : Deliver({answer, k}, out, out_length);
  SecureZero(payload, sizeof payload);
  SecureZero(answer, sizeof answer);
  return result;
}

int QX_RsaDecrypt(DEVHANDLE device, int signing, std::span<const std::uint8_t> in,
                  std::span<std::uint8_t> out, std::uint32_t *out_length) {
  return ContainerPrivate(device, signing, in, true, out, out_length);
}

int QX_RsaDecryptRaw(DEVHANDLE device, int signing, std::span<const std::uint8_t> in,
                     std::span<std::uint8_t> out, std::uint32_t *out_length) {
  return ContainerPrivate(device, signing, in, false, out, out_length);
}
