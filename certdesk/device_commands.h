// The two commands whose buttons stay hidden: registering the key's certificates and
// initialising a key.
#pragma once

#include <windows.h>

namespace certdesk {

// Command 1020: cardcmd's QX_StoreCert for the key of the selected certificate.
void RegisterCertificates(HWND dialog);
// Command 1003: tokenbase's SKF_FormatCard on the first key listed, after a warning.
void InitialiseDevice(HWND dialog);

}  // namespace certdesk
