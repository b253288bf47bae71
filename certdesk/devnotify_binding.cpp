#include "certdesk/devnotify_binding.h"

#include "certdesk/bind_by_name.h"

namespace certdesk {

DevNotify &BoundDevNotify() {
  static DevNotify bound;
  return bound;
}

bool BindDevNotify() {
  DevNotify &d = BoundDevNotify();
  if (d.module) return true;
  DevNotify b;
  b.module = LoadLibraryA("devnotify.dll");
  if (!b.module) return false;
  if (!BindName(b.module, "QX_RegisterCardNotification", b.register_notification) ||
      !BindName(b.module, "QX_UnregisterCardNotification", b.unregister_notification) ||
      !BindName(b.module, "QX_IsQXDevice", b.is_key_device) ||
      !BindName(b.module, "QX_GetReaderList", b.get_reader_list) ||
      !BindName(b.module, "QX_DestroyReaderList", b.destroy_reader_list)) {
    FreeLibrary(b.module);
    return false;
  }
  d = b;
  return true;
}

void FreeDevNotify() {
  DevNotify &d = BoundDevNotify();
  if (d.module) FreeLibrary(d.module);
  d = DevNotify{};
}

}  // namespace certdesk
