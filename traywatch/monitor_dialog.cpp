#include "traywatch/monitor_dialog.h"

#include <dbt.h>

#include "platform/mfc/text.h"
#include "platform/os/i686_size.h"
#include "traywatch/device_event.h"
#include "traywatch/key_libraries.h"
#include "traywatch/program_folder.h"
#include "traywatch/resource_ids.h"
#include "traywatch/shared_mappings.h"

namespace {

constexpr char kTip[] = "SM2 数字证书用户工具";
constexpr char kArrived[] = "USBKey已经插入。";
constexpr char kImportedLine[] = "\n有%d张证书导入到IE中。";
constexpr char kRemoved[] = "USBKey已经被拔出";
constexpr char kBalloonTitle[] = "提示";
constexpr UINT kBalloonMs = 3000;
constexpr int kIconAttempts = 20;
constexpr DWORD kIconRetryMs = 500;

// Both stay open until the process ends, so the mappings live as long as traywatch.
HANDLE g_keyMapping = nullptr;
HANDLE g_pinMapping = nullptr;

}  // namespace

BEGIN_MESSAGE_MAP(MonitorDialog, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_COMMAND(ID_OPEN_MANAGER, OnOpenManager)
ON_COMMAND(ID_EXIT, OnExit)
ON_MESSAGE(kTrayCallbackMessage, OnTrayNotify)
ON_WM_DEVICECHANGE()
END_MESSAGE_MAP()

MonitorDialog::MonitorDialog()
    : CDialog(IDD_TRAYWATCH),
      icon_(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TRAYWATCH))) {}

BOOL MonitorDialog::OnInitDialog() {
  CDialog::OnInitDialog();

  CMenu system_menu = GetSystemMenu(FALSE);
  CString about;
  if (system_menu.m_hMenu && about.LoadString(IDS_ABOUTBOX)) {
    system_menu.AppendMenu(MF_SEPARATOR);
    system_menu.AppendMenu(MF_STRING, kAboutCommand, about);
  }
  SetIcon(icon_, TRUE);
  SetIcon(icon_, FALSE);

  // A tool window has no task-bar button; minimising hides it for good.
  ShowWindow(SW_HIDE);
  SetWindowLongA(m_hWnd, GWL_EXSTYLE, WS_EX_TOOLWINDOW);
  ShowWindow(SW_SHOWNORMAL);
  PostMessage(WM_SYSCOMMAND, SC_MINIMIZE);

  g_keyMapping = CreateZeroedMapping(kKeyMappingName, kKeyMappingSize);
  if (!g_keyMapping) return TRUE;

  if (!BindDevNotify() || !BindCardCmd() || !g_devNotify.registerNotification(m_hWnd, 0)) {
    FreeKeyLibraries();
    return FALSE;
  }

  bool keys_present = false;
  {
    ReaderList readers;
    keys_present = readers.Count() > 0;
    for (int i = 0; i < readers.Count(); ++i) {
      char out[CARDCMD_OUT_BUFFER] = {};
      g_cardCmd.addCertToIE(0, readers.Name(i), 0, 0, 0, 0, 0, out);
    }
  }

  g_pinMapping = CreateZeroedMapping(kPinMappingName, kPinMappingSize);
  if (!g_pinMapping) return TRUE;

  for (int attempt = 0; attempt < kIconAttempts; ++attempt) {
    if (tray_icon_.Add(this, kTrayCallbackMessage, kTip, icon_, IDR_TRAYMENU)) break;
    Sleep(kIconRetryMs);
  }
  tray_icon_.Reveal();
  if (keys_present) {
    tray_icon_.Reveal();
  } else {
    tray_icon_.Conceal();
  }
  return TRUE;
}

void MonitorDialog::OnSysCommand(UINT id, LPARAM lParam) {
  const UINT command = id & 0xFFF0;
  if (command == SC_MAXIMIZE || command == SC_MINIMIZE) {
    ShowWindow(SW_HIDE);
  } else {
    CDialog::OnSysCommand(id, lParam);
  }
}

void MonitorDialog::OnPaint() {
  if (!IsIconic()) {
    CDialog::OnPaint();
    return;
  }
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
  RECT client;
  GetClientRect(&client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(m_hWnd, &paint);
}

HCURSOR MonitorDialog::OnQueryDragIcon() { return static_cast<HCURSOR>(icon_); }

LRESULT MonitorDialog::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
  return tray_icon_.HandleCallback(wParam, lParam);
}

// certdesk.exe from traywatch's own folder. A missing program fails without a message.
void MonitorDialog::OnOpenManager() {
  const CString path = BesideProgram("certdesk.exe", MAX_PATH);
  if (path.IsEmpty()) return;
  SHELLEXECUTEINFOA info{};
  static_assert(IsI686Size(sizeof info, 60));
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = path;
  info.lpParameters = "";
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExA(&info);
}

void MonitorDialog::OnExit() { OnOK(); }

BOOL MonitorDialog::OnDeviceChange(UINT event, DWORD_PTR record) {
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return TRUE;
  // Records of other kinds, and events while the libraries are not bound, are not ours.
  const char *name = DeviceInterfaceName(static_cast<LPARAM>(record));
  if (!name || !KeyLibrariesBound() || !g_devNotify.isQXDevice(name)) return TRUE;
  if (event == DBT_DEVICEARRIVAL) {
    OnKeyArrived(name);
  } else {
    OnKeyRemoved(name);
  }
  return TRUE;
}

void MonitorDialog::OnKeyArrived(const char *name) {
  tray_icon_.Reveal();
  char out[CARDCMD_OUT_BUFFER] = {};
  const int imported = g_cardCmd.addCertToIE(0, name, 0, 0, 0, 0, 0, out);
  CString message = kArrived;
  if (imported > 0) {
    CString line;
    line.Format(kImportedLine, imported);
    message += line;
  }
  ClearPinCache();
  ShowBalloon(message);
}

void MonitorDialog::OnKeyRemoved(const char *name) {
  char out[CARDCMD_OUT_BUFFER] = {};
  g_cardCmd.delCertFrIE(0, name, 0, 0, out);
  ShowBalloon(kRemoved);
  ClearPinCache();
  ReaderList readers;
  if (readers.Count() > 0) {
    tray_icon_.Reveal();
  } else {
    tray_icon_.Conceal();
  }
}

void MonitorDialog::ShowBalloon(const char *text) {
  tray_icon_.Balloon(text, kBalloonTitle, kBalloonMs, NIIF_INFO);
  Sleep(kBalloonMs);
  tray_icon_.Balloon("", "", kBalloonMs, NIIF_INFO);
}

BOOL MonitorDialog::DestroyWindow() {
  if (g_devNotify.Bound()) g_devNotify.unregisterNotification();
  FreeKeyLibraries();
  return CDialog::DestroyWindow();
}
