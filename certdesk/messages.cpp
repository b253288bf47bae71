#include "certdesk/messages.h"

#include <cstdio>

#include "certdesk/texts.h"

namespace certdesk {

int ShowMessage(HWND owner, const char *text, UINT style) {
  return MessageBoxA(owner, text, kMessageCaption, style);
}

void ShowPinResult(HWND owner, int result, const char *failure) {
  char tries[128];
  const char *text = failure;
  if (result == -1) {
    text = kKeyLocked;
  } else if (result == 1) {
    text = kLastTry;
  } else if (result > 1) {
    std::snprintf(tries, sizeof tries, kTriesLeftFormat, result);
    text = tries;
  }
  ShowMessage(owner, text, MB_ICONWARNING);
}

}  // namespace certdesk
