#include "traywatch/shared_mappings.h"

#include <cstring>

namespace {

// Maps exactly `size` bytes, so that a smaller mapping fails here instead of being written
// past its end.
bool ZeroView(HANDLE mapping, DWORD size) {
  void *view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, size);
  if (!view) return false;
  std::memset(view, 0, size);
  FlushViewOfFile(view, size);
  UnmapViewOfFile(view);
  return true;
}

}  // namespace

HANDLE CreateZeroedMapping(const char *name, DWORD size) {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
  if (mapping) ZeroView(mapping, size);
  return mapping;
}

int ClearPinCache() {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kPinMappingName);
  if (!mapping) return -1;
  const bool cleared = ZeroView(mapping, kPinCacheBytes);
  CloseHandle(mapping);
  return cleared ? 0 : -1;
}
