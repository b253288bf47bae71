// Success of one card command, and the plain EF selection the key-file code shares.
#pragma once

#include <cstdint>

#include "skf/card/readerio_api.h"

// The command ran (no reader failure) and the card answered 9000. `sw` is taken by reference
// so that `CommandOk(QX_Cmd(..., &sw), sw)` reads it after the command has set it.
inline bool CommandOk(int result, const std::uint16_t &sw) { return result >= 0 && sw == kSwOk; }

// SELECT of EF 00 `low` in the current DF: 0, or -1.
int SelectEfInDf(DEVHANDLE device, std::uint8_t low);
