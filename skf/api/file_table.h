// The file table of an application and the lookup the file exports share.
#pragma once

#include <string_view>

#include "skf.h"
#include "skf/api/directory.h"
#include "skf/api/state.h"

inline constexpr ULONG kFileSizeMax = 32768;
inline constexpr std::uint32_t kFileSlack = 64;  // data EFs are this much larger than asked

struct FileRecordView {
  std::span<std::uint8_t> bytes;
  bool Exists() const { return bytes[kFileExist] != 0; }
  bool Allocated() const { return bytes[kFileAllocated] != 0; }
  std::string_view Name() const { return FieldText(bytes, kFileName, kFileNameField); }
  std::uint32_t FileLen() const { return GetU32(bytes, kFileLen); }
};

// The argument check of a file name: 1..32 characters.
bool FileNameOk(const char *name);
// The handle's record when neither it nor its DEVHANDLE is NULL, else nullptr.
ApplicationHandle *LiveApplication(HAPPLICATION handle);
// MF, DF AD0n, then the file area when the application has one.
bool SelectFileArea(DEVHANDLE device, std::uint32_t app_id);
// With the file area selected: EF02 and the file table.
bool ReadFileTable(DEVHANDLE device, FileTable &table);
// Index of the first live record named `name`, or -1.
int FindFile(FileTable &table, std::string_view name);
// A record taken for a new file: live, allocated, the name, the rights and DataEnd 0.
void FillFileRecord(std::span<std::uint8_t> record, const char *name, ULONG read_rights,
                    ULONG write_rights);
// The names of the live records as a multi-string, under the output rule of the exports.
ULONG CopyFileNames(FileTable &table, LPSTR out, ULONG *size);
// The first freed record whose data EF is still on the card and holds `size` + 4 bytes or
// more (FileLen compared as signed), or -1.
int ReusableRecord(FileTable &table, ULONG size);

// The common lookup: the file area's table first, then the application DF's own. SAR_OK with
// the record index and its table (whose EF is the current EF), SAR_FILE_NOT_EXIST or SAR_FAIL.
ULONG LookupFile(DEVHANDLE device, std::uint32_t app_id, std::string_view name, FileTable &table,
                 std::size_t *index);
// The application's file area selected (MF, DF AD0n, DFEA when there is one), then the common
// lookup.
ULONG LookupFileOf(const ApplicationHandle &app, std::string_view name, FileTable &table,
                   std::size_t *index);

// The argument checks of the exports on a named file, in their order: SAR_INVALIDPARAMERR when
// the name fails FileNameOk or `args_ok` (the export's other arguments) is false, then
// SAR_INVALIDHANDLEERR without a live application; SAR_OK with `app` set.
ULONG CheckFileArguments(HAPPLICATION handle, const char *name, bool args_ok,
                         const ApplicationHandle *&app);

// A file that an export found: its application, its table and its record's index.
struct AppFile {
  const ApplicationHandle *app = nullptr;
  FileTable table;
  std::size_t index = 0;
  FileRecordView Record() { return {FileRecord(table, index)}; }
};
// CheckFileArguments, then the file looked up with LookupFileOf.
ULONG FindAppFile(HAPPLICATION handle, const char *name, bool args_ok, AppFile &file);
