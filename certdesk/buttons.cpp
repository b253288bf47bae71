#include "certdesk/buttons.h"

#include <initializer_list>

#include "certdesk/resource_ids.h"

namespace certdesk {

void EnableCommands(HWND dialog, Selected selected) {
  const bool certificate = selected == Selected::kCertificate;
  for (int id : {IDC_VIEW_CERT, IDC_CHANGE_PIN, IDC_VERIFY_PIN, IDC_REGISTER_CERTS}) {
    EnableWindow(GetDlgItem(dialog, id), certificate);
  }
  EnableWindow(GetDlgItem(dialog, IDC_INITIALISE), selected == Selected::kKey);
}

}  // namespace certdesk
