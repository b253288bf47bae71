// Creating and deleting containers.
#include <algorithm>

#include "skf/api/container_df.h"
#include "skf/api/container_directory.h"
#include "skf/api/create_rights.h"
#include "skf/api/export_util.h"
#include "skf/api/variant.h"

extern "C" {

ULONG DEVAPI SKF_CreateContainer(HAPPLICATION hApplication, LPSTR szContainerName,
                                 HCONTAINER *phContainer) {
  return RunExport("SKF_CreateContainer", [&]() -> ULONG {
    if (!szContainerName || !phContainer) return SAR_INVALIDPARAMERR;
    if (!NameLengthOk(szContainerName, kContainerNameMax)) return SAR_NAMELENERR;
    const ApplicationHandle *app = AsApplication(hApplication);
    if (!app || !app->hDev) return SAR_INVALIDHANDLEERR;
    const ULONG rights = CheckCreateRights(*app);
    if (rights != SAR_OK) return rights;
    ContainerDirectory directory;
    if (!SelectEf(app->hDev, kDirectoryEf) || !ReadImage(app->hDev, directory)) return SAR_FAIL;
    // Names after the first free entry are not compared.
    int taken = -1;
    for (std::size_t j = 0; j < ContainerEntryCount(directory) && taken < 0; ++j) {
      const auto entry = ContainerEntry(directory, j);
      const std::string_view name = ContainerNameOf(entry);
      if (name == szContainerName) return SAR_FILE_ALREADY_EXIST;
      if (!name.empty()) continue;
      PutU32(entry, kKeyType, 0);
      PutText(entry, kContainerName, szContainerName);
      taken = static_cast<int>(j);
    }
    if (taken < 0) return SAR_FAIL;
    const std::uint32_t id = ContainerIdOf(app->AppId, taken);
    if (QX_CreateContainerDf(app->hDev, id) != 0) return SAR_FAIL;
    if (!WriteContainerDirectory(app->hDev, app->AppId, directory)) return SAR_FAIL;
    ContainerHandle *handle = NewContainerHandle(id, app->hDev);
    if (!handle) return SAR_FAIL;
    *phContainer = handle;
    KeyDirectoryChanged();
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_DeleteContainer(HAPPLICATION hApplication, LPSTR szContainerName) {
  return RunExport("SKF_DeleteContainer", [&]() -> ULONG {
    const ApplicationHandle *app = AsApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    if (!szContainerName) return SAR_INVALIDPARAMERR;
    if (!NameLengthOk(szContainerName, kContainerNameMax)) return SAR_NAMELENERR;
    if (!app->hDev) return SAR_INVALIDHANDLEERR;
    const ULONG rights = CheckCreateRights(*app);
    if (rights != SAR_OK) return rights;
    ContainerDirectory directory;
    if (!SelectEf(app->hDev, kDirectoryEf) || !ReadImage(app->hDev, directory)) return SAR_FAIL;
    const int j = FindContainer(directory, szContainerName);
    if (j < 0) return SAR_FAIL;
    const auto entry = ContainerEntry(directory, static_cast<std::size_t>(j));
    std::fill(entry.begin(), entry.end(), 0);
    if (!WriteContainerDirectory(app->hDev, app->AppId, directory)) return SAR_FAIL;
    KeyDirectoryChanged();
    return SAR_OK;
  });
}

}  // extern "C"
