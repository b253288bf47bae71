// Process-wide binding of readerio: where it lies and its ten entry points.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "skf/card/readerio_api.h"

inline constexpr std::size_t kPathSize = 260;

#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
inline constexpr std::string_view kReaderLibName = "readerio.dll";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr std::string_view kReaderLibName = "readerio.so";
#endif

struct ReaderApiTable {
  void *module;  // nullptr: not bound
  QX_GetReaderList_t QX_GetReaderList;
  QX_DestroyReaderList_t QX_DestroyReaderList;
  QX_ResetCard_t QX_ResetCard;
  QX_GetDescriptor_t QX_GetDescriptor;
  QX_OpenPort_t QX_OpenPort;
  QX_ClosePort_t QX_ClosePort;
  QX_ApduT0_t QX_ApduT0;
  QX_GetDeviceName_t QX_GetDeviceName;
  QX_OpenPath_t QX_OpenPath;
  QX_GetReaderInfo_t QX_GetReaderInfo;
};

// The library's own module handle, recorded at every entry-point call.
extern void *ModuleHandle;
// Full path of readerio; empty when the module path left no room for it (binding then fails).
extern char ReaderLibPath[kPathSize];
// Written once, by the first binding that finds all ten names; readers take it through
// BoundReaderApi.
extern ReaderApiTable ReaderApi;

// The library's process-entry step (reason 1 is process attach). Always 1.
int SetReaderLibPath(void *module, unsigned long reason, void *reserved);

// readerio's path from the module's file name: its folder, the separator and `file_name`; the
// bare `file_name` when the module name is empty. False, with `out` emptied, when it does not
// fit `out` (NUL included).
bool FormReaderLibPath(std::string_view module_file_name, char separator,
                       std::string_view file_name, std::span<char, kPathSize> out);

// Binds the ten names, all or nothing; 0 bound, -1 not (readerio is unloaded again). Threads
// that bind at once make one binding.
int BindReaderApi();
// The binding, from any thread; nullptr while readerio is not bound.
const ReaderApiTable *BoundReaderApi();
