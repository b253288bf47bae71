#include "skf/api/file_table.h"

#include <algorithm>
#include <array>

#include "skf/api/export_util.h"
#include "skf/card/files.h"

namespace {

constexpr std::uint32_t kReuseMargin = 4;
// Every record's name as far as its field goes (a card may leave out the NUL), each with a
// NUL, and the final NUL.
constexpr std::size_t kFileListSize = kFileRecordCount * (kFileNameField + 1) + 1;

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

void FillFileRecord(std::span<std::uint8_t> record, const char *name, ULONG read_rights,
                    ULONG write_rights) {
  record[kFileExist] = 1;
  record[kFileAllocated] = 1;
  std::fill_n(record.begin() + kFileName, kFileNameField, 0);
  PutText(record, kFileName, name);
  PutU32(record, kWriteRights, write_rights);
  PutU32(record, kReadRights, read_rights);
  PutU32(record, kDataEnd, 0);
}

ULONG CopyFileNames(FileTable &table, LPSTR out, ULONG *size) {
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
  return CopyNameList(std::span<const char>(list).first(used + 1), out, size);
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

ULONG LookupFileOf(const ApplicationHandle &app, std::string_view name, FileTable &table,
                   std::size_t *index) {
  if (!SelectFileArea(app.hDev, app.AppId)) return SAR_FAIL;
  return LookupFile(app.hDev, app.AppId, name, table, index);
}

ULONG CheckFileArguments(HAPPLICATION handle, const char *name, bool args_ok,
                         const ApplicationHandle *&app) {
  if (!FileNameOk(name) || !args_ok) return SAR_INVALIDPARAMERR;
  app = LiveApplication(handle);
  return app ? SAR_OK : SAR_INVALIDHANDLEERR;
}

ULONG FindAppFile(HAPPLICATION handle, const char *name, bool args_ok, AppFile &file) {
  const ULONG checked = CheckFileArguments(handle, name, args_ok, file.app);
  if (checked != SAR_OK) return checked;
  return LookupFileOf(*file.app, name, file.table, &file.index);
}
