// Dialog 112: the user PIN, typed or entered on the shuffled on-screen keyboard, verified on
// the key.
#include <cstring>
#include <initializer_list>

#include "certdesk/cardcmd_binding.h"
#include "certdesk/key_device.h"
#include "certdesk/messages.h"
#include "certdesk/onscreen_keyboard.h"
#include "certdesk/pin_attempt.h"
#include "certdesk/pin_dialogs.h"
#include "certdesk/pin_text.h"
#include "certdesk/resource_ids.h"
#include "certdesk/texts.h"

namespace certdesk {

namespace {

constexpr std::size_t kOnScreenLimit = 8;  // characters the on-screen keys add up to

struct VerifyState {
  KeyOrder order;
  bool shift;
  bool caps;
  HBITMAP bitmaps[3];  // Caps, left Shift, right Shift pressed
};

VerifyState &State() {
  static VerifyState state;
  return state;
}

void ShowKey(HWND dialog, int id, bool shown) {
  ShowWindow(GetDlgItem(dialog, id), shown ? SW_SHOW : SW_HIDE);
}

// Calls `visit` for every digit, letter and symbol key of the normal layer.
template <typename Visit>
void ForEachCharacterKey(Visit visit) {
  for (int i = 0; i < kSymbolKeys; ++i) visit(IDK_SYMBOL_FIRST + i);
  for (int i = 0; i < kDigitKeys; ++i) visit(IDK_DIGIT_FIRST + i);
  for (int i = 0; i < kLetterKeys; ++i) visit(IDK_LETTER_FIRST + i);
}

constexpr int kControlKeys[] = {IDK_TAB,  IDK_LEFT_SHIFT, IDK_DEL,
                                IDK_CAPS, IDK_ENTER,      IDK_RIGHT_SHIFT};

void ShowLayers(HWND dialog) {
  const VerifyState &s = State();
  const bool shifted = ShiftedLayerShown(s.shift, s.caps);
  ForEachCharacterKey([&](int id) {
    ShowKey(dialog, id, !shifted);
    ShowKey(dialog, id + IDK_SHIFTED, shifted);
  });
  for (int id : {IDK_LEFT_SHIFT, IDK_RIGHT_SHIFT}) {
    ShowKey(dialog, id, !s.shift);
    ShowKey(dialog, id + IDK_SHIFTED, s.shift);
  }
  ShowKey(dialog, IDK_CAPS, !s.caps);
  ShowKey(dialog, IDK_CAPS + IDK_SHIFTED, s.caps);
}

void SetKeyBitmap(HWND dialog, int id, int bitmap_id, HBITMAP *kept) {
  *kept = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(bitmap_id));
  SendDlgItemMessageA(dialog, id, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(*kept));
}

void OnInit(HWND dialog) {
  VerifyState &s = State();
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  SetFocus(GetDlgItem(dialog, IDC_VERIFY_EDIT));
  SendDlgItemMessageA(dialog, IDC_VERIFY_EDIT, EM_LIMITTEXT, kPinEditLimit, 0);
  std::memset(&s.order, 0, sizeof s.order);
  ShuffleKeys(s.order.digits, kDigitKeys);
  ShuffleKeys(s.order.letters, kLetterKeys);
  ForEachCharacterKey([&](int id) {
    char caption[3];
    for (int key : {id, id + IDK_SHIFTED}) {
      KeyCaption(key, s.order, caption);
      SetDlgItemTextA(dialog, key, caption);
    }
  });
  static constexpr const char *kControlCaptions[] = {"Tab",  "Shift", "Del",
                                                     "Caps", "Enter", "Shift"};
  for (int i = 0; i < 6; ++i) {
    SetDlgItemTextA(dialog, kControlKeys[i], kControlCaptions[i]);
    SetDlgItemTextA(dialog, kControlKeys[i] + IDK_SHIFTED, kControlCaptions[i]);
  }
  ForEachCharacterKey([&](int id) { ShowKey(dialog, id + IDK_SHIFTED, false); });
  for (int id : kControlKeys) ShowKey(dialog, id + IDK_SHIFTED, false);
  SetKeyBitmap(dialog, IDK_LEFT_SHIFT + IDK_SHIFTED, IDB_LEFT_SHIFT_ON, &s.bitmaps[1]);
  SetKeyBitmap(dialog, IDK_CAPS + IDK_SHIFTED, IDB_CAPS_ON, &s.bitmaps[0]);
  SetKeyBitmap(dialog, IDK_RIGHT_SHIFT + IDK_SHIFTED, IDB_RIGHT_SHIFT_ON, &s.bitmaps[2]);
  s.shift = false;
  s.caps = false;
}

void OnDestroy() {
  for (HBITMAP &b : State().bitmaps) {
    if (b) DeleteObject(b);
    b = nullptr;
  }
}

void FocusEdit(HWND dialog) { SetFocus(GetDlgItem(dialog, IDC_VERIFY_EDIT)); }

// Writes the edit's text for the on-screen keys, the caret after it, where typing goes on.
void SetEditText(HWND dialog, const char *text) {
  SetDlgItemTextA(dialog, IDC_VERIFY_EDIT, text);
  const auto end = static_cast<WPARAM>(std::strlen(text));
  SendDlgItemMessageA(dialog, IDC_VERIFY_EDIT, EM_SETSEL, end, static_cast<LPARAM>(end));
}

void OnEditChange(HWND dialog) {
  PinText pin;
  ReadPin(dialog, IDC_VERIFY_EDIT, &pin);
  if (!OnlyCharacters(pin.text, IsPrintableAscii)) {
    ShowMessage(dialog, kPinCharacters, MB_ICONWARNING);
    FocusEdit(dialog);
    return;
  }
  EnableWindow(GetDlgItem(dialog, IDOK), pin.Length() >= 4);
}

void OnCharacterKey(HWND dialog, int id) {
  PinText pin;
  ReadPin(dialog, IDC_VERIFY_EDIT, &pin);
  const std::size_t n = pin.Length();
  if (n < kOnScreenLimit) {
    pin.text[n] = KeyCharacter(id, State().order);
    SetEditText(dialog, pin.text);
  }
  FocusEdit(dialog);
}

void OnDelete(HWND dialog) {
  PinText pin;
  ReadPin(dialog, IDC_VERIFY_EDIT, &pin);
  const std::size_t n = pin.Length();
  if (n > 0) {
    pin.text[n - 1] = '\0';
    SetEditText(dialog, pin.text);
  }
  FocusEdit(dialog);
}

void OnSubmit(HWND dialog, int command) {
  PinText pin;
  ReadPin(dialog, IDC_VERIFY_EDIT, &pin);
  if (pin.Length() == 0 || !OnlyCharacters(pin.text, IsPrintableAscii)) {
    ShowMessage(dialog, pin.Length() == 0 ? kPinLengthWrong : kPinCharacters, MB_ICONWARNING);
    FocusEdit(dialog);
    return;
  }
  OpenFailure failure = OpenFailure::kNone;
  const std::int32_t handle = OpenForPin(SelectedForPin(), &failure);
  int result = -1000;
  if (handle) {
    result = BoundCardCmd().verify_pin(handle, pin.text, static_cast<std::int32_t>(pin.Length()));
    CloseKeyDevice(handle);
  }
  if (result == 0) {
    ShowMessage(dialog, kVerifyDone, MB_ICONINFORMATION);
    EndDialog(dialog, command);
    return;
  }
  ShowPinResult(dialog, handle ? result : -1000, kVerifyFailed);
  SetDlgItemTextA(dialog, IDC_VERIFY_EDIT, "");
  FocusEdit(dialog);
}

void OnCommand(HWND dialog, int id, int code) {
  if (id == IDC_VERIFY_EDIT) {
    if (code == EN_CHANGE) OnEditChange(dialog);
    return;
  }
  if (code != BN_CLICKED) return;
  const bool shifted_layer = id >= IDK_SYMBOL_FIRST + IDK_SHIFTED;
  const int normal = shifted_layer ? id - IDK_SHIFTED : id;
  VerifyState &s = State();
  if (IsNormalCharacterKey(normal)) {
    OnCharacterKey(dialog, id);
  } else if (normal == IDK_DEL) {
    OnDelete(dialog);
  } else if (normal == IDK_TAB) {
    FocusEdit(dialog);
  } else if (normal == IDK_LEFT_SHIFT || normal == IDK_RIGHT_SHIFT) {
    s.shift = !s.shift;
    ShowLayers(dialog);
  } else if (normal == IDK_CAPS) {
    s.caps = !s.caps;
    ShowLayers(dialog);
  } else if (id == IDOK || id == IDK_ENTER) {
    OnSubmit(dialog, id);
  } else if (id == IDCANCEL) {
    EndDialog(dialog, IDCANCEL);
  }
}

}  // namespace

INT_PTR CALLBACK VerifyPinDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit(dialog);
      break;
    case WM_COMMAND:
      OnCommand(dialog, LOWORD(wparam), HIWORD(wparam));
      break;
    case WM_DESTROY:
      OnDestroy();
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace certdesk
