#include "certdesk/device_commands.h"

#include "certdesk/bind_by_name.h"
#include "certdesk/cardcmd_binding.h"
#include "certdesk/device_slots.h"
#include "certdesk/key_device.h"
#include "certdesk/messages.h"
#include "certdesk/texts.h"
#include "skf/include/skf.h"

namespace certdesk {

namespace {

// The device authentication key that formatting installs: the factory default of SKF keys,
// so a key initialised here still answers the usual default key afterwards.
char kFormatDeviceKey[] = "1234567812345678";

// tokenbase stays loaded from the first initialise command until the process ends.
struct TokenBase {
  HMODULE module = nullptr;
  decltype(&SKF_FormatCard) format_card = nullptr;
};

decltype(&SKF_FormatCard) BindFormatCard() {
  static TokenBase tokenbase;
  LoadBinding(tokenbase, "tokenbase.dll",
              [](TokenBase &b) { return BindName(b.module, "SKF_FormatCard", b.format_card); });
  return tokenbase.format_card;
}

}  // namespace

void RegisterCertificates(HWND dialog) {
  CertRef ref{};
  if (!FindSelectedCertificate(dialog, &ref)) return;
  const std::int32_t handle = OpenKeyDevice(ref.slot);
  if (handle == 0) return;
  const std::int32_t stored = BoundCardCmd().store_cert(0, handle, 0, 0, 0);
  CloseKeyDevice(handle);
  ShowMessage(dialog, stored > 0 ? kRegisterDone : kRegisterFailed, MB_ICONWARNING);
}

void InitialiseDevice(HWND dialog) {
  const auto format = BindFormatCard();
  if (!format) {
    ShowMessage(dialog, kFormatLibraryMissing, MB_ICONWARNING);
    return;
  }
  if (ShowMessage(dialog, kFormatWarning, MB_YESNO | MB_ICONWARNING) != IDYES) return;
  if (format(kFormatDeviceKey) == SAR_OK) {
    ShowMessage(dialog, kFormatDone, MB_ICONINFORMATION);
  } else {
    ShowMessage(dialog, kFormatFailed, MB_ICONWARNING);
  }
}

}  // namespace certdesk
