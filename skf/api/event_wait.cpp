// Waiting for a key to arrive or leave, and cancelling the wait.
#include <cstring>

#include "platform/os/os.h"
#include "skf/api/export_util.h"
#include "skf/api/message_pump.h"
#include "skf/api/variant.h"

namespace {

constexpr ULONG kMinNameBuffer = 8;
constexpr std::uint32_t kPollMs = 500;
constexpr std::size_t kSnapshotNames = 2;
constexpr std::size_t kSnapshotNameSize = 256;
constexpr ULONG kEventArrived = 1;
constexpr ULONG kEventLeft = 2;

struct ReaderSnapshot {
  char names[kSnapshotNames][kSnapshotNameSize];
  std::uint32_t count;  // as the reader list reported it; names holds at most two
};

// The current reader count; the first names go to `snapshot` when it is given.
std::uint32_t TakeList(const ReaderListFunctions &functions, ReaderSnapshot *snapshot) {
  std::uint32_t count = 0;
  char **list = functions.get(&count, 0);
  if (!list) count = 0;
  if (snapshot) {
    std::memset(snapshot, 0, sizeof *snapshot);
    snapshot->count = count;
    for (std::uint32_t i = 0; i < count && i < kSnapshotNames; ++i) {
      if (!list[i]) break;
      const std::size_t n = strnlen(list[i], kSnapshotNameSize - 1);
      std::memcpy(snapshot->names[i], list[i], n);
    }
  }
  if (list) functions.destroy(list);
  return count;
}

std::size_t Held(const ReaderSnapshot &s) {
  return s.count < kSnapshotNames ? s.count : kSnapshotNames;
}

bool Contains(const ReaderSnapshot &s, const char *name) {
  for (std::size_t i = 0; i < Held(s); ++i) {
    if (std::strcmp(s.names[i], name) == 0) return true;
  }
  return false;
}

// The first name of `from` that `other` lacks, or nullptr.
const char *FirstMissing(const ReaderSnapshot &from, const ReaderSnapshot &other) {
  for (std::size_t i = 0; i < Held(from); ++i) {
    if (!Contains(other, from.names[i])) return from.names[i];
  }
  return nullptr;
}

}  // namespace

extern "C" {

ULONG DEVAPI SKF_WaitForDevEvent(LPSTR szDevName, ULONG *pulDevNameLen, ULONG *pulEvent) {
  return RunExport("SKF_WaitForDevEvent", [&]() -> ULONG {
    if (!szDevName || !pulDevNameLen || !pulEvent) return SAR_INVALIDPARAMERR;
    if (*pulDevNameLen < kMinNameBuffer) return SAR_NAMELENERR;
    const std::uint32_t cancels = DevEventCancels.load();
    ReaderListFunctions functions{};
    if (!BindReaderListFunctions(&functions)) return SAR_FAIL;
    ReaderSnapshot first{};
    TakeList(functions, &first);
    ReaderSnapshot now{};
    for (;;) {
      os::SleepMs(kPollMs);
      PumpOneMessage();
      const std::uint32_t count = TakeList(functions, &now);
      const char *name = nullptr;
      ULONG event = 0;
      if (count > first.count) {
        name = FirstMissing(now, first);
        event = kEventArrived;
      } else if (count < first.count) {
        name = FirstMissing(first, now);
        event = kEventLeft;
      }
      if (name) {
        // The name and its NUL must fit the caller's buffer.
        const std::size_t n = std::strlen(name);
        if (n + 1 > *pulDevNameLen) {
          *pulDevNameLen = static_cast<ULONG>(n + 1);
          return SAR_BUFFER_TOO_SMALL;
        }
        std::memcpy(szDevName, name, n + 1);
        *pulDevNameLen = static_cast<ULONG>(n);
        *pulEvent = event;
        return SAR_OK;
      }
      if (DevEventCancels.load() != cancels) return SAR_NOT_EVENTERR;
    }
  });
}

ULONG DEVAPI SKF_CancelWaitForDevEvent(void) {
  return RunExport("SKF_CancelWaitForDevEvent", []() -> ULONG {
    DevEventCancels.fetch_add(1);
    return SAR_OK;
  });
}

}  // extern "C"
