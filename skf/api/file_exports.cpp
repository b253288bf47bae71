// File family: tokencore's listing, reading and writing of application files (tokenbase's
// are in skf/legacy).
#include "skf/api/export_util.h"
#include "skf/api/file_data.h"
#include "skf/api/file_table.h"

extern "C" {

ULONG DEVAPI SKF_EnumFiles(HAPPLICATION hApplication, LPSTR szFileList, ULONG *pulSize) {
  return RunExport("SKF_EnumFiles", [&]() -> ULONG {
    const ApplicationHandle *app = LiveApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    if (!pulSize) return SAR_INVALIDPARAMERR;
    FileTable table;
    if (!SelectFileArea(app->hDev, app->AppId) || !ReadFileTable(app->hDev, table)) {
      return SAR_FAIL;
    }
    return CopyFileNames(table, szFileList, pulSize);
  });
}

ULONG DEVAPI SKF_ReadFile(HAPPLICATION hApplication, LPSTR szFileName, ULONG ulOffset, ULONG ulSize,
                          BYTE *pbOutData, ULONG *pulOutLen) {
  return RunExport("SKF_ReadFile", [&]() -> ULONG {
    AppFile file;
    const ULONG found = FindAppFile(hApplication, szFileName, pulOutLen != nullptr, file);
    if (found != SAR_OK) return found;
    return ReadFileData(file.app->hDev, file.index, file.Record().FileLen(), ulOffset, ulSize,
                        pbOutData, pulOutLen);
  });
}

ULONG DEVAPI SKF_WriteFile(HAPPLICATION hApplication, LPSTR szFileName, ULONG ulOffset,
                           BYTE *pbData, ULONG ulSize) {
  return RunExport("SKF_WriteFile", [&]() -> ULONG {
    AppFile file;
    const ULONG found = FindAppFile(hApplication, szFileName, pbData != nullptr, file);
    if (found != SAR_OK) return found;
    if (file.Record().FileLen() < ulOffset) return SAR_FILEERR;
    return WriteFileData(file.app->hDev, file.table, file.index, ulOffset, pbData, ulSize);
  });
}

}  // extern "C"
