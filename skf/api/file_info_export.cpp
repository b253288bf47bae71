// A file's attributes from its record in the file table.
#include "skf/api/export_util.h"
#include "skf/api/file_table.h"

namespace {

constexpr std::uint32_t kReportedAs1024 = 1088;

}  // namespace

extern "C" ULONG DEVAPI SKF_GetFileInfo(HAPPLICATION hApplication, LPSTR szFileName,
                                        FILEATTRIBUTE *pFileInfo) {
  return RunExport("SKF_GetFileInfo", [&]() -> ULONG {
    if (!FileNameOk(szFileName) || !pFileInfo) return SAR_INVALIDPARAMERR;
    const ApplicationHandle *app = LiveApplication(hApplication);
    if (!app) return SAR_INVALIDHANDLEERR;
    FileTable table;
    std::size_t i = 0;
    const ULONG found = LookupFileOf(*app, szFileName, table, &i);
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
