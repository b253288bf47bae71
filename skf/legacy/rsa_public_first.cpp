// Before a container's RSA private key works, tokenbase runs the matching public key (EF 001C
// for 001D, 001A for 001B) on a k-byte block of 01 bytes (signing) or of zeros (decrypting)
// and discards the answer; a refusal fails the operation.
#include <cstring>

#include "skf/card/command_status.h"
#include "skf/card/commands.h"
#include "skf/card/variant.h"

namespace {

constexpr std::uint8_t kOperation = 0x40;
constexpr std::uint32_t k1024 = 128;
constexpr std::uint32_t k2048 = 256;
constexpr std::size_t kAnswerRoom = 1024;
constexpr std::uint8_t kSigningFill = 0x01;

}  // namespace

int QX_PrepareContainerPrivateKey(DEVHANDLE device, std::uint8_t private_ef, std::uint32_t k,
                                  bool signing) {
  if (k != k1024 && k != k2048) return -1;
  if (SelectEfInDf(device, static_cast<std::uint8_t>(private_ef - 1)) != 0) return -1;
  std::uint8_t block[k2048];
  std::memset(block, signing ? kSigningFill : 0x00, sizeof block);
  std::uint8_t answer[kAnswerRoom];
  std::uint16_t sw = 0;
  const int got =
      k == k1024
          ? QX_RsaPublicCmd(device, kOperation, {block, k1024}, answer, &sw)
          : QX_RsaPublicCmd2048(device, std::span<const std::uint8_t, k2048>(block), answer, &sw);
  return CommandOk(got, sw) ? 0 : -1;
}
