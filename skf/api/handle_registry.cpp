#include "skf/api/handle_registry.h"

#include <mutex>
#include <new>
#include <unordered_map>

namespace {

// Hosts call the exports from several threads.
struct Registry {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, HandleKind> records;
};

// Kept to the end of the process, past any static destruction.
Registry &Records() {
  static Registry *const registry = new Registry;
  return *registry;
}

}  // namespace

bool RegisterHandle(const void *record, HandleKind kind) {
  if (!record) return false;
  Registry &r = Records();
  try {
    const std::lock_guard<std::mutex> guard(r.lock);
    r.records.insert_or_assign(reinterpret_cast<std::uintptr_t>(record), kind);
    return true;
  } catch (const std::bad_alloc &) {
    return false;
  }
}

void *FindHandle(const void *handle, HandleKind kind) {
  if (!handle) return nullptr;
  Registry &r = Records();
  const std::lock_guard<std::mutex> guard(r.lock);
  const auto found = r.records.find(reinterpret_cast<std::uintptr_t>(handle));
  return found != r.records.end() && found->second == kind ? const_cast<void *>(handle) : nullptr;
}
