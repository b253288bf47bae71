// What every export shares: the trace around its body, the multi-string output rule, bounded
// name lengths and the handle records behind the opaque handles.
#pragma once

#include <cstring>
#include <span>

#include "platform/os/cancel.h"
#include "skf.h"
#include "skf/api/handle_registry.h"
#include "skf/api/layout.h"
#include "skf/api/state.h"
#include "skf/card/device.h"
#include "skf/card/key_lock.h"

// Runs an export body between its begin and end traces; nothing thrown leaves the export but a
// cancelled thread's unwind (platform/os/cancel.h). The keys its card work reaches stay held for
// it until it returns or unwinds (skf/card/key_lock.h).
template <typename Body>
ULONG RunExport(const char *name, Body &&body) {
  const ExportScope scope;
  LogTrace("%s begin", name);
  const ULONG result = os::Guarded<ULONG>(SAR_FAIL, body);
  if (result == SAR_OK) {
    LogTrace("%s end ok", name);
  } else {
    LogTrace("%s end err %x", name, static_cast<unsigned>(result));
  }
  return result;
}

// The length of `text`, reading at most `max + 1` characters: a result above `max` means
// "too long".
inline std::size_t BoundedLength(const char *text, std::size_t max) {
  return strnlen(text, max + 1);
}
inline bool NameLengthOk(const char *text, std::size_t max) {
  const std::size_t n = BoundedLength(text, max);
  return n >= 1 && n <= max;
}

// Multi-string output: `list` is the names with their NULs and the final NUL (S + 1 bytes).
// NULL `out`: *size = S + 2. *size below S + 1: SAR_BUFFER_TOO_SMALL, nothing written.
ULONG CopyNameList(std::span<const char> list, LPSTR out, ULONG *size);

// The record behind a caller's handle, or nullptr when the library made no such record.
inline ApplicationHandle *AsApplication(HAPPLICATION handle) {
  return static_cast<ApplicationHandle *>(FindHandle(handle, HandleKind::application));
}
inline ContainerHandle *AsContainer(HCONTAINER handle) {
  return static_cast<ContainerHandle *>(FindHandle(handle, HandleKind::container));
}
// The application number (1..8) and container number (1..8) of the records' identifiers.
inline std::uint32_t AppNumber(std::uint32_t app_id) { return app_id & 0xF; }
inline std::uint32_t AppIdOfContainer(std::uint32_t container_id) {
  return kAppIdBase + ((container_id >> 4) & 0xF);
}
inline std::uint32_t ContainerIndex(std::uint32_t container_id) { return (container_id & 0xF) - 1; }
