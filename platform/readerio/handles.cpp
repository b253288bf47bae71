// Handle registry.
#include <map>

#include "device.h"

namespace readerio {

namespace {
std::mutex registry_lock;
std::map<uintptr_t, std::shared_ptr<Device>> registry;
uintptr_t next_handle = 0x5100;
}  // namespace

void *register_device(std::shared_ptr<Device> dev) {
  std::lock_guard g(registry_lock);
  uintptr_t h = next_handle;
  next_handle += 4;
  if (next_handle == 0) next_handle = 0x5100;
  registry.emplace(h, std::move(dev));
  return reinterpret_cast<void *>(h);
}

std::shared_ptr<Device> find_device(void *handle) {
  std::lock_guard g(registry_lock);
  auto it = registry.find(reinterpret_cast<uintptr_t>(handle));
  return it == registry.end() ? nullptr : it->second;
}

std::shared_ptr<Device> release_device(void *handle) {
  std::lock_guard g(registry_lock);
  auto it = registry.find(reinterpret_cast<uintptr_t>(handle));
  if (it == registry.end()) return nullptr;
  auto dev = std::move(it->second);
  registry.erase(it);
  return dev;
}

}  // namespace readerio
