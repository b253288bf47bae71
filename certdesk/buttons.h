// Enabled state of the main dialog's command buttons.
#pragma once

#include <windows.h>

namespace certdesk {

enum class Selected { kNothing, kKey, kCertificate };

// kKey: 1003 only; kCertificate: 1001, 1002, 1019 and 1020; kNothing: none of the five.
void EnableCommands(HWND dialog, Selected selected);

}  // namespace certdesk
