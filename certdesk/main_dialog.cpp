#include "certdesk/main_dialog.h"

#include <commctrl.h>
#include <dbt.h>

#include <cstddef>
#include <cstring>

#include "certdesk/buttons.h"
#include "certdesk/cert_tree.h"
#include "certdesk/cert_viewer.h"
#include "certdesk/device_commands.h"
#include "certdesk/device_slots.h"
#include "certdesk/devnotify_binding.h"
#include "certdesk/pin_dialogs.h"
#include "certdesk/resource_ids.h"

namespace certdesk {

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

void MainOnInitDialog(HWND dialog) {
  SendMessageA(dialog, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(LoadIconA(Instance(), MAKEINTRESOURCEA(IDI_CERTDESK))));
  EnableCommands(dialog, Selected::kNothing);
  FillCertTree(dialog);
  if (!BindDevNotify()) return;
  BoundDevNotify().register_notification(dialog, 0);
}

void MainClose(HWND dialog) {
  if (BoundDevNotify().module) {
    BoundDevNotify().unregister_notification();
    FreeDevNotify();
  }
  PostQuitMessage(0);
  EndDialog(dialog, 0);
}

// The device-interface name of a broadcast record, or null when the record is of another
// kind or holds no terminated name within its size.
const char *InterfaceName(LPARAM record) {
  const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(record);
  constexpr std::size_t kName = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
  if (!header || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
      header->dbch_size <= kName) {
    return nullptr;
  }
  const char *name = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A *>(header)->dbcc_name;
  return std::memchr(name, '\0', header->dbch_size - kName) ? name : nullptr;
}

void MainOnDeviceChange(HWND dialog, WPARAM event, LPARAM record) {
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return;
  const char *name = InterfaceName(record);
  if (name && BoundDevNotify().module && BoundDevNotify().is_key_device(name) != 0) {
    FillCertTree(dialog);
  }
}

void MainOnTreeDoubleClick(HWND dialog) {
  HWND tree = GetDlgItem(dialog, IDC_CERT_TREE);
  HTREEITEM selected = TreeView_GetSelection(tree);
  if (selected && TreeView_GetParent(tree, selected)) ViewCertificate(dialog, selected);
}

void RunPinDialog(HWND dialog, int template_id, DLGPROC procedure) {
  CertRef ref{};
  if (!FindSelectedCertificate(dialog, &ref)) return;
  SelectedForPin() = {ref.slot, ref.pair};
  DialogBoxParamA(Instance(), MAKEINTRESOURCEA(template_id), dialog, procedure, 0);
}

void MainOnCommand(HWND dialog, int id) {
  switch (id) {
    case IDC_VIEW_CERT:
      ViewCertificate(dialog, nullptr);
      break;
    case IDC_CHANGE_PIN:
      RunPinDialog(dialog, IDD_CHANGE_PIN, ChangePinDlgProc);
      break;
    case IDC_INITIALISE:
      InitialiseDevice(dialog);
      break;
    case IDC_EXIT:
      MainClose(dialog);
      break;
    case IDC_VERIFY_PIN:
      RunPinDialog(dialog, IDD_VERIFY_PIN, VerifyPinDlgProc);
      break;
    case IDC_REGISTER_CERTS:
      RegisterCertificates(dialog);
      break;
    default:
      break;
  }
}

void MainOnNotify(HWND dialog, const NMHDR *header) {
  if (!header || header->idFrom != IDC_CERT_TREE) return;
  if (header->code == TVN_SELCHANGEDA || header->code == TVN_SELCHANGEDW) {
    UpdateButtons(dialog);
  } else if (header->code == NM_DBLCLK) {
    MainOnTreeDoubleClick(dialog);
  }
}

}  // namespace

INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      MainOnInitDialog(dialog);
      return 0;
    case WM_COMMAND:
      MainOnCommand(dialog, LOWORD(wparam));
      return 0;
    case WM_NOTIFY:
      MainOnNotify(dialog, reinterpret_cast<const NMHDR *>(lparam));
      return 0;
    case WM_CLOSE:
      MainClose(dialog);
      return 0;
    case WM_DEVICECHANGE:
      MainOnDeviceChange(dialog, wparam, lparam);
      SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);  // also what the sender gets back
      return TRUE;
    case kMainPingMessage:
      SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 1);
      return 1;
    case kMainRefreshMessage:
      if (lparam == 32 || lparam == 64 || lparam == 128 || lparam == 256) FillCertTree(dialog);
      return 0;
    default:
      return 0;
  }
}

}  // namespace certdesk
