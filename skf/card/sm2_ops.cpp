#include "skf/card/sm2_ops.h"

#include <algorithm>
#include <cstring>

#include "skf/card/auth.h"
#include "skf/card/command_status.h"
#include "skf/card/commands.h"
#include "skf/card/device.h"
#include "skf/card/op_results.h"
#include "skf/card/secure_zero.h"
#include "skf/card/variant.h"

namespace {

constexpr std::uint8_t kOperation = 0x40;
constexpr std::uint8_t kFromSelected = 0x20;
constexpr std::uint8_t kLoadPublic = 0x20;
constexpr std::uint8_t kLoadPrivate = 0xA0;
constexpr std::uint8_t kLoadPrivateP2 = 0x01;
constexpr std::uint8_t kPublicFileP2 = 0x18;
constexpr std::uint8_t kPrivateFileP2 = 0x19;
constexpr std::uint8_t kEncPublic = 0x0A;
constexpr std::uint8_t kEncPrivate = 0x0B;
constexpr std::uint8_t kSignPublic = 0x0C;
constexpr std::uint8_t kSignPrivate = 0x0D;
constexpr std::uint8_t kExtPublic = 0x05;
constexpr std::uint8_t kExtPrivate = 0x06;
constexpr std::size_t kContainerAnswerRoom = 1024;
constexpr std::size_t kExtAnswerRoom = 256;
constexpr std::size_t kPlainRoom = 256;

int Load(DEVHANDLE device, std::uint8_t file, std::uint8_t p1, std::uint8_t p2,
         std::span<const std::uint8_t> value) {
  if (SelectEfInDf(device, file) != 0) return -1;
  std::uint16_t sw = 0;
  return CommandOk(QX_LoadEccPublicKey(device, p1, p2, value, &sw), sw) ? 0 : -1;
}

// Stores the length and copies the bytes when `out` is given and large enough.
int Deliver(std::span<const std::uint8_t> data, std::span<std::uint8_t> out, int *out_length) {
  if (out.data() && out.size() < data.size()) {
    *out_length = static_cast<int>(data.size());
    return kOutTooSmall;
  }
  *out_length = static_cast<int>(data.size());
  if (out.data() && !data.empty()) std::memcpy(out.data(), data.data(), data.size());
  return 0;
}

// The public key of the selected EF, exactly 64 bytes.
int ReadPoint(DEVHANDLE device, std::uint8_t p1, std::uint8_t p2, std::uint8_t *out,
              std::uint8_t length) {
  std::uint16_t sw = 0;
  const int got = QX_ReadEccPublicKey(device, p1, p2, length, {out, length}, &sw);
  return CommandOk(got, sw) && got == length ? 0 : -1;
}

constexpr Sm2CipherOrder kBothOrders[] = {Sm2CipherOrder::kReordered, Sm2CipherOrder::kAsGiven};

// Offers the ciphertext in each order until the card accepts one; the answer's length or -1.
int DecryptInOrders(DEVHANDLE device, std::span<const Sm2CipherOrder> orders,
                    std::span<const std::uint8_t> cipher, std::span<std::uint8_t> answer) {
  for (const Sm2CipherOrder order : orders) {
    std::uint16_t sw = 0;
    const int got = order == Sm2CipherOrder::kReordered
                        ? QX_EccDecryptCmd(device, kOperation, cipher, answer, &sw)
                        : QX_EccDecryptCmdAsIs(device, kOperation, cipher, answer, &sw);
    if (CommandOk(got, sw)) return got;
    LogTrace("ECC_Decrypt OLD");
  }
  return -1;
}

int SignWith(DEVHANDLE device, std::span<const std::uint8_t> data, std::span<std::uint8_t> out,
             int *out_length) {
  std::uint8_t answer[kContainerAnswerRoom];
  std::uint16_t sw = 0;
  const int got = QX_EccSignCmd(device, kOperation, data, answer, &sw);
  if (!CommandOk(got, sw)) return -1;
  return Deliver({answer, static_cast<std::size_t>(got)}, out, out_length);
}

}  // namespace

int QX_CreateEccKeyFiles(DEVHANDLE device) {
  if (QX_AuthDir(device) != 0) return -1;
  for (std::uint8_t low : {kEncPublic, kEncPrivate, kSignPublic, kSignPrivate}) {
    if (SelectEfInDf(device, low) == 0) continue;
    const bool is_private = low & 1;
    const std::uint8_t pub[14] = {0x00, low, 0x01};
    const std::uint8_t prv[10] = {0x00, low, 0x01, 0x01, 0x00, 0x00, 0x01};
    std::uint16_t sw = 0;
    const int made = is_private ? QX_CreateFile(device, kPrivateFileP2, prv, &sw)
                                : QX_CreateFile(device, kPublicFileP2, pub, &sw);
    if (!CommandOk(made, sw)) return -1;
  }
  return 0;
}

int QX_GenEccKeyPair(DEVHANDLE device, int signing, std::uint8_t public_key[64],
                     int *public_length) {
  if (!public_key || !public_length) return -1;
  const std::uint8_t pub = signing ? kSignPublic : kEncPublic;
  const std::uint8_t prv = signing ? kSignPrivate : kEncPrivate;
  std::uint16_t sw = 0;
  if (!CommandOk(QX_GenerateEccKey(device, static_cast<std::uint8_t>(0x40 | pub), prv, &sw), sw)) {
    return -1;
  }
  return QX_EccExportPublicKey(device, signing, public_key, public_length);
}

