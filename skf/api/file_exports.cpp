// File family: listing, information, reading and writing application files.
#include <array>

#include "skf/api/export_util.h"
#include "skf/api/file_table.h"
#include "skf/card/files.h"

namespace {

constexpr std::uint32_t kReportedAs1024 = 1088;
// Every record's name as far as its field goes (a card may leave out the NUL), each with a
// NUL, and the final NUL.
constexpr std::size_t kFileListSize = kFileRecordCount * (kFileNameField + 1) + 1;

// Handle checks shared by the file exports.
ApplicationHandle *LiveApplication(HAPPLICATION handle) {
  ApplicationHandle *app = AsApplication(handle);
  return app && app->hDev ? app : nullptr;
}

}  // namespace

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
    std::array<char, kFileListSize> list{};
    std::size_t used = 0;
    for (std::size_t i = 0; i < kFileRecordCount; ++i) {
      const FileRecordView record{FileRecord(table, i)};
      if (!record.Exists()) continue;
      const std::string_view name = record.Name();
      const std::span<char> room = std::span(list).subspan(used, name.size() + 1);
      name.copy(room.data(), name.size());
      used += room.size();
    }
    return CopyNameList(std::span<const char>(list).first(used + 1), szFileList, pulSize);
  });
}

ULONG DEVAPI SKF_GetFileInfo(HAPPLICATION hApplication, LPSTR szFileName,
                             FILEATTRIBUTE *pFileInfo) {
  return RunExport("SKF_GetFileInfo", [&]() -> ULONG {
    if (!FileNameOk(szFileName) || !pFileInfo) return SAR_INVALIDPARAMERR;
    const ApplicationHandle *app = LiveApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    FileTable table;
    std::size_t i = 0;
    if (!SelectFileArea(app->hDev, app->AppId)) return SAR_FAIL;
    const ULONG found = LookupFile(app->hDev, app->AppId, szFileName, table, &i);
    if (found != SAR_OK) return found;
    const FileRecordView record{FileRecord(table, i)};
    std::memset(pFileInfo->FileName, 0, sizeof pFileInfo->FileName);
    record.Name().copy(pFileInfo->FileName, sizeof pFileInfo->FileName - 1);
    pFileInfo->FileSize = record.FileLen() == kReportedAs1024 ? 1024 : record.FileLen();
    pFileInfo->ReadRights = GetU32(record.bytes, kReadRights);
    pFileInfo->WriteRights = GetU32(record.bytes, kWriteRights);
    return SAR_OK;
  });
}

ULONG DEVAPI SKF_ReadFile(HAPPLICATION hApplication, LPSTR szFileName, ULONG ulOffset, ULONG ulSize,
                          BYTE *pbOutData, ULONG *pulOutLen) {
  return RunExport("SKF_ReadFile", [&]() -> ULONG {
    if (!FileNameOk(szFileName) || !pulOutLen) return SAR_INVALIDPARAMERR;
    const ApplicationHandle *app = LiveApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    FileTable table;
    std::size_t i = 0;
    if (!SelectFileArea(app->hDev, app->AppId)) return SAR_FAIL;
    const ULONG found = LookupFile(app->hDev, app->AppId, szFileName, table, &i);
    if (found != SAR_OK) return found;
    const std::uint32_t file_len = FileRecordView{FileRecord(table, i)}.FileLen();
    // Nothing is read from beyond the file.
    if (ulOffset > file_len) return SAR_INVALIDPARAMERR;
    ULONG n = ulSize;
    if (ulSize == 0 || file_len - ulOffset < ulSize) n = file_len - ulOffset;
    if (!pbOutData) {
      *pulOutLen = n;
      return SAR_OK;
    }
    if (*pulOutLen < n) {
      *pulOutLen = n;
      return SAR_BUFFER_TOO_SMALL;
    }
    int count = 0;
    const int read = QX_ReadDataFile(app->hDev, static_cast<std::uint32_t>(i),
                                     static_cast<int>(ulOffset), {pbOutData, n}, &count);
    *pulOutLen = static_cast<ULONG>(count);
    return read == 0 ? SAR_OK : SAR_FAIL;
  });
}

ULONG DEVAPI SKF_WriteFile(HAPPLICATION hApplication, LPSTR szFileName, ULONG ulOffset,
                           BYTE *pbData, ULONG ulSize) {
  return RunExport("SKF_WriteFile", [&]() -> ULONG {
    if (!FileNameOk(szFileName) || !pbData) return SAR_INVALIDPARAMERR;
    const ApplicationHandle *app = LiveApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    FileTable table;
    std::size_t i = 0;
    if (!SelectFileArea(app->hDev, app->AppId)) return SAR_FAIL;
    const ULONG found = LookupFile(app->hDev, app->AppId, szFileName, table, &i);
    if (found != SAR_OK) return found;
    const auto record = FileRecord(table, i);
    if (FileRecordView{record}.FileLen() < ulOffset) return SAR_FILEERR;
    int count = 0;
    if (QX_WriteDataFile(app->hDev, static_cast<std::uint32_t>(i), static_cast<int>(ulOffset),
                         {pbData, ulSize}, &count) != 0) {
      return SAR_FAIL;
    }
    if (!SelectEf(app->hDev, kFileTableEf)) return SAR_FAIL;
    PutU32(record, kDataEnd, ulOffset + ulSize);
    return WriteImage(app->hDev, table) ? SAR_OK : SAR_FAIL;
  });
}

}  // extern "C"
