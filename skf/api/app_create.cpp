// Creating an application: its directory entry and its DF with files and PIN keys.
#include "skf/api/directory.h"
#include "skf/api/export_util.h"
#include "skf/api/variant.h"
#include "skf/api/pin_rules.h"
#include "skf/card/format.h"

extern "C" ULONG DEVAPI SKF_CreateApplication(DEVHANDLE hDev, LPSTR szAppName, LPSTR szAdminPin,
                                              DWORD dwAdminPinRetryCount, LPSTR szUserPin,
                                              DWORD dwUserPinRetryCount, DWORD dwCreateFileRights,
                                              HAPPLICATION *phApplication) {
  return RunExport("SKF_CreateApplication", [&]() -> ULONG {
    if (!szAppName || !NameLengthOk(szAppName, kAppNameMax)) return SAR_APPLICATION_NAME_INVALID;
    if (!szAdminPin) return SAR_INVALIDPARAMERR;
    if (!szUserPin || !phApplication || !PinLengthOk(szUserPin)) return SAR_INVALIDPARAMERR;
    if (!AdminPinLengthOk(szAdminPin)) return SAR_INVALIDPARAMERR;
    if (!IsDevAuthenticated(hDev)) return SAR_INVALIDHANDLEERR;
    AppDirectory directory;
    if (!ReadAppDirectory(hDev, directory)) return SAR_FAIL;
    // Names after the first free entry are not compared.
    int taken = -1;
    for (std::size_t k = 0; k < AppEntryCount(directory) && taken < 0; ++k) {
      const auto entry = AppEntry(directory, k);
      if (FieldText(entry, kAppName, kAppNameField) == szAppName) return SAR_APPLICATION_EXISTS;
      if (GetU32(entry, kAppInUse) != 0) continue;
      PutU32(entry, kAppInUse, 1);
      PutU32(entry, kAppCreateFileRights, dwCreateFileRights);
      std::fill_n(entry.begin() + kAppName, kAppNameField, 0);
      PutText(entry, kAppName, szAppName);
      taken = static_cast<int>(k);
    }
    if (taken < 0) return SAR_NO_ROOM;
    const std::uint32_t app_id = kAppIdBase + 1 + static_cast<std::uint32_t>(taken);
    const int built = QX_CreateApplicationDf(hDev, static_cast<std::uint16_t>(app_id), szAdminPin,
                                             dwAdminPinRetryCount, szUserPin, dwUserPinRetryCount);
    FileTablesChanged();
    if (built != 0) return SAR_FAIL;
    if (!WriteAppDirectory(hDev, directory)) return SAR_FAIL;
    ApplicationHandle *handle = NewApplicationHandle(app_id, hDev);
    if (!handle) return SAR_FAIL;
    *phApplication = handle;
    KeyDirectoryChanged();
    return SAR_OK;
  });
}
