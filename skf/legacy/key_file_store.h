// Where m_keyfileInfo lives: one record for every process on the machine that has tokenbase
// loaded (Windows: a shared section of the library; elsewhere a named shared mapping, or the
// process's own record when that mapping cannot be had).
#pragma once

#include <atomic>
#include <cstdint>

#include "skf/legacy/key_file_cache.h"

struct SharedKeyFileRecord {
  // 1 while a process copies the record in or out; nothing else touches m_keyfileInfo.
  std::atomic<std::uint32_t> busy;
  // Advanced by every emptying of the cache; a record filled under an older one is stale.
  std::atomic<std::uint32_t> generation;
  std::uint32_t filled_generation;
  KeyFileInfo m_keyfileInfo;
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "shared between processes");

SharedKeyFileRecord &KeyFileRecord();
