#include "skf/legacy/key_file_store.h"

#if defined(_WIN32)

#include <cstring>

#include "platform/os/os.h"
#include "skf/legacy/record_lock.h"

namespace {

// The record is a named mapping in the session's namespace that the i686 and the x86-64 library
// alike open, and only the current user may open. The mark is a named event: events and
// mappings share one namespace, so the two names differ.
constexpr char kRecordName[] = "tokenbase.m_keyfileInfo.record";
constexpr char kHolderName[] = "tokenbase.m_keyfileInfo";

// Mapped from the first use until the library is unloaded; the process's own record when the
// mapping cannot be had. A mapping is made all zero, which is the empty record: of two processes
// making it at once one makes it and the other opens it, and neither lays anything out in it.
SharedKeyFileRecord &MappedRecord() {
  static const os::SharedMapping mapping(kRecordName, sizeof(SharedKeyFileRecord));
  static SharedKeyFileRecord own = {};
  static SharedKeyFileRecord *const record =
      mapping.View().size() >= sizeof own
          ? reinterpret_cast<SharedKeyFileRecord *>(mapping.View().data())
          : &own;
  return *record;
}

// The mapping outlives the processes that held it while any other process keeps it open, so the
// first holder since none did empties it.
void EmptyRecord() {
  SharedKeyFileRecord &record = MappedRecord();
  const RecordLock lock(record);
  if (!lock.held()) return;
  std::memset(&record.m_keyfileInfo, 0, sizeof record.m_keyfileInfo);
  record.filled_generation = 0;
}

}  // namespace

// Held from the first use until the process ends.
SharedKeyFileRecord &KeyFileRecord() {
  static const bool held = [] {
    os::HoldNamed(kHolderName, EmptyRecord);
    return true;
  }();
  static_cast<void>(held);
  return MappedRecord();
}

#else

#include "platform/os/os.h"

namespace {

constexpr char kRecordName[] = "tokenbase.m_keyfileInfo";

// Held from the first use until the process ends; emptied when no other process holds it.
SharedKeyFileRecord *MapRecord() {
  void *view = os::MapHeldSection(kRecordName, sizeof(SharedKeyFileRecord));
  if (view) return static_cast<SharedKeyFileRecord *>(view);
  static SharedKeyFileRecord own = {};
  return &own;
}

}  // namespace

SharedKeyFileRecord &KeyFileRecord() {
  static SharedKeyFileRecord *const record = MapRecord();
  return *record;
}

#endif
