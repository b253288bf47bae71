#include "skf/card/key_lock.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>

#include "platform/os/os.h"

namespace {

using Clock = std::chrono::steady_clock;

// Keys one thread holds at once, over all the exports nested on it.
constexpr int kMaxHeld = 8;
// Longer chains of waiting threads are taken for a deadlock.
constexpr int kMaxChain = 1024;

struct ThreadKeys;

struct KeyLock {
  ThreadKeys *owner = nullptr;
  std::condition_variable released;
  os::NamedLock *machine = nullptr;  // the key's lock over every process; none when unrecorded
};

struct HeldKey {
  KeyLock *key;
  int depth;  // of the export that took it
};

// A thread's exports and keys. `waiting` is read by other threads, under the registry's mutex;
// the rest only by the thread itself.
struct ThreadKeys {
  int depth;
  int held_count;
  HeldKey held[kMaxHeld];
  int given_up_count;
  HeldKey given_up[kMaxHeld];  // keys an export waited for in vain: not waited for again
  KeyLock *waiting;
};

thread_local ThreadKeys This = {};

struct Registry {
  std::mutex mutex;  // guards everything here and every KeyLock's owner
  std::map<std::string, KeyLock *, std::less<>> by_place;
  std::unordered_map<std::uintptr_t, KeyLock *> by_device;
  KeyLock unrecorded;
};

// Kept to the end of the process, past any static destruction: a key's lock is never freed.
Registry &Keys() {
  static Registry *const registry = new Registry;
  return *registry;
}

std::uintptr_t Id(DEVHANDLE device) { return reinterpret_cast<std::uintptr_t>(device); }

KeyLock *LockOf(Registry &r, DEVHANDLE device) {
  const auto found = r.by_device.find(Id(device));
  return found == r.by_device.end() ? &r.unrecorded : found->second;
}

// The machine-wide name of the key at `place`: its FNV-1a hash, the same in every build.
std::string MachineName(const std::string &place) {
  std::uint64_t hash = 0xCBF29CE484222325u;
  for (const char c : place) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3u;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name = "tokenkey.";
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
  return name;
}

// Whether this thread waiting for `key` would close a chain of waits back to itself.
bool WouldDeadlock(const KeyLock *key) {
  const ThreadKeys *owner = key->owner;
  for (int step = 0; owner; ++step) {
    if (owner == &This || step == kMaxChain) return true;
    if (!owner->waiting) return false;
    owner = owner->waiting->owner;
  }
  return false;
}

// This thread's mark as a waiter for `key`, taken away however the wait ends.
class Waiting {
 public:
  explicit Waiting(KeyLock *key) { This.waiting = key; }
  ~Waiting() { This.waiting = nullptr; }
  Waiting(const Waiting &) = delete;
  Waiting &operator=(const Waiting &) = delete;
};

void Give(KeyLock *key) {
  if (key->machine) os::GiveNamedLock(key->machine);
  key->owner = nullptr;
  key->released.notify_all();
}

// Waits until `deadline` for `key`, first in this process, then over the machine, and makes this
// thread its owner; false, owning nothing, where waiting would deadlock or took too long.
bool Take(std::unique_lock<std::mutex> &guard, KeyLock *key, Clock::time_point deadline) {
  while (key->owner) {
    if (WouldDeadlock(key)) return false;
    const Waiting waiting(key);
    if (key->released.wait_until(guard, deadline) == std::cv_status::timeout && key->owner) {
      return false;
    }
  }
  key->owner = &This;
  if (!key->machine) return true;
  // Other threads of the process wait for the key in this process meanwhile, not here. It is
  // given back in this process unless taken over the machine, also when a cancellation unwinds.
  struct Outcome {
    std::unique_lock<std::mutex> &guard;
    KeyLock *key;
    bool taken = false;
    ~Outcome() {
      guard.lock();
      if (taken) return;
      key->owner = nullptr;
      key->released.notify_all();
    }
  } outcome{guard, key};
  guard.unlock();
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  outcome.taken = os::TakeNamedLock(
      key->machine, static_cast<std::uint32_t>(std::max<long long>(0, left.count())));
  return outcome.taken;
}

// Whether an export running on this thread waited for `key` in vain.
bool GivenUp(const KeyLock *key) {
  for (int i = 0; i < This.given_up_count; ++i) {
    if (This.given_up[i].key == key) return true;
  }
  return false;
}

}  // namespace

ExportScope::ExportScope() { ++This.depth; }

ExportScope::~ExportScope() {
  auto top = [] {
    return This.held_count > 0 && This.held[This.held_count - 1].depth == This.depth;
  };
  if (top()) {
    const std::lock_guard<std::mutex> guard(Keys().mutex);
    while (top()) Give(This.held[--This.held_count].key);
  }
  while (This.given_up_count > 0 && This.given_up[This.given_up_count - 1].depth == This.depth) {
    --This.given_up_count;
  }
  --This.depth;
}

KeyAccess::KeyAccess(DEVHANDLE device) {
  Registry &r = Keys();
  std::unique_lock<std::mutex> guard(r.mutex);
  KeyLock *key = LockOf(r, device);
  if (key->owner == &This) {
    taken_ = true;
    return;
  }
  const bool in_export = This.depth > 0;
  if (in_export && This.held_count == kMaxHeld) return;
  if (in_export && GivenUp(key)) return;
  if (!Take(guard, key, Clock::now() + std::chrono::milliseconds(kKeyWaitMs))) {
    // The export's later card commands on the key fail at once.
    if (in_export && This.given_up_count < kMaxHeld) {
      This.given_up[This.given_up_count++] = {key, This.depth};
    }
    return;
  }
  if (in_export) {
    This.held[This.held_count++] = {key, This.depth};
  } else {
    release_ = key;
  }
  taken_ = true;
}

KeyAccess::~KeyAccess() {
  if (!release_) return;
  const std::lock_guard<std::mutex> guard(Keys().mutex);
  Give(static_cast<KeyLock *>(release_));
}

bool RecordDeviceKey(DEVHANDLE device, const char *reader_name, const char *location) {
  if (!device || !reader_name || !location) return false;
  Registry &r = Keys();
  try {
    const std::string place = std::string(location) + '\n' + reader_name;
    const std::lock_guard<std::mutex> guard(r.mutex);
    auto found = r.by_place.find(place);
    if (found == r.by_place.end()) {
      auto key = std::make_unique<KeyLock>();
      key->machine = os::OpenNamedLock(MachineName(place).c_str());
      if (!key->machine) return false;
      found = r.by_place.emplace(place, key.get()).first;
      key.release();
    }
    r.by_device.insert_or_assign(Id(device), found->second);
    return true;
  } catch (const std::bad_alloc &) {
    return false;
  }
}

void ForgetDeviceKey(DEVHANDLE device) {
  Registry &r = Keys();
  const std::lock_guard<std::mutex> guard(r.mutex);
  r.by_device.erase(Id(device));
}

std::uint64_t KeyTakings(DEVHANDLE device) {
  Registry &r = Keys();
  const std::lock_guard<std::mutex> guard(r.mutex);
  const KeyLock *key = LockOf(r, device);
  return key->owner == &This && key->machine ? os::NamedLockTakings(key->machine) : 0;
}
