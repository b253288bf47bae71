// The steps of the exports that differ between the two builds of the library, one definition
// per library: tokencore's in skf/api/core_variant.cpp, tokenbase's in skf/legacy (the values
// and the card layer's steps are in skf/card/variant.h).
#pragma once

#include <cstdint>

#include "skf.h"
#include "skf/card/readerio_api.h"

inline constexpr std::size_t kCardInfoSize = 15;  // r0..r14 of the card information

// SKF_GetDevInfo's fields that come from the card information r0..r14 or that only one build
// writes: AlgSymCap, AlgAsymCap, TotalSpace, FreeSpace (and the two buffer sizes).
void FillDevInfoCapabilities(DEVINFO *info, const std::uint8_t card_info[kCardInfoSize]);

// After a successful create or delete of an application or container, right before SAR_OK.
void KeyDirectoryChanged();
// After card work that may have replaced or removed an application's file table, whether or not
// the export then succeeds: an application's directory entry written away, its DF prepared, a
// card format run.
void FileTablesChanged();

// readerio's two list functions as SKF_WaitForDevEvent binds them (by bare file name).
struct ReaderListFunctions {
  QX_GetReaderList_t get;
  QX_DestroyReaderList_t destroy;
};
// False when readerio or one of the two functions cannot be found.
bool BindReaderListFunctions(ReaderListFunctions *functions);
