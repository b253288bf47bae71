// Raw command transmission: tokencore's SKF_Transmit (tokenbase's is in skf/legacy).
#include <cstring>
#include <memory>

#include "skf/api/export_util.h"
#include "skf/card/apdu.h"

namespace {

constexpr std::size_t kTransmitAnswerSize = 40960;
constexpr std::size_t kStatusWordSize = 2;

}  // namespace

extern "C" ULONG DEVAPI SKF_Transmit(DEVHANDLE hDev, const BYTE *pbCommand, ULONG ulCommandLen,
                                     BYTE *pbData, ULONG *pulDataLen) {
  return RunExport("SKF_Transmit", [&]() -> ULONG {
    if (!hDev || !pbCommand || !pbData || !pulDataLen) return SAR_INVALIDHANDLEERR;
    auto answer = std::make_unique<std::uint8_t[]>(kTransmitAnswerSize);
    std::uint16_t sw = 0;
    const int n = QX_Application_Manager(hDev, {pbCommand, ulCommandLen},
                                         {answer.get(), kTransmitAnswerSize}, &sw);
    if (n < 0) return SAR_FAIL;
    const std::size_t total = static_cast<std::size_t>(n) + kStatusWordSize;
    if (*pulDataLen < total) return SAR_BUFFER_TOO_SMALL;
    std::memcpy(pbData, answer.get(), static_cast<std::size_t>(n));
    pbData[n] = static_cast<BYTE>(sw);           // SW2
    pbData[n + 1] = static_cast<BYTE>(sw >> 8);  // SW1
    *pulDataLen = static_cast<ULONG>(total);
    return SAR_OK;
  });
}
