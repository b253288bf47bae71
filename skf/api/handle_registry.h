// The handle records the library made, by kind. A handle from a caller is taken only when it
// is one of them and of the kind the export expects; nothing is read through it before. The
// records are never freed, so an address found here stays the record it was.
#pragma once

#include <cstdint>

enum class HandleKind : std::uint8_t { application, container, session_key, hash, agreement };

// Adds a new record; false (nothing added) when the registry cannot grow.
bool RegisterHandle(const void *record, HandleKind kind);
// `handle` when the library made it as a record of `kind`, else nullptr.
void *FindHandle(const void *handle, HandleKind kind);
