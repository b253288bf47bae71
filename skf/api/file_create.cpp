// Creating and deleting application files: tokencore's exports (tokenbase's are in skf/legacy).
#include "skf/api/create_rights.h"
#include "skf/api/export_util.h"
#include "skf/api/file_table.h"
#include "skf/card/files.h"

namespace {

int FreeRecord(FileTable &table) {
  for (std::size_t i = 0; i < kFileRecordCount; ++i) {
    if (!FileRecordView{FileRecord(table, i)}.Allocated()) return static_cast<int>(i);
  }
  return -1;
}

// The data EF of record `i`: created, or after one failure deleted and created again.
bool CreateDataEf(DEVHANDLE device, std::uint32_t i, ULONG size) {
  const int ef_size = static_cast<int>(size + kFileSlack);
  if (QX_CreateDataFile(device, i, ef_size) == 0) return true;
  return QX_DeleteDataFile(device, static_cast<int>(i)) == 0 &&
         QX_CreateDataFile(device, i, ef_size) == 0;
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_CreateFile(HAPPLICATION hApplication, LPSTR szFileName, ULONG ulFileSize,
                            ULONG ulReadRights, ULONG ulWriteRights) {
  return RunExport("SKF_CreateFile", [&]() -> ULONG {
    if (!FileNameOk(szFileName)) return SAR_INVALIDPARAMERR;
    const ApplicationHandle *app = AsApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    if (ulFileSize > kFileSizeMax) return SAR_FAIL;
    if (!app->hDev) return SAR_INVALIDHANDLEERR;
    const ULONG rights = CheckCreateRights(*app);
    if (rights != SAR_OK) return rights;
    FileTable table;
    if (QX_SelectFileArea(app->hDev) != 0 || !ReadFileTable(app->hDev, table)) return SAR_FAIL;
    if (FindFile(table, szFileName) >= 0) return SAR_FILE_ALREADY_EXIST;
    bool created = false;
    int i = ReusableRecord(table, ulFileSize);
    if (i < 0) {
      i = FreeRecord(table);
      if (i < 0) return SAR_NO_ROOM;
      if (!CreateDataEf(app->hDev, static_cast<std::uint32_t>(i), ulFileSize)) return SAR_FAIL;
      created = true;
    }
    if (!SelectEf(app->hDev, kFileTableEf)) return SAR_FAIL;
    const auto record = FileRecord(table, static_cast<std::size_t>(i));
    FillFileRecord(record, szFileName, ulReadRights, ulWriteRights);
    if (created) PutU32(record, kFileLen, ulFileSize);
    return WriteImage(app->hDev, table) ? SAR_OK : SAR_FAIL;
  });
}

ULONG DEVAPI SKF_DeleteFile(HAPPLICATION hApplication, LPSTR szFileName) {
  return RunExport("SKF_DeleteFile", [&]() -> ULONG {
    if (!FileNameOk(szFileName)) return SAR_INVALIDPARAMERR;
    const ApplicationHandle *app = AsApplication(hApplication);
    if (!app || !app->hDev) return SAR_INVALIDHANDLEERR;
    const ULONG rights = CheckCreateRights(*app);
    if (rights != SAR_OK) return rights;
    if (QX_SelectFileArea(app->hDev) != 0) return SAR_FAIL;
    FileTable table;
    std::size_t i = 0;
    const ULONG found = LookupFile(app->hDev, app->AppId, szFileName, table, &i);
    if (found != SAR_OK) return found;
    const int deleted = QX_DeleteDataFile(app->hDev, static_cast<int>(i));
    if (deleted < 0) return SAR_FAIL;
    // The file table EF is still the current EF: the data EF was not selected.
    const auto record = FileRecord(table, i);
    record[kFileExist] = 0;
    record[kFileAllocated] = deleted == 1 ? 1 : 0;
    PutU32(record, kDataEnd, 0);
    return WriteImage(app->hDev, table) ? SAR_OK : SAR_FAIL;
  });
}

}  // extern "C"
