// Card format of the key in the first listed reader.
#include "skf/api/device.h"
#include "skf/api/export_util.h"
#include "skf/api/variant.h"
#include "skf/card/format.h"

namespace {
constexpr std::size_t kFormatReaderListSize = 4096;
}

extern "C" ULONG DEVAPI SKF_FormatCard(LPSTR szAuthKey) {
  return RunExport("SKF_FormatCard", [&]() -> ULONG {
    if (!szAuthKey) return SAR_INVALIDPARAMERR;
    char names[kFormatReaderListSize] = {};
    std::uint32_t length = 0;
    if (QX_EnumReaderNames(0, names, &length) != 0) return SAR_FAIL;
    DEVHANDLE device = QX_OpenByPath(names);  // the first name of the list
    if (!device) return SAR_FAIL;
    const int formatted = QX_FormatCard(device, szAuthKey);
    FileTablesChanged();
    CloseDevice(device);
    return formatted == 0 ? SAR_OK : SAR_FAIL;
  });
}
