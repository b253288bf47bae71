// Device family: listing, disconnecting, state, label, device information, locking.
#include <cstring>

#include "skf/api/device.h"
#include "skf/api/directory.h"
#include "skf/api/export_util.h"
#include "skf/api/variant.h"
#include "skf/card/commands.h"
#include "skf/card/variant.h"

namespace {

constexpr std::size_t kEnumWorkSize = 4096;
constexpr std::size_t kLabelMax = 31;  // characters of a label set by SKF_SetLabel
constexpr char kMaker[] = "VARN";

void FillDevInfo(DEVINFO *info, const AppDirectory &directory, const char *serial,
                 const std::uint8_t card_info[kCardInfoSize]) {
  info->Version = {1, 0};
  std::memcpy(info->Manufacturer, kMaker, sizeof kMaker);
  std::memcpy(info->Issuer, kMaker, sizeof kMaker);
  // The stored label may be longer than the structure's field: keep what fits with its NUL.
  const std::string_view label = FieldText(directory.bytes, kLabelOffset, kLabelSize);
  const std::size_t n = std::min(label.size(), sizeof info->Label - 1);
  std::memcpy(info->Label, label.data(), n);
  info->Label[n] = '\0';
  std::memcpy(info->SerialNumber, serial, kSerialTextSize);
  info->HWVersion = {1, 0};
  info->FirmwareVersion = {1, 0};
  info->AlgHashCap = 1;
  info->DevAuthAlgId = 0x201;
  FillDevInfoCapabilities(info, card_info);
}

}  // namespace

int CloseDevice(DEVHANDLE device) { return QX_Close(device); }

extern "C" {

ULONG DEVAPI SKF_EnumDev(BOOL bPresent, LPSTR szNameList, ULONG *pulSize) {
  return RunExport("SKF_EnumDev", [&]() -> ULONG {
    if (!pulSize) return SAR_INVALIDPARAMERR;
    static_assert(kEnumWorkSize > kReaderListSize);
    char work[kEnumWorkSize] = {};
    std::uint32_t n = 0;
    if (bPresent) {
      if (QX_EnumReaderNames(0, std::span(work, kReaderListSize), &n) != 0) return SAR_FAIL;
    } else {
      n = static_cast<std::uint32_t>(
          kLibraryVariant.absent_device_list.copy(work, kReaderListSize));
    }
    return CopyNameList({work, n + 1}, szNameList, pulSize);
  });
}

ULONG DEVAPI SKF_DisConnectDev(DEVHANDLE hDev) {
  return RunExport("SKF_DisConnectDev", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    CloseDevice(hDev);
    ClearDevAuth();
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_GetDevState(const CHAR *szDevName, ULONG *pulDevState) {
  return RunExport("SKF_GetDevState", [&]() -> ULONG {
    if (!szDevName || !pulDevState) return SAR_INVALIDPARAMERR;
    *pulDevState = DEV_ABSENT_STATE;
    std::uint32_t length = 0;
    if (QX_EnumReaderNames(0, {}, &length) == 0) *pulDevState = DEV_PRESENT_STATE;
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_SetLabel(DEVHANDLE hDev, const CHAR *szLabel) {
  return RunExport("SKF_SetLabel", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!szLabel || !NameLengthOk(szLabel, kLabelMax)) return SAR_INVALIDPARAMERR;
    AppDirectory directory;
    if (!ReadAppDirectory(hDev, directory)) return SAR_FAIL;
    PutText(directory.bytes, kLabelOffset, szLabel);
    return WriteImage(hDev, directory) ? SAR_OK : SAR_FAIL;
  });
}

ULONG DEVAPI SKF_GetDevInfo(DEVHANDLE hDev, DEVINFO *pDevInfo) {
  return RunExport("SKF_GetDevInfo", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pDevInfo) return SAR_INVALIDPARAMERR;
    SelectMf(hDev);
    char serial[kSerialTextSize] = {};
    if (QX_GET_BCDSN(hDev, serial) != 0) return SAR_FAIL;
    std::uint8_t card_info[kCardInfoSize] = {};
    std::uint16_t sw = 0;
    const int got = QX_GetCardInfo(hDev, card_info, &sw);
    if (got != static_cast<int>(kCardInfoSize) || sw != kSwOk) return SAR_FAIL;
    AppDirectory directory;
    if (!SelectEf(hDev, kDirectoryEf) || !ReadImage(hDev, directory)) return SAR_FAIL;
    FillDevInfo(pDevInfo, directory, serial, card_info);
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_LockDev(DEVHANDLE /*hDev*/, ULONG /*ulTimeOut*/) {
  return RunExport("SKF_LockDev", []() -> ULONG { return SAR_OK; });
}

ULONG DEVAPI SKF_UnlockDev(DEVHANDLE /*hDev*/) {
  return RunExport("SKF_UnlockDev", []() -> ULONG { return SAR_OK; });
}

}  // extern "C"
