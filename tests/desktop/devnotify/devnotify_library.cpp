#include "devnotify_library.h"

#include "tests/desktop/support/bind_library.h"

bool BindDevNotify(DevNotify &api) {
  DevNotify bound;
#define BIND(name) BindName(module, #name, bound.name)
  bound.module = LoadAndBind("devnotify.dll", [&](HMODULE module) {
    return BIND(QX_RegisterCardNotification) && BIND(QX_UnregisterCardNotification) &&
           BIND(QX_IsQXDevice) && BIND(QX_GetReaderList) && BIND(QX_DestroyReaderList);
  });
#undef BIND
  if (bound.module) api = bound;
  return bound.module != nullptr;
}
