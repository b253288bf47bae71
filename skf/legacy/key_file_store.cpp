#include "skf/legacy/key_file_store.h"

#if defined(_WIN32)

namespace {
// A section that every process loading the library shares; all zero when the first loads it.
__attribute__((section(".tbkfc"), shared)) SharedKeyFileRecord SharedRecord = {};
}  // namespace

SharedKeyFileRecord &KeyFileRecord() { return SharedRecord; }

#else

#include <new>

#include "platform/os/os.h"

namespace {

constexpr char kRecordName[] = "tokenbase.m_keyfileInfo";

SharedKeyFileRecord *MapRecord() {
  // Mapped for the life of the process and never unmapped; the mapping is held here for it.
  static os::SharedMapping *const mapping =
      new (std::nothrow) os::SharedMapping(kRecordName, sizeof(SharedKeyFileRecord));
  if (mapping && mapping->View().size() >= sizeof(SharedKeyFileRecord)) {
    // A new mapping is zero-filled: a valid empty record.
    return reinterpret_cast<SharedKeyFileRecord *>(mapping->View().data());
  }
  static SharedKeyFileRecord own = {};
  return &own;
}

}  // namespace

SharedKeyFileRecord &KeyFileRecord() {
  static SharedKeyFileRecord *const record = MapRecord();
  return *record;
}

#endif
