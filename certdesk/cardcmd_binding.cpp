#include "certdesk/cardcmd_binding.h"

#include "certdesk/bind_by_name.h"

namespace certdesk {

CardCmd &BoundCardCmd() {
  static CardCmd bound;
  return bound;
}

bool BindCardCmd() {
  return LoadBinding(BoundCardCmd(), "cardcmd.dll", [](CardCmd &b) {
    const HMODULE m = b.module;
    return BindName(m, "QX_Open", b.open) && BindName(m, "QX_Close", b.close) &&
           BindName(m, "QX_IC_RESET", b.reset) && BindName(m, "QX_GET_SN", b.get_sn) &&
           BindName(m, "QX_StoreCert", b.store_cert) && BindName(m, "Read_Binary", b.read_binary) &&
           BindName(m, "Select_File", b.select_file) &&
           BindName(m, "Update_Binary", b.update_binary) &&
           BindName(m, "QX_DeleteCert", b.delete_cert) &&
           BindName(m, "QX_GET_BCDSN", b.get_bcdsn) && BindName(m, "QX_ClearDir", b.clear_dir) &&
           BindName(m, "QX_VerifyPinUpDatePinInfoFile", b.verify_pin) &&
           BindName(m, "QX_ChangePin", b.change_pin) &&
           BindName(m, "QX_AddCertToIE", b.add_cert_to_store) &&
           BindName(m, "QX_DelCertFrIE", b.del_cert_from_store);
  });
}

void FreeCardCmd() { FreeBinding(BoundCardCmd()); }

}  // namespace certdesk
