// Creating and deleting files, tokenbase's way. Create makes no PIN check and takes over a live
// file of the same name (FileLen kept); otherwise it reuses a freed record whose data EF is
// large enough, and otherwise creates the data EF (size + 64, also its FileLen) for the record
// after the allocated ones. Delete sends no card command: the record is freed and keeps its EF.
// Both empty the key-file cache.
#include "skf/api/create_rights.h"
#include "skf/api/export_util.h"
#include "skf/api/file_table.h"
#include "skf/card/files.h"
#include "skf/legacy/key_file_cache.h"

namespace {

// The record after the allocated ones, when that one is free: -1 when all 20 are allocated or
// that record owns an EF already (a record freed by tokencore's delete), which the card would
// refuse to create again.
int NextUnallocated(FileTable &table) {
  std::size_t allocated = 0;
  for (std::size_t i = 0; i < kFileRecordCount; ++i) {
    if (FileRecordView{FileRecord(table, i)}.Allocated()) ++allocated;
  }
  if (allocated >= kFileRecordCount || FileRecordView{FileRecord(table, allocated)}.Allocated()) {
    return -1;
  }
  return static_cast<int>(allocated);
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_CreateFile(HAPPLICATION hApplication, LPSTR szFileName, ULONG ulFileSize,
                            ULONG ulReadRights, ULONG ulWriteRights) {
  return RunExport("SKF_CreateFile", [&]() -> ULONG {
    const ApplicationHandle *app = nullptr;
    const ULONG checked = CheckFileArguments(hApplication, szFileName, true, app);
    if (checked != SAR_OK) return checked;
    FileTable table;
    if (!SelectFileArea(app->hDev, app->AppId) || !ReadFileTable(app->hDev, table)) {
      return SAR_FAIL;
    }
    int i = FindFile(table, szFileName);
    bool created = false;
    if (i < 0) i = ReusableRecord(table, ulFileSize);
    if (i < 0) {
      i = NextUnallocated(table);
      // The EF's size field is 16 bits.
      if (i < 0 || ulFileSize > kFileDataMax - kFileSlack ||
          QX_CreateDataFile(app->hDev, static_cast<std::uint32_t>(i),
                            static_cast<int>(ulFileSize + kFileSlack)) != 0) {
        return SAR_FAIL;
      }
      created = true;
    }
    if (!SelectEf(app->hDev, kFileTableEf)) return SAR_FAIL;
    const auto record = FileRecord(table, static_cast<std::size_t>(i));
    FillFileRecord(record, szFileName, ulReadRights, ulWriteRights);
    if (created) PutU32(record, kFileLen, ulFileSize + kFileSlack);
    if (!WriteImage(app->hDev, table)) return SAR_FAIL;
    ClearKeyFileInfo();
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_DeleteFile(HAPPLICATION hApplication, LPSTR szFileName) {
  return RunExport("SKF_DeleteFile", [&]() -> ULONG {
    const ApplicationHandle *app = nullptr;
    const ULONG checked = CheckFileArguments(hApplication, szFileName, true, app);
    if (checked != SAR_OK) return checked;
    const ULONG rights = CheckCreateRights(*app);
    if (rights != SAR_OK) return rights;
    QX_SelectFileArea(app->hDev);
    FileTable table;
    std::size_t i = 0;
    const ULONG found = LookupFile(app->hDev, app->AppId, szFileName, table, &i);
    if (found != SAR_OK) return found;
    // The file table EF is still the current EF.
    const auto record = FileRecord(table, i);
    record[kFileExist] = 0;
    std::fill_n(record.begin() + kFileName, kFileNameField, 0);
    PutU32(record, kDataEnd, 0);
    if (!WriteImage(app->hDev, table)) return SAR_FAIL;
    ClearKeyFileInfo();
    return SAR_OK;
  });
}

}  // extern "C"
