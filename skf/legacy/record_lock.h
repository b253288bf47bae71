// The hold on the key-file record for one copy in or out. The record names its holder: a
// process that died holding it is found gone, and the record is taken over and emptied first,
// since it may hold a table copied in only in part. A live holder that takes longer than a
// copy does is waited for a bounded time; then the lock is not had.
#pragma once

#include "skf/legacy/key_file_store.h"

class RecordLock {
 public:
  explicit RecordLock(SharedKeyFileRecord &record);
  ~RecordLock();
  RecordLock(const RecordLock &) = delete;
  RecordLock &operator=(const RecordLock &) = delete;
  bool held() const { return held_; }

 private:
  SharedKeyFileRecord &record_;
  bool held_ = false;
};
