// tokenbase's key-file record as another process sees it: the layout that every process mapping
// it relies on (skf/legacy/key_file_store.h pins it), found where the library keeps it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace legacytest {

inline constexpr std::size_t kKeyFileOwnerAt = 0;  // u32: 0, or the holder's process id
inline constexpr std::size_t kKeyFileGenerationAt = 4;
inline constexpr std::size_t kKeyFileFilledAt = 8;
inline constexpr std::size_t kKeyFileSerialAt = 12;  // 32 bytes of serial text
inline constexpr std::size_t kKeyFileTablesAt = 44;  // AD01's file table, then AD02's
inline constexpr std::size_t kKeyFileRecordSize = 44 + 2 * 1040;

// The record that the processes holding tokenbase share, mapped here without loading the library
// and made, all zero, when it does not exist yet: natively the shared memory
// /tokenbase.m_keyfileInfo, under Windows the named mapping tokenbase.m_keyfileInfo.record that
// both Windows builds of the library open. Mapped until this process ends, so that it outlives
// the processes that hold the library; nullptr when it cannot be had.
std::uint8_t *MapKeyFileRecord();

}  // namespace legacytest