int QX_EccSign(DEVHANDLE device, std::span<const std::uint8_t> digest, std::span<std::uint8_t> out,
               int *out_length) {
  if (!out_length || SelectEfInDf(device, kSignPrivate) != 0) return -1;
  return SignWith(device, digest, out, out_length);
}

int QX_EccVerify(DEVHANDLE device, std::span<const std::uint8_t> public_key,
                 std::span<const std::uint8_t> data, std::span<const std::uint8_t> signature) {
  if (Load(device, kExtPublic, kLoadPublic, 0x00, public_key) != 0) return -1;
  std::uint16_t sw = 0;
  return CommandOk(QX_EccVerifyCmd(device, kOperation, data, signature, &sw), sw) ? 0 : -1;
}

int QX_EccEncrypt(DEVHANDLE device, std::span<const std::uint8_t> public_key,
                  std::span<const std::uint8_t> plain, std::span<std::uint8_t> out,
                  int *out_length) {
  if (!out_length || (plain.size() && !plain.data())) return -1;
  if (Load(device, kExtPublic, kLoadPublic, 0x00, public_key) != 0) return -1;
  if (plain.size() > kSm2PlainMax) return -1;
  std::uint8_t data[kPlainRoom] = {};
  if (!plain.empty()) std::memcpy(data, plain.data(), plain.size());
  std::uint8_t answer[kContainerAnswerRoom];
  std::uint16_t sw = 0;
  const int got = QX_EccEncryptCmd(device, kOperation, {data, plain.size()}, answer, &sw);
  SecureZero(data, sizeof data);
  if (!CommandOk(got, sw)) return -1;
  return Deliver({answer, static_cast<std::size_t>(got)}, out, out_length);
}

int QX_EccDecryptExt(DEVHANDLE device, std::span<const std::uint8_t> private_key,
                     std::span<const std::uint8_t> cipher, std::span<std::uint8_t> out,
                     int *out_length) {
  if (!out_length) return -1;
  if (Load(device, kExtPrivate, kLoadPrivate, kLoadPrivateP2, private_key) != 0) return -1;
  std::uint8_t answer[kExtAnswerRoom];
  const int got = DecryptInOrders(device, kBothOrders, cipher, answer);
  if (got < 0) return -1;
  const int result = Deliver({answer, static_cast<std::size_t>(got)}, out, out_length);
  SecureZero(answer, sizeof answer);
  return result;
}

int QX_EccSignExt(DEVHANDLE device, std::span<const std::uint8_t> private_key,
                  std::span<const std::uint8_t> data, std::span<std::uint8_t> out,
                  int *out_length) {
  if (!out_length) return -1;
  if (Load(device, kExtPrivate, kLoadPrivate, kLoadPrivateP2, private_key) != 0) return -1;
  return SignWith(device, data, out, out_length);
}

int QX_PrivateEccDecrypt(DEVHANDLE device, int signing, std::span<const std::uint8_t> cipher,
                         std::span<std::uint8_t> out, int *out_length) {
  if (!out_length || SelectEfInDf(device, signing ? kSignPrivate : kEncPrivate) != 0) return -1;
  std::uint8_t answer[kContainerAnswerRoom] = {};
  const int got = DecryptInOrders(device, kLibraryVariant.container_decrypt_orders, cipher, answer);
  if (got < 0) return -1;
  LogTrace("ECC_Decrypt status = %d", got);
  if (got > kSm2ContainerAnswerMax) {
    LogTrace("ECC_Decrypt1 status = %d", got);
    return -1;
  }
  const int result = Deliver({answer, static_cast<std::size_t>(got)}, out, out_length);
  SecureZero(answer, sizeof answer);
  LogTrace("QX_PrivateEccDecrypt nLen = %d", got);
  return result;
}

int QX_EccExportPublicKey(DEVHANDLE device, int signing, std::uint8_t public_key[64],
                          int *public_length) {
  if (!public_key || !public_length) return -1;
  if (SelectEfInDf(device, signing ? kSignPublic : kEncPublic) != 0) return -1;
  if (ReadPoint(device, kFromSelected, 0x00, public_key, kSm2Point) != 0) return -1;
  *public_length = kSm2Point;
  return 0;
}

int QX_GenExtEccKey(DEVHANDLE device, std::uint8_t public_key[64], int *public_length,
                    std::uint8_t private_key[32], int *private_length) {
  if (!public_key || !public_length || !private_key || !private_length) return -1;
  std::uint16_t sw = 0;
  if (!CommandOk(QX_GenerateEccKey(device, 0xC0, 0x80, &sw), sw)) return -1;
  if (ReadPoint(device, 0x00, 0x00, public_key, kSm2Point) != 0) return -1;
  *public_length = kSm2Point;
  if (ReadPoint(device, 0x00, 0x01, private_key, kSm2Scalar) != 0) return -1;
  *private_length = kSm2Scalar;
  return 0;
}

void ReverseBytes(std::uint8_t *buffer, int length) {
  if (buffer && length > 1) std::reverse(buffer, buffer + length);
}
