// Dialog 108: the user PIN changed on the key, the new one rated on a three-step meter.
#include <cstring>
#include <initializer_list>

#include "certdesk/cardcmd_binding.h"
#include "certdesk/key_device.h"
#include "certdesk/messages.h"
#include "certdesk/pin_attempt.h"
#include "certdesk/pin_dialogs.h"
#include "certdesk/pin_strength.h"
#include "certdesk/pin_text.h"
#include "certdesk/resource_ids.h"
#include "certdesk/texts.h"

namespace certdesk {

namespace {

constexpr std::size_t kStrongLength = 8;  // shorter new PINs rate weak
constexpr std::uint8_t kChangeSeparator = 0xFF;

// The meter's levels: weak, medium, strong, each a bitmap and a label.
constexpr int kMeter[3][2] = {{IDC_METER_LOW, IDC_METER_LOW_TEXT},
                              {IDC_METER_MEDIUM, IDC_METER_MEDIUM_TEXT},
                              {IDC_METER_HIGH, IDC_METER_HIGH_TEXT}};

// level 0..2 shows that level; -1 hides the meter.
void ShowMeter(HWND dialog, int level) {
  for (int i = 0; i < 3; ++i) {
    for (int id : kMeter[i]) ShowWindow(GetDlgItem(dialog, id), i == level ? SW_SHOW : SW_HIDE);
  }
}

void UpdateMeter(HWND dialog) {
  PinText pin;
  ReadPin(dialog, IDC_NEW_PIN, &pin);
  const int rating = pin.Length() < kStrongLength ? 1 : RatePinStrength(pin.text);
  ShowMeter(dialog, rating <= 1 ? 0 : rating - 1);
}

void UpdateOk(HWND dialog) {
  bool all = true;
  for (int id : {IDC_CURRENT_PIN, IDC_NEW_PIN, IDC_CONFIRM_PIN}) {
    all = all && GetWindowTextLengthA(GetDlgItem(dialog, id)) > 0;
  }
  EnableWindow(GetDlgItem(dialog, IDOK), all);
}

void EmptyAndFocus(HWND dialog, int id) {
  SetDlgItemTextA(dialog, id, "");
  SetFocus(GetDlgItem(dialog, id));
}

void OnInit(HWND dialog) {
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  SetFocus(GetDlgItem(dialog, IDC_CURRENT_PIN));
  for (int id : {IDC_CURRENT_PIN, IDC_NEW_PIN, IDC_CONFIRM_PIN}) {
    SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, kPinEditLimit, 0);
  }
  ShowMeter(dialog, -1);
}

void OnEditChange(HWND dialog, int id) {
  PinText pin;
  ReadPin(dialog, id, &pin);
  if (!OnlyCharacters(pin.text, IsAlphanumeric)) {
    if (id == IDC_NEW_PIN) ShowMeter(dialog, -1);
    ShowMessage(dialog, id == IDC_CURRENT_PIN ? kPinCharacters : kNewPinCharacters, MB_ICONWARNING);
    EmptyAndFocus(dialog, id);
    return;
  }
  if (id == IDC_NEW_PIN) UpdateMeter(dialog);
  UpdateOk(dialog);
}

void OnOk(HWND dialog) {
  PinText current, fresh, confirmation;
  ReadPin(dialog, IDC_CURRENT_PIN, &current);
  ReadPin(dialog, IDC_NEW_PIN, &fresh);
  ReadPin(dialog, IDC_CONFIRM_PIN, &confirmation);
  if (std::strcmp(fresh.text, confirmation.text) != 0) {
    ShowMessage(dialog, kNewPinMismatch, MB_ICONWARNING);
    EmptyAndFocus(dialog, IDC_CONFIRM_PIN);
    return;
  }
  OpenFailure failure = OpenFailure::kNone;
  const std::int32_t handle = OpenForPin(SelectedForPin(), &failure);
  if (failure == OpenFailure::kNotSelected) {
    ShowMessage(dialog, kChangeFailed, MB_ICONWARNING);
    EmptyAndFocus(dialog, IDC_CURRENT_PIN);
    return;
  }
  int result = -1000;
  if (handle) {
    // Current PIN, 0xFF, new PIN.
    std::uint8_t change[sizeof current.text + sizeof fresh.text] = {};
    const std::size_t old_length = current.Length(), new_length = fresh.Length();
    std::memcpy(change, current.text, old_length);
    change[old_length] = kChangeSeparator;
    std::memcpy(change + old_length + 1, fresh.text, new_length);
    const auto length = static_cast<std::int32_t>(old_length + 1 + new_length);
    result = BoundCardCmd().change_pin(handle, length, change);
    SecureZeroMemory(change, sizeof change);
    CloseKeyDevice(handle);
  }
  if (result == 0 || result == -1) {
    ShowMessage(dialog, result == 0 ? kChangeDone : kKeyLocked,
                result == 0 ? MB_ICONINFORMATION : MB_ICONWARNING);
    EndDialog(dialog, IDOK);
    return;
  }
  ShowMeter(dialog, -1);
  ShowPinResult(dialog, result, kChangeFailed);
  EmptyAndFocus(dialog, IDC_CURRENT_PIN);
}

void OnCommand(HWND dialog, int id, int code) {
  if (id == IDC_CURRENT_PIN || id == IDC_NEW_PIN || id == IDC_CONFIRM_PIN) {
    if (code == EN_CHANGE) OnEditChange(dialog, id);
  } else if (id == IDOK && code == BN_CLICKED) {
    OnOk(dialog);
  } else if (id == IDCANCEL && code == BN_CLICKED) {
    EndDialog(dialog, IDCANCEL);
  }
}

}  // namespace

INT_PTR CALLBACK ChangePinDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) OnInit(dialog);
  if (message == WM_COMMAND) OnCommand(dialog, LOWORD(wparam), HIWORD(wparam));
  return 0;
}

}  // namespace certdesk
