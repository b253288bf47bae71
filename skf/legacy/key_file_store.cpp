#include "skf/legacy/key_file_store.h"

#if defined(_WIN32)

namespace {
// A section that every process loading the library shares; all zero when the first loads it.
__attribute__((section(".tbkfc"), shared)) SharedKeyFileRecord SharedRecord = {};
}  // namespace

SharedKeyFileRecord &KeyFileRecord() { return SharedRecord; }

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
