// Card authentication.
#pragma once

#include "skf/card/readerio_api.h"

// External authentication with the built-in key, so the current DF allows creating and deleting
// files. 0 accepted, -1 otherwise.
int QX_AuthDir(DEVHANDLE device);
