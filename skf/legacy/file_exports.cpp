// File family, tokenbase's listing, reading and writing: the file tables come from the key-file
// cache where it describes the key, reads are bounded by the last written end (DataEnd), a
// write is not checked against the file's length, and a write empties the cache.
#include <cstring>

#include "skf/api/export_util.h"
#include "skf/api/file_data.h"
#include "skf/api/file_table.h"
#include "skf/card/commands.h"
#include "skf/card/files.h"
#include "skf/legacy/key_file_cache.h"

namespace {

constexpr std::uint8_t kSelectDfP1 = 0x01;

// The application's table from a copy of the cache; false when it holds none for it.
bool CachedTable(const KeyFileInfo &info, std::uint32_t app_id, FileTable &table) {
  const int slot = KeyFileSlot(app_id);
  if (slot < 0) return false;
  std::memcpy(table.bytes.data(), info.FileTable[slot], kFileTableSize);
  table.length = kFileTableSize;
  return true;
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_EnumFiles(HAPPLICATION hApplication, LPSTR szFileList, ULONG *pulSize) {
  return RunExport("SKF_EnumFiles", [&]() -> ULONG {
    const ApplicationHandle *app = LiveApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    if (!pulSize) return SAR_INVALIDPARAMERR;
    FileTable table;
    KeyFileInfo info;
    const bool cached =
        QX_GetKeyFileInfo(app->hDev, &info) == 0 && CachedTable(info, app->AppId, table);
    if (!cached && (!SelectFileArea(app->hDev, app->AppId) || !ReadFileTable(app->hDev, table))) {
      return SAR_FAIL;
    }
    return CopyFileNames(table, szFileList, pulSize);
  });
}

ULONG DEVAPI SKF_ReadFile(HAPPLICATION hApplication, LPSTR szFileName, ULONG ulOffset, ULONG ulSize,
                          BYTE *pbOutData, ULONG *pulOutLen) {
  return RunExport("SKF_ReadFile", [&]() -> ULONG {
    const ApplicationHandle *app = nullptr;
    const ULONG checked = CheckFileArguments(hApplication, szFileName, pulOutLen != nullptr, app);
    if (checked != SAR_OK) return checked;
    KeyFileInfo info;
    const bool refreshed = QX_GetKeyFileInfo(app->hDev, &info) == 0;
    SelectMf(app->hDev);
    const std::uint8_t df[] = {static_cast<std::uint8_t>(app->AppId >> 8),
                               static_cast<std::uint8_t>(app->AppId)};
    std::uint16_t sw = 0;
    const int answer = QX_Select(app->hDev, kSelectDfP1, 0x00, df, &sw);
    if (answer < 0 || sw != kSwOk) return SAR_FAIL;
    QX_SelectFileArea(app->hDev);
    FileTable table;
    std::size_t i = 0;
    // A DF that answers without data takes the cached table.
    if (answer == 0 && refreshed && CachedTable(info, app->AppId, table)) {
      const int found = FindFile(table, szFileName);
      if (found < 0) return SAR_FILE_NOT_EXIST;
      i = static_cast<std::size_t>(found);
    } else {
      const ULONG found = LookupFile(app->hDev, app->AppId, szFileName, table, &i);
      if (found != SAR_OK) return found;
    }
    const std::uint32_t data_end = GetU32(FileRecord(table, i), kDataEnd);
    return ReadFileData(app->hDev, i, data_end, ulOffset, ulSize, pbOutData, pulOutLen);
  });
}

ULONG DEVAPI SKF_WriteFile(HAPPLICATION hApplication, LPSTR szFileName, ULONG ulOffset,
                           BYTE *pbData, ULONG ulSize) {
  return RunExport("SKF_WriteFile", [&]() -> ULONG {
    AppFile file;
    const ULONG found = FindAppFile(hApplication, szFileName, pbData != nullptr, file);
    if (found != SAR_OK) return found;
    const ULONG written =
        WriteFileData(file.app->hDev, file.table, file.index, ulOffset, pbData, ulSize);
    if (written == SAR_OK) ClearKeyFileInfo();
    return written;
  });
}

}  // extern "C"
