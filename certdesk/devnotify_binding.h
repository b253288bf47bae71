// devnotify.dll bound by name, all or nothing, from the main dialog's start to its close.
#pragma once

#include <windows.h>

#include "platform/devnotify/devnotify.h"

namespace certdesk {

struct DevNotify {
  HMODULE module = nullptr;
  decltype(&QX_RegisterCardNotification) register_notification = nullptr;
  decltype(&QX_UnregisterCardNotification) unregister_notification = nullptr;
  decltype(&QX_IsQXDevice) is_key_device = nullptr;
  // Bound and never called.
  decltype(&QX_GetReaderList) get_reader_list = nullptr;
  decltype(&QX_DestroyReaderList) destroy_reader_list = nullptr;
};

// The process's binding; module is null while unbound.
DevNotify &BoundDevNotify();
// Loads "devnotify.dll" and binds its five names; a miss frees it. True when bound.
bool BindDevNotify();
void FreeDevNotify();

}  // namespace certdesk
