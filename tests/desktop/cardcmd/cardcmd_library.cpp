#include "cardcmd_library.h"

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
