#include "devnotify_library.h"

#include "tests/desktop/support/bind_library.h"

bool BindDevNotify(DevNotify &api) {
  HMODULE module = LoadLibraryA("devnotify.dll");
  if (!module) return false;
  DevNotify bound;
  bound.module = module;
#define BIND(name) BindName(module, #name, bound.name)
  const bool all = BIND(QX_RegisterCardNotification) && BIND(QX_UnregisterCardNotification) &&
                   BIND(QX_IsQXDevice) && BIND(QX_GetReaderList) && BIND(QX_DestroyReaderList);
#undef BIND
  if (!all) {
    FreeLibrary(module);
    return false;
  }
  api = bound;
  return true;
}
