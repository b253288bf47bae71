// Application family: listing, opening, deleting and closing applications.
#include <string_view>

#include "skf/api/directory.h"
#include "skf/api/export_util.h"
#include "skf/api/variant.h"

namespace {

constexpr std::size_t kAppListSize = kMaxApplications * (kAppNameField + 1) + 1;

bool InUse(std::span<const std::uint8_t> entry) { return GetU32(entry, kAppInUse) != 0; }
std::string_view NameOf(std::span<const std::uint8_t> entry) {
  return FieldText(entry, kAppName, kAppNameField);
}

// The entry index of the first application in use with that name, or -1.
int FindApplication(AppDirectory &directory, std::string_view name) {
  for (std::size_t k = 0; k < AppEntryCount(directory); ++k) {
    const auto entry = AppEntry(directory, k);
    if (InUse(entry) && NameOf(entry) == name) return static_cast<int>(k);
  }
  return -1;
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_EnumApplication(DEVHANDLE hDev, LPSTR szAppName, ULONG *pulSize) {
  return RunExport("SKF_EnumApplication", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!pulSize) return SAR_INVALIDPARAMERR;
    AppDirectory directory;
    if (!ReadAppDirectory(hDev, directory)) return SAR_FAIL;
    char list[kAppListSize] = {};
    std::size_t used = 0;
    for (std::size_t k = 0; k < AppEntryCount(directory); ++k) {
      const auto entry = AppEntry(directory, k);
      if (!InUse(entry)) continue;
      const std::string_view name = NameOf(entry);
      name.copy(list + used, name.size());
      used += name.size() + 1;
    }
    return CopyNameList({list, used + 1}, szAppName, pulSize);
  });
}

ULONG DEVAPI SKF_OpenApplication(DEVHANDLE hDev, LPSTR szAppName, HAPPLICATION *phApplication) {
  return RunExport("SKF_OpenApplication", [&]() -> ULONG {
    if (!hDev) return SAR_INVALIDHANDLEERR;
    if (!szAppName || !phApplication) return SAR_INVALIDPARAMERR;
    AppDirectory directory;
    if (!ReadAppDirectory(hDev, directory)) return SAR_FAIL;
    const int k = FindApplication(directory, {szAppName, BoundedLength(szAppName, kAppNameField)});
    if (k < 0) return SAR_APPLICATION_NOT_EXISTS;
    ApplicationHandle *handle = NewApplicationHandle(kAppIdBase + 1 + k, hDev);
    if (!handle) return SAR_FAIL;
    *phApplication = handle;
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_DeleteApplication(DEVHANDLE hDev, LPSTR szAppName) {
  return RunExport("SKF_DeleteApplication", [&]() -> ULONG {
    if (!szAppName || !NameLengthOk(szAppName, kAppNameMax)) return SAR_APPLICATION_NAME_INVALID;
    if (!IsDevAuthenticated(hDev)) return SAR_INVALIDHANDLEERR;
    AppDirectory directory;
    if (!ReadAppDirectory(hDev, directory)) return SAR_FAIL;
    const int k = FindApplication(directory, szAppName);
    if (k < 0) return SAR_FAIL;
    const auto entry = AppEntry(directory, static_cast<std::size_t>(k));
    std::fill(entry.begin(), entry.end(), 0);
    const bool written = WriteAppDirectory(hDev, directory);
    FileTablesChanged();
    if (!written) return SAR_FAIL;
    KeyDirectoryChanged();
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_CloseApplication(HAPPLICATION hApplication) {
  return RunExport("SKF_CloseApplication", [&]() -> ULONG {
    ApplicationHandle *app = AsApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    *app = {kClosedId, nullptr};
    return SAR_OK;
  });
}

}  // extern "C"
