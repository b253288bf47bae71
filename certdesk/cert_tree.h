// The certificate tree of the main dialog: keys as roots, their certificates as children.
#pragma once

#include <windows.h>

namespace certdesk {

// Rebuilds the DeviceSlot table and the tree from the keys of device indexes 0..3.
void FillCertTree(HWND dialog);

// Button states for the tree's selection (TVN_SELCHANGED).
void UpdateButtons(HWND dialog);

}  // namespace certdesk
