// A file's attributes from its record in the file table.
#include "skf/api/export_util.h"
#include "skf/api/file_table.h"

namespace {

constexpr std::uint32_t kReportedAs1024 = 1088;

}  // namespace

extern "C" ULONG DEVAPI SKF_GetFileInfo(HAPPLICATION hApplication, LPSTR szFileName,
                                        FILEATTRIBUTE *pFileInfo) {
  return RunExport("SKF_GetFileInfo", [&]() -> ULONG {
    AppFile file;
    const ULONG found = FindAppFile(hApplication, szFileName, pFileInfo != nullptr, file);
    if (found != SAR_OK) return found;
    const FileRecordView record = file.Record();
    std::memset(pFileInfo->FileName, 0, sizeof pFileInfo->FileName);
    record.Name().copy(pFileInfo->FileName, sizeof pFileInfo->FileName - 1);
    pFileInfo->FileSize = record.FileLen() == kReportedAs1024 ? 1024 : record.FileLen();
    pFileInfo->ReadRights = GetU32(record.bytes, kReadRights);
    pFileInfo->WriteRights = GetU32(record.bytes, kWriteRights);
    return SAR_OK;
  });
}
