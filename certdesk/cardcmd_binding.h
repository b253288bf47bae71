// cardcmd.dll bound by name, all or nothing, for the span of one key's use.
#pragma once

#include <windows.h>

#include "platform/cardcmd/cardcmd.h"

namespace certdesk {

struct CardCmd {
  HMODULE module = nullptr;
  decltype(&QX_Open) open = nullptr;
  decltype(&QX_Close) close = nullptr;
  decltype(&QX_IC_RESET) reset = nullptr;
  decltype(&QX_StoreCert) store_cert = nullptr;
  decltype(&Read_Binary) read_binary = nullptr;
  decltype(&Select_File) select_file = nullptr;
  decltype(&QX_GET_BCDSN) get_bcdsn = nullptr;
  decltype(&QX_VerifyPinUpDatePinInfoFile) verify_pin = nullptr;
  decltype(&QX_ChangePin) change_pin = nullptr;
  decltype(&QX_AddCertToIE) add_cert_to_store = nullptr;
  decltype(&QX_DelCertFrIE) del_cert_from_store = nullptr;
  // Bound and never called.
  decltype(&QX_GET_SN) get_sn = nullptr;
  decltype(&Update_Binary) update_binary = nullptr;
  decltype(&QX_DeleteCert) delete_cert = nullptr;
  decltype(&QX_ClearDir) clear_dir = nullptr;
};

// The process's binding; module is null while unbound.
CardCmd &BoundCardCmd();
// Loads "cardcmd.dll" and binds the fifteen names; a miss frees it. True when bound.
bool BindCardCmd();
void FreeCardCmd();

}  // namespace certdesk
