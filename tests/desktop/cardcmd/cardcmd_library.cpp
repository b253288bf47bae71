#include "cardcmd_library.h"

#include "readerio.h"
#include "tests/desktop/support/bind_library.h"

bool BindCardCmd(CardCmd &api) {
  CardCmd bound;
#define BIND(name) BindName(module, #name, bound.name)
  bound.module = LoadAndBind("cardcmd.dll", [&](HMODULE module) {
    return BIND(QX_Open) && BIND(QX_Close) && BIND(QX_IC_RESET) && BIND(QX_GET_SN) &&
           BIND(QX_GET_BCDSN) && BIND(Select_File) && BIND(Read_Binary) && BIND(Update_Binary) &&
           BIND(QX_DeleteCert) && BIND(QX_ClearDir) && BIND(QX_VerifyPinUpDatePinInfoFile) &&
           BIND(QX_ChangePin) && BIND(QX_StoreCert) && BIND(QX_AddCertToIE) &&
           BIND(QX_AddCertToIE_Tip) && BIND(QX_AddCertToIE_TipEx) && BIND(QX_DelCertFrIE);
  });
#undef BIND
  if (bound.module) api = bound;
  return bound.module != nullptr;
}

std::int32_t DeviceIndexOfReader(const std::string &reader) {
  std::uint32_t count = 0;
  char **list = ::QX_GetReaderList(&count, 0);
  std::int32_t index = -1;
  for (std::uint32_t i = 0; list && i < count; ++i) {
    if (reader == list[i]) index = static_cast<std::int32_t>(i);
  }
  if (list) ::QX_DestroyReaderList(list);
  return index;
}
