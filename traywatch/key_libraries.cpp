#include "traywatch/key_libraries.h"

#include "platform/os/bind_name.h"

DevNotifyLibrary g_devNotify;
CardCmdLibrary g_cardCmd;

namespace {

// Loads `file` into `bound` unless it is bound, and binds its names with `bind_all`; the module
// stays in `bound` when a name is missing.
template <typename Library, typename BindAll>
bool LoadAndBind(Library &bound, const char *file, BindAll bind_all) {
  if (bound.Bound()) return true;
  Library loaded;
  loaded.module = bound.module ? bound.module : LoadLibraryA(file);
  bound.module = loaded.module;
  if (!loaded.module || !bind_all(loaded)) return false;
  bound = loaded;
  return true;
}

}  // namespace

bool BindDevNotify() {
  return LoadAndBind(g_devNotify, "devnotify.dll", [](DevNotifyLibrary &d) {
    return BindName(d.module, "QX_RegisterCardNotification", d.registerNotification) &&
           BindName(d.module, "QX_UnregisterCardNotification", d.unregisterNotification) &&
           BindName(d.module, "QX_IsQXDevice", d.isQXDevice) &&
           BindName(d.module, "QX_GetReaderList", d.getReaderList) &&
           BindName(d.module, "QX_DestroyReaderList", d.destroyReaderList);
  });
}

bool BindCardCmd() {
  return LoadAndBind(g_cardCmd, "cardcmd.dll", [](CardCmdLibrary &c) {
    return BindName(c.module, "QX_AddCertToIE", c.addCertToIE) &&
           BindName(c.module, "QX_DelCertFrIE", c.delCertFrIE) &&
           BindName(c.module, "QX_AddCertToIE_Tip", c.addCertToIETip) &&
           BindName(c.module, "QX_AddCertToIE_TipEx", c.addCertToIETipEx);
  });
}

bool KeyLibrariesBound() { return g_devNotify.Bound() && g_cardCmd.Bound(); }

void FreeKeyLibraries() {
  if (g_devNotify.module) FreeLibrary(g_devNotify.module);
  if (g_cardCmd.module) FreeLibrary(g_cardCmd.module);
  g_devNotify = {};
  g_cardCmd = {};
}

ReaderList::ReaderList() {
  if (g_devNotify.Bound()) list_ = g_devNotify.getReaderList(&count_, 0);
  if (!list_ || !list_[0] || count_ < 0) count_ = 0;
}

ReaderList::~ReaderList() {
  if (list_ && g_devNotify.Bound()) g_devNotify.destroyReaderList(list_);
}

const char *ReaderList::Name(int index) const { return list_[0] + DEVNOTIFY_NAME_SLOT * index; }
