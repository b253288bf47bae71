// The handle records the library made, by kind. A handle from a caller is taken only when it
// is one of them and of the kind the export expects; nothing is read through it before. The
// records are never freed, so an address found here stays the record it was.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

enum class HandleKind : std::uint8_t { application, container, session_key, hash, agreement };

// Adds a new record; false (nothing added) when the registry cannot grow.
bool RegisterHandle(const void *record, HandleKind kind);
// `handle` when the library made it as a record of `kind`, else nullptr.
void *FindHandle(const void *handle, HandleKind kind);

// The makers of the records: a new `Record{args...}`, registered as `kind`; nullptr (nothing
// kept) when the heap is exhausted or the registry cannot grow.
template <typename Record, typename... Args>
Record *NewRegistered(HandleKind kind, Args &&...args) {
  auto *record = new (std::nothrow) Record{std::forward<Args>(args)...};
  if (record && !RegisterHandle(record, kind)) {
    delete record;
    return nullptr;
  }
  return record;
}
