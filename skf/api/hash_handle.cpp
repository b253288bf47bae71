#include "skf/api/hash_handle.h"

#include <new>

HashHandle *NewHashHandle() {
  auto *record = new (std::nothrow) HashHandle{};
  if (record && !RegisterHandle(record, HandleKind::hash)) {
    delete record;
    return nullptr;
  }
  return record;
}
