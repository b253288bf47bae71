#include "certdesk/cardcmd_binding.h"

#include "certdesk/bind_by_name.h"

namespace certdesk {

CardCmd &BoundCardCmd() {
  static CardCmd bound;
  return bound;
}

bool BindCardCmd() {
  CardCmd &c = BoundCardCmd();
  if (c.module) return true;
  CardCmd b;
  b.module = LoadLibraryA("cardcmd.dll");
  if (!b.module) return false;
  const bool all =
      BindName(b.module, "QX_Open", b.open) && BindName(b.module, "QX_Close", b.close) &&
      BindName(b.module, "QX_IC_RESET", b.reset) && BindName(b.module, "QX_GET_SN", b.get_sn) &&
      BindName(b.module, "QX_StoreCert", b.store_cert) &&
      BindName(b.module, "Read_Binary", b.read_binary) &&
      BindName(b.module, "Select_File", b.select_file) &&
      BindName(b.module, "Update_Binary", b.update_binary) &&
      BindName(b.module, "QX_DeleteCert", b.delete_cert) &&
      BindName(b.module, "QX_GET_BCDSN", b.get_bcdsn) &&
      BindName(b.module, "QX_ClearDir", b.clear_dir) &&
      BindName(b.module, "QX_VerifyPinUpDatePinInfoFile", b.verify_pin) &&
      BindName(b.module, "QX_ChangePin", b.change_pin) &&
      BindName(b.module, "QX_AddCertToIE", b.add_cert_to_store) &&
      BindName(b.module, "QX_DelCertFrIE", b.del_cert_from_store);
  if (!all) {
    FreeLibrary(b.module);
    return false;
  }
  c = b;
  return true;
}

void FreeCardCmd() {
  CardCmd &c = BoundCardCmd();
  if (c.module) FreeLibrary(c.module);
  c = CardCmd{};
}

}  // namespace certdesk
