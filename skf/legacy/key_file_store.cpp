#include "skf/legacy/key_file_store.h"

#if defined(_WIN32)

#include <cstring>

#include "platform/os/os.h"
#include "skf/legacy/record_lock.h"

namespace {

constexpr char kHolderName[] = "tokenbase.m_keyfileInfo";

// A section that every process loading the library shares. It may outlive the processes that
// held it, so the first holder since none did empties it.
__attribute__((section(".tbkfc"), shared)) SharedKeyFileRecord SharedRecord = {};

void EmptyRecord() {
  const RecordLock lock(SharedRecord);
  if (!lock.held()) return;
  std::memset(&SharedRecord.m_keyfileInfo, 0, sizeof SharedRecord.m_keyfileInfo);
  SharedRecord.filled_generation = 0;
}

}  // namespace

// Held from the first use until the process ends.
SharedKeyFileRecord &KeyFileRecord() {
  static const bool held = [] {
    os::HoldNamed(kHolderName, EmptyRecord);
    return true;
  }();
  static_cast<void>(held);
  return SharedRecord;
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
