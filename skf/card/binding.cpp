#include "platform/os/os.h"
#include "skf/card/binding.h"

ReaderApiTable ReaderApi = {};

namespace {

template <typename Fn>
bool Find(void *module, const char *name, Fn &slot) {
  slot = reinterpret_cast<Fn>(os::LibrarySymbol(module, name));
  return slot != nullptr;
}

}  // namespace

int BindReaderApi() {
  if (ReaderApi.module) return 0;
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
  return 0;
}
