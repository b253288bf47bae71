#include "skf/card/binding.h"

#include <atomic>
#include <mutex>

#include "platform/os/os.h"

ReaderApiTable ReaderApi = {};

namespace {

// Set, after ReaderApi is written, by the binding that wrote it.
std::atomic<bool> Bound{false};

std::mutex &BindingLock() {
  static std::mutex *const lock = new std::mutex;
  return *lock;
}

template <typename Fn>
bool Find(void *module, const char *name, Fn &slot) {
  slot = reinterpret_cast<Fn>(os::LibrarySymbol(module, name));
  return slot != nullptr;
}

}  // namespace

const ReaderApiTable *BoundReaderApi() {
  return Bound.load(std::memory_order_acquire) && ReaderApi.module ? &ReaderApi : nullptr;
}

int BindReaderApi() {
  if (BoundReaderApi()) return 0;
  const std::lock_guard<std::mutex> guard(BindingLock());
  if (BoundReaderApi()) return 0;  // bound by another thread meanwhile
  if (ReaderLibPath[0] == '\0') return -1;
  void *module = os::OpenLibrary(ReaderLibPath);
  if (!module) return -1;
  ReaderApiTable api = {};
  api.module = module;
  const bool all = Find(module, "QX_GetReaderList", api.QX_GetReaderList) &&
                   Find(module, "QX_DestroyReaderList", api.QX_DestroyReaderList) &&
                   Find(module, "QX_ResetCard", api.QX_ResetCard) &&
                   Find(module, "QX_GetDescriptor", api.QX_GetDescriptor) &&
                   Find(module, "QX_OpenPort", api.QX_OpenPort) &&
                   Find(module, "QX_ClosePort", api.QX_ClosePort) &&
                   Find(module, "QX_ApduT0", api.QX_ApduT0) &&
                   Find(module, "QX_GetDeviceName", api.QX_GetDeviceName) &&
                   Find(module, "QX_OpenPath", api.QX_OpenPath) &&
                   Find(module, "QX_GetReaderInfo", api.QX_GetReaderInfo);
  if (!all) {
    os::CloseLibrary(module);
    return -1;
  }
  ReaderApi = api;
  Bound.store(true, std::memory_order_release);
  return 0;
}
