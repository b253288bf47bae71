// Where m_keyfileInfo lives: one record for every process on the machine that has tokenbase
// loaded, all zero when a process takes it while no other holds it (Windows: a named mapping
// that the i686 and the x86-64 library both open, emptied by its first holder; elsewhere POSIX
// shared memory, emptied by os::MapHeldSection), or the process's own record when the mapping
// cannot be had.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "skf/legacy/key_file_cache.h"

struct SharedKeyFileRecord {
  // 0, or the id of the process that copies the record in or out; nothing else touches
  // m_keyfileInfo. A process that finds the holder gone takes the record over (key_file_cache).
  std::atomic<std::uint32_t> owner;
  // Advanced by every emptying of the cache; a record filled under an older one is stale.
  std::atomic<std::uint32_t> generation;
  std::uint32_t filled_generation;
  KeyFileInfo m_keyfileInfo;
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "shared between processes");
// The layout every process that maps the record relies on, the same bytes in the i686 and the
// x86-64 build: fields of four bytes and of one, no pointer, no size_t, no padding.
static_assert(sizeof(std::atomic<std::uint32_t>) == 4 && alignof(std::atomic<std::uint32_t>) == 4);
static_assert(offsetof(SharedKeyFileRecord, owner) == 0);
static_assert(offsetof(SharedKeyFileRecord, generation) == 4);
static_assert(offsetof(SharedKeyFileRecord, filled_generation) == 8);
static_assert(offsetof(SharedKeyFileRecord, m_keyfileInfo) == 12);
static_assert(offsetof(SharedKeyFileRecord, m_keyfileInfo.FileTable) == 44);
static_assert(sizeof(SharedKeyFileRecord) == 2124 && alignof(SharedKeyFileRecord) == 4);

SharedKeyFileRecord &KeyFileRecord();
