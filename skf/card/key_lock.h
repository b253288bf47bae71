// One lock per key for the card work of the exports. A key is the reader a device was opened
// on, named by the reader's place on the machine: every connection to it shares the key's lock,
// in this process and in every other process of the user that uses the key through either
// library or cardcmd. An export (ExportScope) takes a key's lock at its first readerio call on
// that key and keeps it until it returns, so the card commands of two exports on one key never
// interleave, while exports on other keys go on in parallel.
//
// In the process the lock belongs to a thread. An export running inside another on the same
// thread (one export calling another, a window procedure called while the PIN dialog is open)
// uses the keys its outer export holds, and gives back at its return only the keys it took
// itself. A thread that holds a key and would wait for a key whose holder waits, directly or
// along a chain, for one of its own keys is refused instead: that readerio call is not made and
// fails. Across processes the key's lock is a named OS lock (os::NamedLock), which the system
// gives up when its holder ends. No wait for a key lasts longer than kKeyWaitMs: then the call
// is refused the same way, and so is every later call of the export on that key.
#pragma once

#include <cstdint>

#include "skf/card/readerio_api.h"

// The longest wait for a key another export holds (an open PIN dialog holds its key).
inline constexpr std::uint32_t kKeyWaitMs = 30000;

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
// would deadlock or took too long, or the thread holds too many keys): make no call then.
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

// Records that `device` was opened on the reader `reader_name`, reached at `location` (readerio's
// place of the reader: keysimd's address for a virtual key; empty for PC/SC), and opens the key's
// machine-wide lock. False (nothing recorded) when the heap is exhausted or that lock cannot be
// had. A device never recorded, or forgotten, shares one lock of this process with every such
// device.
bool RecordDeviceKey(DEVHANDLE device, const char *reader_name, const char *location);
void ForgetDeviceKey(DEVHANDLE device);

// While this thread holds the key of `device`: how often any export or cardcmd call on the
// machine has taken the key; a change between two calls means another one used the card in
// between. 0 when unknown.
std::uint64_t KeyTakings(DEVHANDLE device);
