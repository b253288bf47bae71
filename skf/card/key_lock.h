// One lock per key for the card work of the exports. A key is the reader a device was opened
// on: every connection to it in this process shares the key's lock. An export (ExportScope)
// takes a key's lock at its first readerio call on that key and keeps it until it returns, so
// the card commands of two exports on one key never interleave, while exports on other keys go
// on in parallel.
//
// The lock belongs to a thread. An export running inside another on the same thread (one export
// calling another, a window procedure called while the PIN dialog is open) uses the keys its
// outer export holds, and gives back at its return only the keys it took itself. A thread that
// holds a key and would wait for a key whose holder waits, directly or along a chain, for one of
// its own keys is refused instead: that readerio call is not made and fails.
#pragma once

#include "skf/card/readerio_api.h"

// Marks an export from its entry to its return.
class ExportScope {
 public:
  ExportScope();
  ~ExportScope();
  ExportScope(const ExportScope &) = delete;
  ExportScope &operator=(const ExportScope &) = delete;
};

// Taken around each readerio call on a device. Inside an export the key stays held until the
// export returns; outside one, until this guard goes. False when the key was not taken (waiting
// would deadlock, or the thread holds too many keys): make no call then.
class KeyAccess {
 public:
  explicit KeyAccess(DEVHANDLE device);
  ~KeyAccess();
  KeyAccess(const KeyAccess &) = delete;
  KeyAccess &operator=(const KeyAccess &) = delete;
  explicit operator bool() const { return taken_; }

 private:
  void *release_ = nullptr;  // the key to give back when the guard goes
  bool taken_ = false;
};

// Records that `device` was opened on the reader `reader_name`; false (nothing recorded) when
// the heap is exhausted. A device never recorded, or forgotten, shares one lock with every such
// device.
bool RecordDeviceKey(DEVHANDLE device, const char *reader_name);
void ForgetDeviceKey(DEVHANDLE device);
