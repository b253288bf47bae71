#include "skf/api/file_table.h"

#include "skf/api/export_util.h"
#include "skf/card/files.h"

namespace {

constexpr std::uint32_t kReuseMargin = 4;

}  // namespace

bool FileNameOk(const char *name) { return name && NameLengthOk(name, kFileNameMax); }

ApplicationHandle *LiveApplication(HAPPLICATION handle) {
  ApplicationHandle *app = AsApplication(handle);
  return app && app->hDev ? app : nullptr;
}

bool SelectFileArea(DEVHANDLE device, std::uint32_t app_id) {
  if (!SelectApplication(device, app_id)) return false;
  return QX_SelectFileArea(device) == 0;
}

bool ReadFileTable(DEVHANDLE device, FileTable &table) {
  return SelectEf(device, kFileTableEf) && ReadImage(device, table);
}

int FindFile(FileTable &table, std::string_view name) {
  for (std::size_t i = 0; i < kFileRecordCount; ++i) {
    const FileRecordView record{FileRecord(table, i)};
    if (record.Exists() && record.Name() == name) return static_cast<int>(i);
  }
  return -1;
}

int ReusableRecord(FileTable &table, ULONG size) {
  for (std::size_t i = 0; i < kFileRecordCount; ++i) {
    const FileRecordView r{FileRecord(table, i)};
    if (!r.Exists() && r.Allocated() &&
        static_cast<std::int64_t>(static_cast<std::int32_t>(r.FileLen())) >=
            static_cast<std::int64_t>(size) + kReuseMargin) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

ULONG LookupFile(DEVHANDLE device, std::uint32_t app_id, std::string_view name, FileTable &table,
                 std::size_t *index) {
  if (!ReadFileTable(device, table)) return SAR_FAIL;
  int i = FindFile(table, name);
  if (i < 0) {
    if (!SelectApplication(device, app_id) || !ReadFileTable(device, table)) return SAR_FAIL;
    i = FindFile(table, name);
    if (i < 0) return SAR_FILE_NOT_EXIST;
  }
  *index = static_cast<std::size_t>(i);
  return SAR_OK;
}
