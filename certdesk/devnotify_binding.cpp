#include "certdesk/devnotify_binding.h"

#include "certdesk/bind_by_name.h"

namespace certdesk {

DevNotify &BoundDevNotify() {
  static DevNotify bound;
  return bound;
}

bool BindDevNotify() {
  return LoadBinding(BoundDevNotify(), "devnotify.dll", [](DevNotify &b) {
    const HMODULE m = b.module;
    return BindName(m, "QX_RegisterCardNotification", b.register_notification) &&
           BindName(m, "QX_UnregisterCardNotification", b.unregister_notification) &&
           BindName(m, "QX_IsQXDevice", b.is_key_device) &&
           BindName(m, "QX_GetReaderList", b.get_reader_list) &&
           BindName(m, "QX_DestroyReaderList", b.destroy_reader_list);
  });
}

void FreeDevNotify() { FreeBinding(BoundDevNotify()); }

}  // namespace certdesk
