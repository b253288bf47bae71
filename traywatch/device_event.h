// The device-interface record of a WM_DEVICECHANGE arrival or removal.
#pragma once

#include <windows.h>

// The interface name of the record at `record`, or nullptr when the record is no
// device-interface record (another kind of device, or too short to hold a name that ends
// within it).
const char *DeviceInterfaceName(LPARAM record);
