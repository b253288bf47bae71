// Internal device close, shared by disconnect and card format.
#pragma once

#include "skf/card/readerio_api.h"

// Closes the device through readerio; always 0.
int CloseDevice(DEVHANDLE device);
