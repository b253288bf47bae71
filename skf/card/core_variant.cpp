// tokencore's side of the build variant (skf/card/variant.h).
#include "skf/card/variant.h"

#include "skf/include/skf.h"
#include "skf/api/layout.h"
#include "skf/card/commands.h"
#include "skf/card/device.h"
#include "skf/crypto/retail_mac.h"

namespace {

constexpr EccPairAlgorithm kEccPairs[] = {
    {SGD_SM2_1, true},
    {SGD_SM2_2, true},
    {SGD_SM2_ENC_PAIR, false},
};
constexpr Sm2CipherOrder kDecryptOrders[] = {Sm2CipherOrder::kReordered, Sm2CipherOrder::kAsGiven};
constexpr char kNoDevice[] = {'\0'};  // the empty list

}  // namespace

const LibraryVariant kLibraryVariant = {
    .agreement_p1 = 0x0A,
    .agreement_p2 = 0x0B,
    .app_directory_size = kAppDirectorySize,
    .container_directory_size = kContainerDirectorySize,
    .long_directories_read = false,
    .ecc_pair_algorithms = kEccPairs,
    .container_decrypt_orders = kDecryptOrders,
    .absent_device_list = {kNoDevice, sizeof kNoDevice},
};

void QX_FormatPrepare(DEVHANDLE device) {
  std::uint8_t atr[kAtrSize] = {};
  QX_ResetCardAtr(device, atr);
  std::uint8_t info[kAtrSize] = {};
  std::uint16_t sw = 0;
  QX_GetCardInfo(device, info, &sw);
}

int QX_CommandMac(const std::uint8_t *message, int length, std::uint8_t mac[4],
                  const std::uint8_t key[16], std::uint8_t flag) {
  return DES_RetailMac(message, length, mac, key, flag);
}

int QX_PrepareContainerPrivateKey(DEVHANDLE, std::uint8_t, std::uint32_t, bool) { return 0; }
