// The platform's certificate viewer (cryptui, loaded by name for each view).
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace certdesk {

// Shows the certificate of `item`, or of the tree's selection when `item` is null. Nothing
// happens for an item that is no certificate, or without cryptui.
void ViewCertificate(HWND dialog, HTREEITEM item);

}  // namespace certdesk
