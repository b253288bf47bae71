// Device authentication with a virtual key's device key, computed independently of the
// library: the mode-0 cipher (a stand-in: SM4 under the key XOR "SSF33-STANDIN") of the
// challenge and eight zero bytes under the device key.
#pragma once

#include "virtual_key.h"
#include "tokencore.h"

vkey::Bytes DeviceAuthData(const vkey::Bytes &challenge, const char *device_key);
// An 8-byte challenge through SKF_Transmit.
vkey::Bytes Challenge(DEVHANDLE device);
