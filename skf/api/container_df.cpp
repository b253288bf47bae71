#include "skf/api/container_df.h"

#include "skf/api/directory.h"
#include "skf/card/auth.h"
#include "skf/card/command_status.h"
#include "skf/card/commands.h"

namespace {

constexpr std::uint8_t kCreateDf = 0x01;
constexpr std::uint8_t kCreateEf = 0x03;
constexpr std::size_t kDescriptorSize = 13;
constexpr std::uint8_t kCertificateEfSize = 0x08;  // high byte of the 0x0800 size field

bool CreateCertificateEf(DEVHANDLE device, std::uint16_t ef) {
  const std::uint8_t descriptor[kDescriptorSize] = {
      static_cast<std::uint8_t>(ef >> 8), static_cast<std::uint8_t>(ef), kCertificateEfSize, 0x00};
  std::uint16_t sw = 0;
  const int result = QX_CreateFile(device, kCreateEf, descriptor, &sw);
  return CommandOk(result, sw);
}

}  // namespace

int QX_CreateContainerDf(DEVHANDLE device, std::uint32_t container_id) {
  if (QX_AuthDir(device) != 0) return -1;
  const auto high = static_cast<std::uint8_t>(container_id >> 8);
  const auto low = static_cast<std::uint8_t>(container_id);
  std::uint16_t sw = 0;
  if (!SelectDf(device, container_id)) {
    const std::uint8_t descriptor[kDescriptorSize] = {high, low,  0x1C, 0x00, 0x00, 0x00, 0x00,
                                                      0x00, 0x00, 0x01, 0x00, 0x00, 0x0F};
    const int result = QX_CreateFile(device, kCreateDf, descriptor, &sw);
    if (!CommandOk(result, sw)) return -1;
  } else {
    if (QX_AuthDir(device) != 0) return -1;
    const int result = QX_PrepareCreate(device, &sw);
    if (!CommandOk(result, sw)) return -1;
  }
  return CreateCertificateEf(device, kEncCertEf) && CreateCertificateEf(device, kSignCertEf) ? 0
                                                                                             : -1;
}
