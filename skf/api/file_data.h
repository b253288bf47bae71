// The data EF of a file record, read and written for the file exports.
#pragma once

#include <cstdint>

#include "skf.h"
#include "skf/api/directory.h"

// Reads data EF `i` from `offset` up to `end`: `size` bytes, or all up to `end` when `size` is
// 0 or reaches past it. A NULL `out` gets the length; a *out_length below it
// SAR_BUFFER_TOO_SMALL with the length; an offset past `end` SAR_INVALIDPARAMERR. Otherwise
// *out_length gets the bytes read: SAR_OK, or SAR_FAIL when the card refused a part.
ULONG ReadFileData(DEVHANDLE device, std::size_t i, std::uint32_t end, ULONG offset, ULONG size,
                   BYTE *out, ULONG *out_length);
// Writes `data` to data EF `i` at `offset`, then selects the file table EF02 again and writes
// `table` back with record i's DataEnd at offset + size. SAR_OK or SAR_FAIL.
ULONG WriteFileData(DEVHANDLE device, FileTable &table, std::size_t i, ULONG offset,
                    const BYTE *data, ULONG size);
