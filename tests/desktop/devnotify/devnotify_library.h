// devnotify.dll bound as the desktop programs bind it: by file name and GetProcAddress, every
// name or nothing. (devnotify.h and readerio.h name different functions QX_GetReaderList: a
// file of these tests includes one of them only.)
#pragma once

#include "platform/devnotify/devnotify.h"

struct DevNotify {
  HMODULE module = nullptr;
  decltype(&::QX_RegisterCardNotification) QX_RegisterCardNotification;
  decltype(&::QX_UnregisterCardNotification) QX_UnregisterCardNotification;
  decltype(&::QX_IsQXDevice) QX_IsQXDevice;
  decltype(&::QX_GetReaderList) QX_GetReaderList;
  decltype(&::QX_DestroyReaderList) QX_DestroyReaderList;
};

// Loads "devnotify.dll" and binds the five names; false (and nothing loaded) when one misses.
bool BindDevNotify(DevNotify &api);
