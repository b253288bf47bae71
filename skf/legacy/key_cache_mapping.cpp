#include "skf/legacy/key_cache_mapping.h"

#include <algorithm>
#include <cstring>

#include "platform/os/os.h"

int ClearKeyCacheMapping() {
  os::SharedMapping mapping(kKeyCacheMappingName);
  const auto view = mapping.View();
  if (view.empty()) return -1;
  std::memset(view.data(), 0, std::min(view.size(), kKeyCacheClearedSize));
  return 0;
}
