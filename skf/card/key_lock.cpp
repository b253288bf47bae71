#include "skf/card/key_lock.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>

namespace {

// Keys one thread holds at once, over all the exports nested on it.
constexpr int kMaxHeld = 8;
// Longer chains of waiting threads are taken for a deadlock.
constexpr int kMaxChain = 1024;

struct ThreadKeys;

struct KeyLock {
  ThreadKeys *owner = nullptr;
  std::condition_variable released;
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
  KeyLock *waiting;
};

thread_local ThreadKeys This = {};

struct Registry {
  std::mutex mutex;  // guards everything here and every KeyLock's owner
  std::map<std::string, KeyLock *, std::less<>> by_reader;
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

// Waits for `key` and makes this thread its owner; false, not waiting, where waiting would
// deadlock.
bool Take(std::unique_lock<std::mutex> &guard, KeyLock *key) {
  while (key->owner) {
    if (WouldDeadlock(key)) return false;
    This.waiting = key;
    key->released.wait(guard);
    This.waiting = nullptr;
  }
  key->owner = &This;
  return true;
}

void Give(KeyLock *key) {
  key->owner = nullptr;
  key->released.notify_all();
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
  if (!Take(guard, key)) return;
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

bool RecordDeviceKey(DEVHANDLE device, const char *reader_name) {
  if (!device || !reader_name) return false;
  Registry &r = Keys();
  try {
    const std::lock_guard<std::mutex> guard(r.mutex);
    auto found = r.by_reader.find(std::string_view(reader_name));
    if (found == r.by_reader.end()) {
      auto key = std::make_unique<KeyLock>();
      found = r.by_reader.emplace(reader_name, key.get()).first;
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
