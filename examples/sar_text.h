// The names of the SAR codes, for the demo's report and the tests' observations.
#pragma once

#include <string>

#include "skf.h"

// The name of a SAR code, "0x...." for codes this table does not know.
std::string SarText(ULONG code);
