// The record behind a session-key handle: the card layer's stream state, whose fields are the
// key, its identifier, the chain value and the state of a multi-part operation. Allocated
// zeroed by the export that makes the key; never freed.
#pragma once

#include <cstdint>

#include "skf.h"
#include "skf/api/handle_registry.h"
#include "skf/card/readerio_api.h"
#include "skf/card/sym_stream.h"

inline constexpr std::size_t kSessionKeyArea = 256;  // the operations use the first 16 bytes
inline constexpr std::size_t kSessionKeyUsed = 16;
inline constexpr std::size_t kSessionIvSize = 32;
inline constexpr std::size_t kSessionPendingSize = 32;

// dwAlgID, bPadding (0 none, else 16-byte block padding), Key, IVLen, IV (advanced by CBC
// update steps), PendingLen (at most 16), Finished (set by the encryption final step),
// Pending, hDev.
using SessionKeyHandle = SymStreamState;

static_assert(sizeof(SessionKeyHandle::Key) == kSessionKeyArea);
static_assert(sizeof(SessionKeyHandle::IV) == kSessionIvSize);
static_assert(sizeof(SessionKeyHandle::Pending) == kSessionPendingSize);

// The record behind a caller's handle, or nullptr when the library made no such record.
inline SessionKeyHandle *AsSessionKey(HANDLE handle) {
  return static_cast<SessionKeyHandle *>(FindHandle(handle, HandleKind::session_key));
}

// The Init exports' checks of the record AsSessionKey found: SAR_INVALIDHANDLEERR for none (a
// key the library did not make), SAR_INVALIDPARAMERR for an IV longer than 32 bytes, else SAR_OK.
ULONG CheckInitArguments(const SessionKeyHandle *key, const BLOCKCIPHERPARAM &param);
// Init: the IV, its length, the padding flag and a fresh stream.
void StartOperation(SessionKeyHandle &k, const BLOCKCIPHERPARAM &param);
