#include "certdesk/device_slots.h"

#include "certdesk/resource_ids.h"

namespace certdesk {

DeviceSlot *DeviceSlots() {
  static DeviceSlot slots[kListedKeys];
  return slots;
}

bool FindCertificate(HTREEITEM item, CertRef *found) {
  if (!item) return false;
  for (int s = 0; s < kListedKeys; ++s) {
    for (int j = 0; j < kPairsPerSlot; ++j) {
      const CertPair &pair = DeviceSlots()[s].pairs[j];
      if (pair.enc_item == item || pair.sign_item == item) {
        *found = {s, j, pair.enc_item == item ? CertKind::kEncryption : CertKind::kSigning};
        return true;
      }
    }
  }
  return false;
}

bool FindSelectedCertificate(HWND dialog, CertRef *found) {
  HWND tree = GetDlgItem(dialog, IDC_CERT_TREE);
  HTREEITEM selected = TreeView_GetSelection(tree);
  if (!selected || !TreeView_GetParent(tree, selected)) return false;
  return FindCertificate(selected, found);
}

PinSelection &SelectedForPin() {
  static PinSelection selection{};
  return selection;
}

}  // namespace certdesk
