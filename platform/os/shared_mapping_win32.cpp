#include "platform/os/os.h"

#include <windows.h>

namespace os {

SharedMapping::SharedMapping(const char *name) : SharedMapping(name, 0) {}

SharedMapping::SharedMapping(const char *name, std::size_t size) {
  HANDLE mapping = size ? CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                             static_cast<DWORD>(size), name)
                        : OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
  if (!mapping) return;
  handle_ = reinterpret_cast<std::intptr_t>(mapping);
  void *view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  MEMORY_BASIC_INFORMATION region{};
  if (view && VirtualQuery(view, &region, sizeof region) == sizeof region && region.RegionSize) {
    view_ = view;
    size_ = region.RegionSize;
  } else if (view) {
    UnmapViewOfFile(view);
  }
}

SharedMapping::~SharedMapping() {
  if (view_) UnmapViewOfFile(view_);
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace os
