// devnotify and cardcmd, the maker's libraries traywatch loads by file name and binds by name,
// all or nothing. Process-wide: one monitor a process.
#pragma once

#include <windows.h>

#include "platform/cardcmd/cardcmd.h"
#include "platform/devnotify/devnotify.h"

struct DevNotifyLibrary {
  HMODULE module = nullptr;  // nullptr while not bound
  decltype(&QX_RegisterCardNotification) registerNotification = nullptr;
  decltype(&QX_UnregisterCardNotification) unregisterNotification = nullptr;
  decltype(&QX_IsQXDevice) isQXDevice = nullptr;
  decltype(&QX_GetReaderList) getReaderList = nullptr;
  decltype(&QX_DestroyReaderList) destroyReaderList = nullptr;

  bool Bound() const {
    return module && registerNotification && unregisterNotification && isQXDevice &&
           getReaderList && destroyReaderList;
  }
};

struct CardCmdLibrary {
  HMODULE module = nullptr;  // nullptr while not bound
  decltype(&QX_AddCertToIE) addCertToIE = nullptr;
  decltype(&QX_DelCertFrIE) delCertFrIE = nullptr;
  decltype(&QX_AddCertToIE_Tip) addCertToIETip = nullptr;      // bound, never called
  decltype(&QX_AddCertToIE_TipEx) addCertToIETipEx = nullptr;  // bound, never called

  bool Bound() const {
    return module && addCertToIE && delCertFrIE && addCertToIETip && addCertToIETipEx;
  }
};

extern DevNotifyLibrary g_devNotify;
extern CardCmdLibrary g_cardCmd;

// Loads and binds the library unless it is bound; false when the file or a name is missing
// (a library found without all its names stays loaded, unbound, until FreeKeyLibraries).
bool BindDevNotify();
bool BindCardCmd();
// Both libraries bound: key events can be handled.
bool KeyLibrariesBound();
// Frees whichever library is loaded and forgets its operations.
void FreeKeyLibraries();

// The reader names of devnotify's list of readers with a key (name i at list[0] + 260 * i).
class ReaderList {
 public:
  ReaderList();
  ~ReaderList();
  ReaderList(const ReaderList &) = delete;
  ReaderList &operator=(const ReaderList &) = delete;

  int Count() const { return count_; }
  const char *Name(int index) const;

 private:
  char **list_ = nullptr;
  int32_t count_ = 0;
};
