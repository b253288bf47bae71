// tokenbase's side of the build variant (skf/card/variant.h).
#include "skf/card/variant.h"

#include "skf/card/commands.h"
#include "skf/include/skf.h"

namespace {

// tokenbase knows two applications (label and two entries) of four containers each; it reads
// the longer directories of the standard format and keeps the entries past its own.
constexpr std::size_t kDeviceDirectorySize = 340;
constexpr std::size_t kContainerDirectorySize = 620;
constexpr EccPairAlgorithm kEccPairs[] = {
    {SGD_SM2_1, true},
    {SGD_SM2_3, false},
};
constexpr Sm2CipherOrder kDecryptOrders[] = {Sm2CipherOrder::kAsGiven};
constexpr char kAbsentDevices[] = "VARN Brevlok";  // one name and its NUL

}  // namespace

const LibraryVariant kLibraryVariant = {
    // The signing pair, EF 000C / 000D.
    .agreement_p1 = 0x0C,
    .agreement_p2 = 0x0D,
    .app_directory_size = kDeviceDirectorySize,
    .container_directory_size = kContainerDirectorySize,
    .long_directories_read = true,
    .ecc_pair_algorithms = kEccPairs,
    .container_decrypt_orders = kDecryptOrders,
    .absent_device_list = {kAbsentDevices, sizeof kAbsentDevices},
};

void QX_FormatPrepare(DEVHANDLE device) {
  constexpr std::size_t kCardInfoRoom = 32;
  std::uint8_t info[kCardInfoRoom] = {};
  std::uint16_t sw = 0;
  QX_GetCardInfo(device, info, &sw);
}
