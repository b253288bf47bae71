// Card format and application DF creation: the card objects, keys and empty directory files
// of the library's layout.
#pragma once

#include <cstdint>

#include "skf/card/readerio_api.h"

inline constexpr std::uint16_t kFirstApplicationDf = 0xAD01;
inline constexpr std::uint16_t kLastApplicationDf = 0xAD08;

// Authenticates (built-in key, else the format key of `key_text`), creates the MF with the
// device authentication key of `key_text`, six key files and the device directory EF01 with an
// empty directory labelled "VARN". 0 formatted; -1 at the first failing step (nothing undone).
int QX_FormatCard(DEVHANDLE device, const char *key_text);

// Creates (or, when it exists, authenticates and prepares again) DF AD0n from the MF, its
// container directory EF01, file table EF02 and key file 0014 with the user PIN key and the
// administrator keys. 0 built; -1000 when the user PIN key is refused; -1 at any other failing
// step or for an identifier outside AD01 .. AD08.
int QX_CreateApplicationDf(DEVHANDLE device, std::uint16_t df, const char *admin_pin,
                           std::uint32_t admin_retries, const char *user_pin,
                           std::uint32_t user_retries);
