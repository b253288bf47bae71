#include "traywatch/key_libraries.h"

DevNotifyLibrary g_devNotify;
CardCmdLibrary g_cardCmd;

namespace {

template <typename Function>
bool Bind(HMODULE module, const char *name, Function &function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module, name)));
  return function != nullptr;
}

}  // namespace

bool BindDevNotify() {
  if (g_devNotify.Bound()) return true;
  DevNotifyLibrary d;
  d.module = g_devNotify.module ? g_devNotify.module : LoadLibraryA("devnotify.dll");
  g_devNotify.module = d.module;
  if (!d.module || !Bind(d.module, "QX_RegisterCardNotification", d.registerNotification) ||
      !Bind(d.module, "QX_UnregisterCardNotification", d.unregisterNotification) ||
      !Bind(d.module, "QX_IsQXDevice", d.isQXDevice) ||
      !Bind(d.module, "QX_GetReaderList", d.getReaderList) ||
      !Bind(d.module, "QX_DestroyReaderList", d.destroyReaderList)) {
    return false;
  }
  g_devNotify = d;
  return true;
}

bool BindCardCmd() {
  if (g_cardCmd.Bound()) return true;
  CardCmdLibrary c;
  c.module = g_cardCmd.module ? g_cardCmd.module : LoadLibraryA("cardcmd.dll");
  g_cardCmd.module = c.module;
  if (!c.module || !Bind(c.module, "QX_AddCertToIE", c.addCertToIE) ||
      !Bind(c.module, "QX_DelCertFrIE", c.delCertFrIE) ||
      !Bind(c.module, "QX_AddCertToIE_Tip", c.addCertToIETip) ||
      !Bind(c.module, "QX_AddCertToIE_TipEx", c.addCertToIETipEx)) {
    return false;
  }
  g_cardCmd = c;
  return true;
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
